// Reading the files and folders of a sources folder.
#include "content/sourcefile.h"

#include "text/boundedfile.h"
#include "text/ramuxerror.h"

namespace sourcefile {

namespace {

QString fault(const QString &relative, const QString &what)
{
    return QStringLiteral("%1: %2").arg(relative, what);
}

constexpr qint64 kMegabyte = 1024 * 1024;

} // namespace

std::optional<QByteArray> read(const QString &dir, const QString &relative, qint64 limit,
                               const QString &tooBig)
{
    const boundedfile::Result file = boundedfile::read(dir + QLatin1Char('/') + relative, limit, true);
    switch (file.status) {
    case boundedfile::Status::Ok:
        return file.bytes;
    case boundedfile::Status::Missing:
        return std::nullopt;
    case boundedfile::Status::NotRegular:
        throw RamuxError(fault(relative, QStringLiteral("не обычный файл (папка, канал или устройство)")));
    case boundedfile::Status::TooBig:
        if (file.size > limit)
            throw RamuxError(fault(relative, QStringLiteral("%1 (%2 МБ, допустимо не больше %3 МБ)")
                                                 .arg(tooBig)
                                                 .arg(file.size / kMegabyte)
                                                 .arg(limit / kMegabyte)));
        throw RamuxError(fault(
            relative, QStringLiteral("%1 (допустимо не больше %2 МБ)").arg(tooBig).arg(limit / kMegabyte)));
    case boundedfile::Status::Unreadable:
        break;
    }
    throw RamuxError(fault(relative, QStringLiteral("не удается прочитать: %1").arg(file.reason)));
}

QString folderFault(const QString &dir, const QString &relative, const QString &missing,
                    const QString &unreadable)
{
    switch (boundedfile::folderState(dir + QLatin1Char('/') + relative)) {
    case boundedfile::FolderState::Listable:
        return QString();
    case boundedfile::FolderState::Missing:
        return missing.isEmpty() ? QString() : fault(relative, missing);
    case boundedfile::FolderState::Unlistable:
        break;
    }
    return fault(relative, unreadable);
}

} // namespace sourcefile
