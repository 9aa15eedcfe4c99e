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
#include <cctype>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Waits until the socket has `events` or `until` passes: 1 ready, 0 timed out, -1 failed, the
// server stops or `giveUp` says so (both checked between short waits, so neither is held up by a
// waiting connection).
int waitFor(int sock, short events, Clock::time_point until, const std::atomic<socket_t> *listening,
            const std::function<bool()> *giveUp = nullptr)
{
    for (;;) {
        const auto now = Clock::now();
        if (now >= until)
            return 0;
        const auto slice = std::min<Clock::duration>(until - now, giveUp ? 50ms : 100ms);
        pollfd p{sock, events, 0};
        const int n = ::poll(&p, 1, int(std::chrono::ceil<std::chrono::milliseconds>(slice).count()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n != 0)
            return n > 0 ? 1 : -1;
        if ((listening && *listening == INVALID_SOCKET) || (giveUp && (*giveUp)()))
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

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
        s.remove_suffix(1);
    return s;
}

bool sameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// The methods the library reads a body for; for any other it leaves the body on the connection.
bool readsBody(std::string_view method)
{
    return method == "POST" || method == "PUT" || method == "PATCH" || method == "PRI" || method == "DELETE";
}

// A request head looked at before the library parses it. A body the library would not read is
// refused: left on the connection, it would be taken for the next request, and a proxy that keeps
// the connection for other clients would hand that hidden request's answer to the next one (and
// cache it under their address). Range is dropped where it could only hurt: pages and api answers
// are whole or nothing (a part under the page's validator could be kept as the page), and a
// download serves one range at most (many would build an answer of any size). If-Range goes
// with it.
enum class Screen { Pass, BodyNotRead };

Screen screenHead(std::string &head)
{
    std::vector<std::string_view> lines;
    for (size_t at = 0; at < head.size();) {
        const size_t end = std::min(head.find('\n', at), head.size() - 1);
        lines.emplace_back(head.data() + at, end + 1 - at);
        at = end + 1;
    }
    if (lines.empty())
        return Screen::Pass;
    const std::string_view requestLine = lines.front();
    const std::string_view method = requestLine.substr(0, requestLine.find(' '));
    std::string_view target = requestLine.substr(std::min(requestLine.size(), method.size() + 1));
    target = target.substr(0, target.find(' '));
    const bool download = target.substr(0, 10) == "/download/";
    std::vector<size_t> ranges, ifRanges;
    bool severalRanges = false;
    for (size_t i = 1; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        const std::string_view name = trimmed(line.substr(0, colon));
        const std::string_view value = trimmed(line.substr(colon + 1));
        if (sameName(name, "Content-Length") && !readsBody(method) &&
            (value.empty() || value.find_first_not_of('0') != std::string_view::npos))
            return Screen::BodyNotRead;
        if (sameName(name, "Transfer-Encoding") && !readsBody(method))
            return Screen::BodyNotRead;
        if (sameName(name, "Range")) {
            ranges.push_back(i);
            severalRanges = severalRanges || value.find(',') != std::string_view::npos;
        } else if (sameName(name, "If-Range")) {
            ifRanges.push_back(i);
        }
    }
    if (ranges.empty() || (download && ranges.size() == 1 && !severalRanges))
        return Screen::Pass;
    std::string kept;
    kept.reserve(head.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        if (std::find(ranges.begin(), ranges.end(), i) == ranges.end() &&
            std::find(ifRanges.begin(), ifRanges.end(), i) == ifRanges.end())
            kept += lines[i];
    }
    head = std::move(kept);
    return Screen::Pass;
}

// One connection: the bytes read ahead of the library (a whole head, maybe more) are handed to
// it first; every further read waits no longer than the pause limit and the request's deadline.
class ConnectionStream final : public httplib::Stream
{
public:
    enum class Head { Whole, TooLarge, Late, Closed, BodyNotRead };

    ConnectionStream(socket_t sock, const RequestLimits &limits, const std::atomic<socket_t> &listening,
                     std::function<bool()> crowded)
        : m_sock(sock), m_limits(limits), m_listening(listening), m_crowded(std::move(crowded))
    {}

    // Waits for the next request to begin; false when the connection stays idle, closes or the
    // server stops, and, after its first request, at once when others wait for a reading thread:
    // an idle kept-alive connection is the first to give its thread up. The request's deadline
    // runs from its first byte.
    bool awaitRequest()
    {
        m_buffer.erase(0, m_pos);
        m_pos = 0;
        // A new connection is given its time: its first request is on its way.
        if (m_buffer.empty() && waitFor(m_sock, POLLIN, Clock::now() + m_limits.idleTime, &m_listening,
                                        m_requests > 0 ? &m_crowded : nullptr) <= 0)
            return false;
        ++m_requests;
        m_deadline = Clock::now() + m_limits.requestTime;
        return true;
    }

    // Reads until the buffer holds a whole head (the request line and headers up to the blank
    // line that ends them, as the library reads them) within the limits, then screens it.
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
                if (crlf || (lines == 0 && length == 1)) {
                    if (scanned + 1 - m_pos > m_limits.maxHeadBytes)
                        return Head::TooLarge;
                    return screen(scanned + 1);
                }
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

    // Called once, before the answer's first byte is written (the handler is done by then).
    void onFirstWrite(std::function<void()> f) { m_firstWrite = std::move(f); }

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
    // Bounded by progress: each wait for room lasts the write limit from now, so a slow link
    // keeps going and a client that takes no byte for that long loses the connection.
    ssize_t write(const char *ptr, size_t size) override
    {
        if (m_firstWrite) {
            auto f = std::move(m_firstWrite);
            m_firstWrite = nullptr;
            f();
        }
        for (;;) {
            if (!is_writable())
                return -1;
            const ssize_t n = ::send(m_sock, ptr, size, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
                continue;
            return n;
        }
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

    Head screen(size_t headEnd)
    {
        std::string head = m_buffer.substr(m_pos, headEnd - m_pos);
        if (screenHead(head) == Screen::BodyNotRead)
            return Head::BodyNotRead;
        if (head.size() != headEnd - m_pos)
            m_buffer.replace(m_pos, headEnd - m_pos, head);
        return Head::Whole;
    }

    socket_t m_sock;
    const RequestLimits &m_limits;
    const std::atomic<socket_t> &m_listening;
    std::function<bool()> m_crowded;
    std::function<void()> m_firstWrite;
    int m_requests = 0;
    std::string m_buffer;
    size_t m_pos = 0;
    Clock::time_point m_deadline;
};

// Says `answer` and closes so that the client can read it: what it goes on sending is read and
// dropped for a moment first (closing with unread bytes would reset the connection, and the
// client would lose the answer).
void refuse(int sock, std::string_view answer)
{
    if (waitFor(sock, POLLOUT, Clock::now() + 1s, nullptr) > 0)
        ::send(sock, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
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

constexpr std::string_view kTooLarge = "HTTP/1.1 431 Request Header Fields Too Large\r\n"
                                       "Content-Type: text/plain\r\n"
                                       "Content-Length: 33\r\n"
                                       "Connection: close\r\n\r\n"
                                       "Request header fields too large\r\n";
constexpr std::string_view kBodyNotRead = "HTTP/1.1 400 Bad Request\r\n"
                                          "Content-Type: text/plain\r\n"
                                          "Content-Length: 33\r\n"
                                          "Connection: close\r\n\r\n"
                                          "A body is not read for this verb\r\n";

// The reading threads, counting the connections waiting for one: while any waits and every
// thread is taken, idle kept-alive connections give theirs up.
class ReaderThreads final : public httplib::TaskQueue
{
public:
    ReaderThreads(size_t threads, std::atomic<int> &waiting, std::atomic<int> &busy)
        : m_pool(threads), m_waiting(waiting), m_busy(busy)
    {}
    void enqueue(std::function<void()> fn) override
    {
        ++m_waiting;
        m_pool.enqueue([this, fn = std::move(fn)] {
            ++m_busy;
            --m_waiting;
            fn();
            --m_busy;
        });
    }
    void shutdown() override { m_pool.shutdown(); }

private:
    httplib::ThreadPool m_pool;
    std::atomic<int> &m_waiting;
    std::atomic<int> &m_busy;
};

} // namespace

LimitedServer::LimitedServer(const RequestLimits &limits)
    : m_limits(limits), m_freeSlots(std::max(1, limits.servedAtOnce))
{
    m_readers = int(readerThreads(m_freeSlots));
    new_task_queue = [this] { return new ReaderThreads(size_t(m_readers), m_waiting, m_busy); };
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
    ConnectionStream stream(sock, m_limits, svr_sock_,
                            [this] { return m_waiting.load() > 0 && m_busy.load() >= m_readers; });
    bool ret = false;
    for (size_t left = keep_alive_max_count_; left > 0 && svr_sock_ != INVALID_SOCKET; --left) {
        if (!stream.awaitRequest())
            break;
        const ConnectionStream::Head head = stream.readHead();
        if (head != ConnectionStream::Head::Whole) {
            const int status = head == ConnectionStream::Head::TooLarge      ? 431
                               : head == ConnectionStream::Head::BodyNotRead ? 400
                                                                             : 408;
            if (head != ConnectionStream::Head::Closed && m_refusalLog) {
                std::string remote;
                int port = 0;
                stream.get_remote_ip_and_port(remote, port);
                m_refusalLog(remote, status);
            }
            if (status != 408)
                refuse(sock, status == 431 ? kTooLarge : kBodyNotRead);
            ret = false;
            break;
        }
        bool closed = false;
        acquireSlot();
        // The slot bounds the handlers at work; sending the answer holds none, so clients that
        // read slowly (or not at all) cannot keep others' requests from being handled.
        struct Release
        {
            LimitedServer *server;
            bool held = true;
            void operator()()
            {
                if (held)
                    server->releaseSlot();
                held = false;
            }
            ~Release() { (*this)(); }
        } release{this};
        stream.onFirstWrite([&release] { release(); });
        // Answers are never content-encoded: a cache in front would keep one client's compressed
        // body under the validator of the plain one and hand it to every other client.
        ret = process_request(stream, left == 1, closed,
                              [](httplib::Request &req) { req.headers.erase("Accept-Encoding"); });
        stream.onFirstWrite(nullptr);
        release();
        if (!ret || closed)
            break;
    }
    ::shutdown(sock, SHUT_RDWR);
    ::close(sock);
    return ret;
}
