// Bounded reads of files of unknown kind and size.
#include "text/boundedfile.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace boundedfile {

namespace {

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

class Fd final
{
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

} // namespace

Result read(const QString &path, qint64 limit, bool regularOnly)
{
    Result result;
    const QByteArray name = QFile::encodeName(path);
    // Without O_NONBLOCK opening a FIFO waits for a writer; the kind is checked right after.
    const int flags = O_RDONLY | O_CLOEXEC | (regularOnly ? O_NONBLOCK : 0);
    int raw = -1;
    do
        raw = ::open(name.constData(), flags);
    while (raw < 0 && errno == EINTR);
    if (raw < 0) {
        result.status = errno == ENOENT ? Status::Missing : Status::Unreadable;
        result.reason = systemReason(errno);
        return result;
    }
    Fd fd(raw);
    struct stat info;
    if (::fstat(fd.get(), &info) != 0) {
        result.reason = systemReason(errno);
        return result;
    }
    if (S_ISREG(info.st_mode)) {
        result.size = qint64(info.st_size);
    } else if (regularOnly) {
        result.status = Status::NotRegular;
        return result;
    }
    if (S_ISDIR(info.st_mode)) {
        result.status = Status::NotRegular;
        return result;
    }
    if (regularOnly)
        ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
    if (result.size > limit) {
        result.status = Status::TooBig;
        return result;
    }
    // The size may be wrong (a file growing meanwhile, /proc): the read itself is what is bounded.
    QByteArray bytes;
    bytes.resize(qsizetype(std::min<qint64>(result.size >= 0 ? result.size + 1 : 64 * 1024, limit + 1)));
    qint64 total = 0;
    for (;;) {
        if (total == bytes.size()) {
            if (total > limit)
                break;
            bytes.resize(qsizetype(std::min<qint64>(std::max<qint64>(2 * total, 4096), limit + 1)));
        }
        const ssize_t n = ::read(fd.get(), bytes.data() + total, size_t(bytes.size() - total));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            result.reason = systemReason(errno);
            return result;
        }
        if (n == 0)
            break;
        total += n;
    }
    if (total > limit) {
        result.status = Status::TooBig;
        return result;
    }
    bytes.resize(qsizetype(total));
    result.bytes = std::move(bytes);
    result.status = Status::Ok;
    return result;
}

FolderState folderState(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info;
    if (::stat(name.constData(), &info) != 0)
        return errno == ENOENT ? FolderState::Missing : FolderState::Unlistable;
    if (!S_ISDIR(info.st_mode) || ::access(name.constData(), R_OK | X_OK) != 0)
        return FolderState::Unlistable;
    DIR *dir = ::opendir(name.constData());
    if (!dir)
        return FolderState::Unlistable;
    ::closedir(dir);
    return FolderState::Listable;
}

} // namespace boundedfile
