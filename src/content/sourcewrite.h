// Writes reference content back as readable sources (the format readSourceDir reads), so an
// editor can start from what is served and a wrong publish can be undone by publishing an
// earlier export.
#pragma once

#include "content/content.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <map>

struct SourceFiles
{
    std::map<QString, QByteArray> files; // relative path -> bytes
    QStringList errors;   // content the format cannot carry unchanged
    QStringList warnings; // content that reading the files back would not reproduce
};

// Renders the content as source files; every field is checked to pack back to exactly what it
// was, so publishing the files changes nothing.
SourceFiles renderSources(const ContentSet &content);

// Writes the files into dir, which must be missing or empty. Throws RamuxError.
void writeSourceFiles(const SourceFiles &sources, const QString &dir);
