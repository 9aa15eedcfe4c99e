// The server's own reading of request heads, in front of the HTTP library.
#include "requestlimits.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Waits until the socket has `events` or `until` passes: 1 ready, 0 timed out, -1 failed or the
// server stops (checked between short waits, so a stop is not held up by a waiting connection).
int waitFor(int sock, short events, Clock::time_point until, const std::atomic<socket_t> *listening)
{
    for (;;) {
        const auto now = Clock::now();
        if (now >= until)
            return 0;
        const auto slice = std::min<Clock::duration>(until - now, 100ms);
        pollfd p{sock, events, 0};
        const int n = ::poll(&p, 1, int(std::chrono::ceil<std::chrono::milliseconds>(slice).count()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n != 0)
            return n > 0 ? 1 : -1;
        if (listening && *listening == INVALID_SOCKET)
            return -1;
    }
}

ssize_t receive(int sock, char *ptr, size_t size)
{
    ssize_t n;
    do
        n = ::recv(sock, ptr, size, 0);
    while (n < 0 && errno == EINTR);
    return n;
}

void addressOf(int sock, bool peer, std::string &ip, int &port)
{
    sockaddr_storage address{};
    socklen_t size = sizeof(address);
    auto *raw = reinterpret_cast<sockaddr *>(&address);
    if ((peer ? ::getpeername(sock, raw, &size) : ::getsockname(sock, raw, &size)) != 0)
        return;
    char host[NI_MAXHOST], service[NI_MAXSERV];
    if (::getnameinfo(raw, size, host, sizeof(host), service, sizeof(service),
                      NI_NUMERICHOST | NI_NUMERICSERV) == 0) {
        ip = host;
        port = std::atoi(service);
    }
}

// One connection: the bytes read ahead of the library (a whole head, maybe more) are handed to
// it first; every further read waits no longer than the pause limit and the request's deadline.
class ConnectionStream final : public httplib::Stream
{
public:
    enum class Head { Whole, TooLarge, Late, Closed };

    ConnectionStream(socket_t sock, const RequestLimits &limits, const std::atomic<socket_t> &listening)
        : m_sock(sock), m_limits(limits), m_listening(listening)
    {}

    // Waits for the next request to begin; false when the connection stays idle, closes or the
    // server stops. The request's deadline runs from its first byte.
    bool awaitRequest()
    {
        m_buffer.erase(0, m_pos);
        m_pos = 0;
        if (m_buffer.empty() && waitFor(m_sock, POLLIN, Clock::now() + m_limits.idleTime, &m_listening) <= 0)
            return false;
        m_deadline = Clock::now() + m_limits.requestTime;
        return true;
    }

    // Reads until the buffer holds a whole head (the request line and headers up to the blank
    // line that ends them, as the library reads them) within the limits.
    Head readHead()
    {
        size_t lineStart = m_pos;
        int lines = 0;
        for (size_t scanned = m_pos;;) {
            for (; scanned < m_buffer.size(); ++scanned) {
                if (m_buffer[scanned] != '\n')
                    continue;
                const size_t length = scanned + 1 - lineStart;
                // The head ends where the library ends it: at the first line that is exactly CR LF
                // (a bare LF line it skips, so here it is one more header line). A blank first
                // line is no request; the library answers 400 without reading further.
                const bool crlf = length == 2 && m_buffer[lineStart] == '\r';
                if (crlf || (lines == 0 && length == 1))
                    return scanned + 1 - m_pos > m_limits.maxHeadBytes ? Head::TooLarge : Head::Whole;
                if (++lines - 1 > m_limits.maxHeaderLines)
                    return Head::TooLarge;
                lineStart = scanned + 1;
            }
            if (m_buffer.size() - m_pos > m_limits.maxHeadBytes)
                return Head::TooLarge;
            const int ready = waitFor(m_sock, POLLIN, readUntil(), &m_listening);
            if (ready == 0)
                return Head::Late;
            char chunk[4096];
            const ssize_t n = ready > 0 ? receive(m_sock, chunk, sizeof(chunk)) : -1;
            if (n <= 0)
                return Head::Closed;
            m_buffer.append(chunk, size_t(n));
        }
    }

    bool is_readable() const override
    {
        return m_pos < m_buffer.size() || waitFor(m_sock, POLLIN, readUntil(), &m_listening) > 0;
    }
    bool is_writable() const override
    {
        return waitFor(m_sock, POLLOUT, Clock::now() + m_limits.writeTime, nullptr) > 0;
    }
    ssize_t read(char *ptr, size_t size) override
    {
        if (m_pos < m_buffer.size()) {
            const size_t n = std::min(size, m_buffer.size() - m_pos);
            std::memcpy(ptr, m_buffer.data() + m_pos, n);
            m_pos += n;
            return ssize_t(n);
        }
        if (waitFor(m_sock, POLLIN, readUntil(), &m_listening) <= 0)
            return -1;
        return receive(m_sock, ptr, size);
    }
    ssize_t write(const char *ptr, size_t size) override
    {
        if (!is_writable())
            return -1;
        ssize_t n;
        do
            n = ::send(m_sock, ptr, size, MSG_NOSIGNAL);
        while (n < 0 && errno == EINTR);
        return n;
    }
    void get_remote_ip_and_port(std::string &ip, int &port) const override
    {
        addressOf(m_sock, true, ip, port);
    }
    void get_local_ip_and_port(std::string &ip, int &port) const override
    {
        addressOf(m_sock, false, ip, port);
    }
    socket_t socket() const override { return m_sock; }

private:
    Clock::time_point readUntil() const { return std::min(m_deadline, Clock::now() + m_limits.pauseTime); }

    socket_t m_sock;
    const RequestLimits &m_limits;
    const std::atomic<socket_t> &m_listening;
    std::string m_buffer;
    size_t m_pos = 0;
    Clock::time_point m_deadline;
};

// Says 431 and closes so that the client can read it: what it goes on sending is read and
// dropped for a moment first (closing with unread bytes would reset the connection, and the
// client would lose the answer).
void refuseTooLarge(int sock)
{
    static const char answer[] = "HTTP/1.1 431 Request Header Fields Too Large\r\n"
                                 "Content-Type: text/plain\r\n"
                                 "Content-Length: 33\r\n"
                                 "Connection: close\r\n\r\n"
                                 "Request header fields too large\r\n";
    if (waitFor(sock, POLLOUT, Clock::now() + 1s, nullptr) > 0)
        ::send(sock, answer, sizeof(answer) - 1, MSG_NOSIGNAL);
    ::shutdown(sock, SHUT_WR);
    const auto until = Clock::now() + 2s;
    char chunk[16384];
    for (size_t dropped = 0; dropped < 64 * 1024 * 1024;) {
        if (waitFor(sock, POLLIN, std::min(until, Clock::now() + 200ms), nullptr) <= 0)
            break;
        const ssize_t n = receive(sock, chunk, sizeof(chunk));
        if (n <= 0)
            break;
        dropped += size_t(n);
    }
}

} // namespace

