// One file or folder of a sources folder, read defensively: bounded, plain files only, and a
// missing file told apart from one that is there but cannot be read (which must never pass
// for "no description" or "no products").
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace sourcefile {

// The bytes of dir/relative, or nullopt when it is missing. Throws RamuxError "relative: what"
// for a file that is there but is no plain file, is over `limit` bytes (`tooBig` says what it
// is) or cannot be read.
std::optional<QByteArray> read(const QString &dir, const QString &relative, qint64 limit,
                               const QString &tooBig);

// "relative: what" for a folder that cannot be listed, or that is missing when `missing` says
// why that is a fault; empty when the folder is fine.
QString folderFault(const QString &dir, const QString &relative, const QString &missing,
                    const QString &unreadable);

} // namespace sourcefile
