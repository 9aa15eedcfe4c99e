// Reading a file whose size nobody vouches for: at most a given number of bytes, and, where
// only a plain file makes sense, never a pipe or a device (a FIFO would hang the reader,
// /dev/zero would fill memory).
#pragma once

#include <QByteArray>
#include <QString>

namespace boundedfile {

enum class Status {
    Ok,
    Missing,    // no such file (a missing folder on the way counts as missing too)
    NotRegular, // a FIFO, device, folder or socket where a plain file was asked for
    TooBig,     // more than the limit; bytes holds nothing then
    Unreadable, // exists but cannot be opened or read (permissions, I/O error, ...)
};

struct Result
{
    Status status = Status::Unreadable;
    QByteArray bytes;
    qint64 size = -1; // the file's size when it is a plain file, else -1
    QString reason;   // the system's words for Unreadable
};

// Reads at most `limit` bytes of path (one more is read to tell a bigger file).
Result read(const QString &path, qint64 limit, bool regularOnly);

enum class FolderState { Listable, Missing, Unlistable };
// Whether path is a folder whose entries can be both listed and opened.
FolderState folderState(const QString &path);

} // namespace boundedfile