LimitedServer::LimitedServer(const RequestLimits &limits)
    : m_limits(limits), m_freeSlots(std::max(1, limits.servedAtOnce))
{
    const size_t readers = readerThreads(m_freeSlots);
    new_task_queue = [readers] { return new httplib::ThreadPool(readers); };
    // What the answers' Keep-Alive header advertises; the wait itself is ours (idleTime).
    set_keep_alive_timeout(
        std::max<time_t>(1, std::chrono::duration_cast<std::chrono::seconds>(limits.idleTime).count()));
}

size_t LimitedServer::readerThreads(int servedAtOnce)
{
    return size_t(std::clamp(4 * servedAtOnce, 64, 1024));
}

void LimitedServer::acquireSlot()
{
    std::unique_lock<std::mutex> lock(m_slotMutex);
    m_slotFreed.wait(lock, [this] { return m_freeSlots > 0; });
    --m_freeSlots;
}

void LimitedServer::releaseSlot()
{
    {
        std::lock_guard<std::mutex> lock(m_slotMutex);
        ++m_freeSlots;
    }
    m_slotFreed.notify_one();
}

bool LimitedServer::process_and_close_socket(socket_t sock)
{
    // An answer goes out as a head and a body in two writes; with Nagle's algorithm the body
    // of every answer after the first on a kept-alive connection would wait for the client's
    // delayed acknowledgement of the head (40 ms on Linux).
    const int noDelay = 1;
    ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
    ConnectionStream stream(sock, m_limits, svr_sock_);
    bool ret = false;
    for (size_t left = keep_alive_max_count_; left > 0 && svr_sock_ != INVALID_SOCKET; --left) {
        if (!stream.awaitRequest())
            break;
        const ConnectionStream::Head head = stream.readHead();
        if (head != ConnectionStream::Head::Whole) {
            if (head != ConnectionStream::Head::Closed && m_refusalLog) {
                std::string remote;
                int port = 0;
                stream.get_remote_ip_and_port(remote, port);
                m_refusalLog(remote, head == ConnectionStream::Head::TooLarge ? 431 : 408);
            }
            if (head == ConnectionStream::Head::TooLarge)
                refuseTooLarge(sock);
            ret = false;
            break;
        }
        bool closed = false;
        acquireSlot();
        struct Release
        {
            LimitedServer *server;
            ~Release() { server->releaseSlot(); }
        } release{this};
        // Answers are never content-encoded: a cache in front would keep one client's compressed
        // body under the validator of the plain one and hand it to every other client.
        ret = process_request(stream, left == 1, closed,
                              [](httplib::Request &req) { req.headers.erase("Accept-Encoding"); });
        if (!ret || closed)
            break;
    }
    ::shutdown(sock, SHUT_RDWR);
    ::close(sock);
    return ret;
}
