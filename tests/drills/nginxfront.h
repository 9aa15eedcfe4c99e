// nginx from tools/ramux-server/nginx in front of running ramux-server processes, under a
// folder of its own and as the current user (the drill and the nginx benchmark use it).
#pragma once

#include <QDeadlineTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// A loopback port nothing listens on right now.
inline int freeLoopbackPort()
{
    const int sock = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof(address);
    int port = 0;
    if (::bind(sock, reinterpret_cast<sockaddr *>(&address), sizeof(address)) == 0 &&
        ::getsockname(sock, reinterpret_cast<sockaddr *>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    ::close(sock);
    return port;
}

inline bool acceptsConnections(int port)
{
    const int sock = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(quint16(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(sock, reinterpret_cast<sockaddr *>(&address), sizeof(address)) == 0;
    ::close(sock);
    return ok;
}

struct RawAnswer
{
    int status = 0;
    QMap<QByteArray, QByteArray> headers; // names in lower case
    QByteArray body;
};

// Sends `request` as it is (from the loopback address `from`, when given) and reads until the
// server closes; the head parsed, the body as it came over the wire.
inline RawAnswer rawRequest(int port, const QByteArray &request, const char *from = nullptr)
{
    RawAnswer answer;
    const int sock = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(quint16(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval wait{30, 0};
    ::setsockopt(sock, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof(wait));
    if (from) {
        sockaddr_in source{};
        source.sin_family = AF_INET;
        ::inet_pton(AF_INET, from, &source.sin_addr);
        ::bind(sock, reinterpret_cast<sockaddr *>(&source), sizeof(source));
    }
    QByteArray whole;
    if (::connect(sock, reinterpret_cast<sockaddr *>(&address), sizeof(address)) == 0) {
        ::send(sock, request.constData(), size_t(request.size()), MSG_NOSIGNAL);
        char chunk[65536];
        for (ssize_t n; (n = ::recv(sock, chunk, sizeof(chunk), 0)) > 0;)
            whole.append(chunk, n);
    }
    ::close(sock);
    const qsizetype end = whole.indexOf("\r\n\r\n");
    if (!whole.startsWith("HTTP/1.") || end < 0)
        return answer;
    const QList<QByteArray> lines = whole.left(end).split('\n');
    answer.status = lines.first().mid(9, 3).toInt();
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines.at(i).indexOf(':');
        if (colon > 0)
            answer.headers.insert(lines.at(i).left(colon).trimmed().toLower(),
                                  lines.at(i).mid(colon + 1).trimmed());
    }
    answer.body = whole.mid(end + 4);
    return answer;
}

// One GET with exactly the headers given (no library adding or decoding anything).
inline RawAnswer rawGet(int port, const QByteArray &target, const QByteArray &extraHeaders = {},
                        const char *from = nullptr)
{
    return rawRequest(port,
                      "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" + extraHeaders +
                          "\r\n",
                      from);
}

class NginxFront final
{
public:
    static QString program()
    {
        return QStandardPaths::findExecutable(QStringLiteral("nginx"),
                                              {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin")});
    }

    // backends: "127.0.0.1:PORT"; prefix: an empty folder. error() tells what went wrong.
    NginxFront(const QString &sourceDir, const QString &prefix, const QStringList &backends,
               const QString &workers = QStringLiteral("1"))
        : m_prefix(prefix)
    {
        if (program().isEmpty()) {
            m_error = QStringLiteral("nginx is not installed (scripts/install-deps.sh installs nginx-light)");
            return;
        }
        m_port = freeLoopbackPort();
        QStringList arguments{sourceDir + QStringLiteral("/tools/ramux-server/nginx/make-config.sh"),
                              QStringLiteral("--prefix"),
                              prefix,
                              QStringLiteral("--listen"),
                              QStringLiteral("127.0.0.1:%1").arg(m_port),
                              QStringLiteral("--workers"),
                              workers};
        for (const QString &backend : backends)
            arguments << QStringLiteral("--backend") << backend;
        QProcess config;
        config.start(QStringLiteral("bash"), arguments);
        if (!config.waitForFinished(30000) || config.exitCode() != 0) {
            m_error =
                QStringLiteral("make-config.sh failed: ") + QString::fromUtf8(config.readAllStandardError());
            return;
        }
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(program(), {QStringLiteral("-p"), prefix, QStringLiteral("-c"),
                                    prefix + QStringLiteral("/nginx.conf"), QStringLiteral("-e"),
                                    prefix + QStringLiteral("/error.log"), QStringLiteral("-g"),
                                    QStringLiteral("daemon off;")});
        QDeadlineTimer deadline(15000);
        while (!deadline.hasExpired() && m_process.state() != QProcess::NotRunning &&
               !acceptsConnections(m_port))
            QThread::msleep(50);
        if (!acceptsConnections(m_port))
            m_error = QStringLiteral("nginx did not start: ") +
                      QString::fromUtf8(readFile(prefix + QStringLiteral("/error.log")));
    }
    ~NginxFront()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(10000))
                m_process.kill();
            m_process.waitForFinished();
        }
    }
    NginxFront(const NginxFront &) = delete;
    NginxFront &operator=(const NginxFront &) = delete;

    const QString &error() const { return m_error; }
    int port() const { return m_port; }
    QString address() const { return QStringLiteral("http://127.0.0.1:%1/api.php").arg(m_port); }
    QString accessLog() const { return m_prefix + QStringLiteral("/access.log"); }
    QString cacheDir() const { return m_prefix + QStringLiteral("/cache"); }

    // Counts of cache=STATUS over the access log's api.php lines.
    QMap<QString, int> cacheStatuses() const
    {
        QMap<QString, int> counts;
        for (const QByteArray &line : readFile(accessLog()).split('\n')) {
            const qsizetype at = line.indexOf(" cache=");
            if (at < 0 || !line.contains("/api.php"))
                continue;
            const QByteArray status = line.mid(at + 7, line.indexOf(' ', at + 7) - at - 7);
            ++counts[QString::fromLatin1(status == "-" ? QByteArray("NONE") : status)];
        }
        return counts;
    }

private:
    static QByteArray readFile(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QString m_prefix;
    QString m_error;
    QProcess m_process;
    int m_port = 0;
};
