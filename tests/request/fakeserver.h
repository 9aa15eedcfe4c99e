// A plain-socket HTTP server on 127.0.0.1 for request-layer tests: it records the exact bytes of
// every request head and lets a test answer them any way it likes, including badly (stall, drop
// the connection mid-body, stream far more than the client accepts).
#pragma once

#include <QByteArray>
#include <QList>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

class RawServer final
{
public:
    // Called on the server thread for each connection, after its request head was read.
    using Handler = std::function<void(RawServer &server, int fd, const QByteArray &head)>;

    // port 0: an ephemeral one. A fixed port that is taken leaves port() at 0.
    explicit RawServer(Handler handler, quint16 port = 0) : m_handler(std::move(handler))
    {
        m_listen = ::socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        ::setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(port);
        if (::bind(m_listen, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0
            && ::listen(m_listen, 8) == 0) {
            socklen_t len = sizeof addr;
            ::getsockname(m_listen, reinterpret_cast<sockaddr *>(&addr), &len);
            m_port = ntohs(addr.sin_port);
        }
        m_thread = std::thread([this] { run(); });
    }
    ~RawServer()
    {
        m_stop = true;
        m_thread.join();
        ::close(m_listen);
    }
    RawServer(const RawServer &) = delete;
    RawServer &operator=(const RawServer &) = delete;

    quint16 port() const { return m_port; }
    QByteArray baseUrl() const { return "http://127.0.0.1:" + QByteArray::number(m_port); }
    QList<QByteArray> requests() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_requests;
    }
    bool stopping() const { return m_stop; }

    // Sleeps up to ms, returning early when the server is being torn down.
    void waitOrStop(int ms) const
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!m_stop && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }

    static bool sendAll(int fd, const QByteArray &data)
    {
        qsizetype off = 0;
        while (off < data.size()) {
            const ssize_t n = ::send(fd, data.constData() + off, size_t(data.size() - off), MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            off += n;
        }
        return true;
    }

    // A complete HTTP/1.0 answer, closed by the server after the body.
    static QByteArray response(const QByteArray &body, const QByteArray &status = "200 OK",
                               const QByteArray &extraHeaders = {})
    {
        return "HTTP/1.0 " + status + "\r\nContent-Type: text/xml\r\nContent-Length: "
            + QByteArray::number(body.size()) + "\r\n" + extraHeaders + "\r\n" + body;
    }

private:
    void run()
    {
        while (!m_stop) {
            pollfd p{m_listen, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            const int fd = ::accept(m_listen, nullptr, nullptr);
            if (fd < 0)
                continue;
            const QByteArray head = readHead(fd);
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_requests.append(head);
            }
            if (!head.isEmpty())
                m_handler(*this, fd, head);
            ::close(fd);
        }
    }

    QByteArray readHead(int fd) const
    {
        QByteArray head;
        char buffer[4096];
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!m_stop && head.size() < 65536 && !head.contains("\r\n\r\n")
               && std::chrono::steady_clock::now() < until) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            head.append(buffer, n);
        }
        return head;
    }

    Handler m_handler;
    int m_listen = -1;
    quint16 m_port = 0;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    QList<QByteArray> m_requests;
    std::thread m_thread;
};

// The header lines of a recorded request head, without the request line.
inline QList<QByteArray> headerLines(const QByteArray &head)
{
    QList<QByteArray> lines = head.left(head.indexOf("\r\n\r\n")).split('\n');
    for (QByteArray &line : lines)
        line = line.trimmed();
    if (!lines.isEmpty())
        lines.removeFirst();
    return lines;
}

inline QByteArray requestLine(const QByteArray &head)
{
    return head.left(head.indexOf("\r\n"));
}
