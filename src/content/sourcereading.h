// Reading one sources folder: its text files (UTF-8, bounded), tab-separated lists, and HTML
// fragments packed with their images, each fault recorded with its file and line so that one
// reading reports them all.
#pragma once

#include "content/content.h"
#include "content/sourcefields.h"
#include "content/sourcereader.h"
#include "text/ramuxerror.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace sourcereading {

// A link of an HTML fragment to a record ("ITEM:12"), checked once every table is read.
struct PageLink
{
    QString file;
    int line = 0;
    QString table;
    qint64 id = 0;
};

struct ListLine
{
    int line = 0;
    QStringList fields;
};

class SourceReader
{
public:
    SourceReader(QString dir, SourceProblems &problems) : m_dir(std::move(dir)), m_problems(problems) {}
    QString path(const QString &relative) const { return m_dir + QLatin1Char('/') + relative; }

    // Runs one unit of reading; a fault ends only that unit and is recorded.
    template <typename F> void guard(F &&f)
    {
        try {
            f();
        } catch (const RamuxError &e) {
            m_problems.errors.append(e.message());
        }
    }
    void error(const QString &file, int line, const QString &what)
    {
        m_problems.errors.append(sourcefields::sourceError(file, what, line).message());
    }
    void error(const QString &located) { m_problems.errors.append(located); }
    void warning(const QString &file, int line, const QString &what)
    {
        m_problems.warnings.append(sourcefields::sourceError(file, what, line).message());
    }

    // A UTF-8 text file without BOM and carriage returns; throws naming the fault.
    QString readText(const QString &relative) const;

    // The same for a file that may be missing: only a missing file gives nothing; a file that

    // is there but cannot be read is an error, never an empty field.
    std::optional<QString> readOptionalText(const QString &relative) const;
    QList<ListLine> readList(const QString &relative, int fieldCount);

    // Packs an HTML fragment that starts at firstLine of file; faults are recorded.
    QString pack(const QString &html, const QString &file, int firstLine);

    // A packed field from an optional HTML file; NULL when the file is missing or blank.
    FieldValue packFile(const QString &relative);
    const std::vector<PageLink> &pageLinks() const { return m_pageLinks; }

    // A folder of optional descriptions may be missing (no descriptions); one that is there

    // but cannot be read is an error, reported once, or every description would be cleared.
    bool descriptionFolderReadable(const QString &folder);

private:
    QString image(const QString &name, const QString &source, int line);
    void collectPageLinks(const QString &html, const QString &file, int firstLine);
    QString m_dir;
    SourceProblems &m_problems;
    QHash<QString, QString> m_images; // empty value: the image is faulty (reported once)
    std::vector<PageLink> m_pageLinks;
};

} // namespace sourcereading
