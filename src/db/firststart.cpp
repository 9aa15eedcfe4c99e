#include "db/firststart.h"

#include "db/location.h"
#include "db/schema.h"
#include "db/sqlitedb.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QStandardPaths>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcFirstStart, "ramux.db.firststart")

namespace {

const QLatin1String kTempPrefix(".Ramux.rxd.");
// A copy takes milliseconds; a temporary file this old was left by a start that was killed.
constexpr qint64 kStaleTempSeconds = 600;

QString reason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Creates the folder and its missing parents (private to the user, as the data folder should
// be); returns 0 or the errno of the step that failed.
int makeFolders(const QString &path)
{
    const QByteArray native = QFile::encodeName(QDir::cleanPath(QDir(path).absolutePath()));
    for (qsizetype i = 1; i <= native.size(); ++i) {
        if (i < native.size() && native.at(i) != '/')
            continue;
        const QByteArray part = native.left(i);
        if (::mkdir(part.constData(), 0700) != 0 && errno != EEXIST)
            return errno;
    }
    struct stat st;
    if (::stat(native.constData(), &st) != 0)
        return errno;
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

void removeStaleTemporaries(const QString &folder)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QFileInfoList leftovers = QDir(folder).entryInfoList(
        {kTempPrefix + QLatin1Char('*')}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo &file : leftovers) {
        if (file.lastModified().toUTC().secsTo(now) > kStaleTempSeconds) {
            qCInfo(lcFirstStart) << "removing an interrupted copy:" << file.filePath();
            QFile::remove(file.filePath());
        }
    }
}

bool writeAll(int fd, const char *data, qint64 size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size_t(size));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

void removeTemporary(const QByteArray &path)
{
    ::unlink(path.constData());
    // Opening the copy to check it may have left its journal files.
    ::unlink((path + "-wal").constData());
    ::unlink((path + "-shm").constData());
}

// The store's own message when the file is not a database of ours, else an empty string.
QString checkDatabase(const QString &path)
{
    try {
        Database db;
        db.open(path, schema::databasePassword());
        if (!db.hasTable(QStringLiteral("options")))
            return QStringLiteral("no such table: options");
    } catch (const RamuxError &e) {
        return e.message();
    } catch (const std::exception &e) {
        return QString::fromUtf8(e.what());
    }
    return QString();
}

// What stands at the database's place when it is no file (following links); empty when the place
// is free or holds a file.
QString obstacle(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat own;
    if (::lstat(native.constData(), &own) != 0)
        return QString();
    struct stat target;
    const bool reached = ::stat(native.constData(), &target) == 0;
    if (reached && S_ISREG(target.st_mode))
        return QString();
    if (S_ISLNK(own.st_mode)) {
        const QString to = QDir::toNativeSeparators(QFileInfo(path).symLinkTarget());
        if (!reached)
            return QStringLiteral("ссылка на несуществующий файл %1").arg(to);
        if (S_ISDIR(target.st_mode))
            return QStringLiteral("ссылка на папку %1").arg(to);
        return QStringLiteral("ссылка на %1, который не является обычным файлом").arg(to);
    }
    if (S_ISDIR(own.st_mode))
        return QStringLiteral("папка");
    return QStringLiteral("не обычный файл");
}

} // namespace

QString shippedDatabaseFile(const QString &programPath)
{
    return QDir::cleanPath(QFileInfo(programPath).absolutePath() + QLatin1String("/../share/ramux/Ramux.rxd"));
}

FirstStartResult provideInitialDatabase(const QString &sharedDataFolder, const QString &programPath)
{
    FirstStartResult result;
    if (sharedDataFolder.isEmpty())
        return result; // no home to copy into: the location rule decides alone
    const QString folder = sharedDataFolder + QLatin1String("/Ramux");
    result.path = folder + QLatin1String("/Ramux.rxd");
    if (QFileInfo(chooseDatabaseFile(sharedDataFolder, programPath)).isFile())
        return result;
    const QString shipped = shippedDatabaseFile(programPath);
    if (!QFileInfo(shipped).isFile()) {
        result.outcome = FirstStartResult::Outcome::NothingShipped;
        return result;
    }

    auto folderFailed = [&](int error) {
        result.outcome = FirstStartResult::Outcome::FolderFailed;
        result.message =
            QStringLiteral("Не удается создать базу данных в папке %1: %2").arg(QDir::toNativeSeparators(folder), reason(error));
        return result;
    };
    auto damaged = [&](const QString &message) {
        result.outcome = FirstStartResult::Outcome::Damaged;
        result.message = message;
        return result;
    };

    auto inTheWay = [&](const QString &what) {
        result.outcome = FirstStartResult::Outcome::FolderFailed;
        result.message = QStringLiteral("Не удается создать базу данных %1: на её месте %2")
                             .arg(QDir::toNativeSeparators(result.path), what);
        return result;
    };

    if (const int error = makeFolders(folder))
        return folderFailed(error);
    if (const QString what = obstacle(result.path); !what.isEmpty())
        return inTheWay(what);
    removeStaleTemporaries(folder);

    QFile source(shipped);
    if (!source.open(QIODevice::ReadOnly))
        return damaged(source.errorString());

    QByteArray temp = QFile::encodeName(folder + QLatin1Char('/') + kTempPrefix + QLatin1String("XXXXXX"));
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return folderFailed(errno);
    int error = 0;
    char buffer[64 * 1024];
    for (;;) {
        const qint64 got = source.read(buffer, sizeof buffer);
        if (got < 0) {
            ::close(fd);
            removeTemporary(temp);
            return damaged(source.errorString());
        }
        if (got == 0)
            break;
        if (!writeAll(fd, buffer, got)) {
            error = errno;
            break;
        }
    }
    if (!error && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && !error)
        error = errno;
    if (error) {
        removeTemporary(temp);
        return folderFailed(error);
    }

    QString problem = checkDatabase(QFile::decodeName(temp));
    if (!problem.isEmpty()) {
        removeTemporary(temp);
        // The user knows the installed file, not our temporary name.
        return damaged(problem.replace(QFile::decodeName(temp), shipped));
    }

    // Neither step replaces a file: a database that appeared meanwhile (another start) stays.
    const QByteArray target = QFile::encodeName(result.path);
    int linked = ::link(temp.constData(), target.constData());
    if (linked != 0 && (errno == EPERM || errno == EOPNOTSUPP)) // a file system without hard links
        linked = ::renameat2(AT_FDCWD, temp.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE);
    if (linked != 0 && errno != EEXIST) {
        error = errno;
        removeTemporary(temp);
        return folderFailed(error);
    }
    removeTemporary(temp);
    // "Already there" counts only for a database file another start put in place meanwhile.
    if (const QString what = obstacle(result.path); !what.isEmpty())
        return inTheWay(what);
    const int dir = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        ::fsync(dir); // the new name survives a power cut
        ::close(dir);
    }
    qCInfo(lcFirstStart) << "initial database copied to" << result.path;
    result.outcome = FirstStartResult::Outcome::Copied;
    return result;
}

FirstStartResult provideInitialDatabase()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return provideInitialDatabase(folder, QCoreApplication::applicationFilePath());
}
