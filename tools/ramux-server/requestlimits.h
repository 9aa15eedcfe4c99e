// The server's own reading of requests, in front of the HTTP library: the library keeps every
// header line a client sends and restarts its read time-out with every byte, so one client can
// exhaust memory and a few slow ones can hold every thread. Here a request head is read whole,
// within bounds and a deadline, before the library parses it; a connection that is only being
// read holds none of the threads that serve.
#pragma once

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>

struct RequestLimits
{
    int maxHeaderLines = 100;                    // header lines after the request line
    size_t maxHeadBytes = 16 * 1024;             // request line and headers together
    std::chrono::milliseconds requestTime{5000}; // from a request's first byte to its last
    std::chrono::milliseconds pauseTime{1000};   // longest silence within a request
    std::chrono::milliseconds idleTime{2000};    // a kept-alive connection waiting for its next request
    std::chrono::milliseconds writeTime{10000};  // longest time an answer's client takes no byte
    int servedAtOnce = 16;                       // requests handled at once; more connections may be read
};

class LimitedServer final : public httplib::Server
{
public:
    // remote address, the status logged (431: head too large, 408: not whole in time, 400: a body
    // on a request that has none)
    using RefusalLog = std::function<void(const std::string &remote, int status)>;

    explicit LimitedServer(const RequestLimits &limits);

    // Connections read at once: enough that slow clients leave room for others.
    static size_t readerThreads(int servedAtOnce);

    void setRefusalLog(RefusalLog log) { m_refusalLog = std::move(log); }

private:
    bool process_and_close_socket(socket_t sock) override;

    void acquireSlot();
    void releaseSlot();

    RequestLimits m_limits;
    RefusalLog m_refusalLog;
    std::mutex m_slotMutex;
    std::condition_variable m_slotFreed;
    int m_freeSlots = 0;
    int m_readers = 0;
    std::atomic<int> m_waiting{0}; // accepted connections waiting for a reading thread
    std::atomic<int> m_busy{0};    // reading threads at work
};
