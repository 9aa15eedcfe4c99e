#include "update/httpclient.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QThread>

#include <curl/curl.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>

Q_LOGGING_CATEGORY(lcHttp, "ramux.update.http")

namespace {

// curl_global_init is not thread-safe; the greeting request (GUI thread) and the worker may
// both make the first request.
void ensureCurlInitialised()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

using Clock = std::chrono::steady_clock;

// Set from a signal handler: a lock-free atomic is the one shared object such a handler may touch.
std::atomic<bool> g_allStopped{false};
static_assert(std::atomic<bool>::is_always_lock_free);

struct TransferState
{
    // Every arrival from the server restarts the wait; curl's own low-speed check counts only
    // body bytes, so a server sending its header lines slowly would be cut off by it.
    bool connected = false;
    Clock::time_point lastActivity = Clock::now();
    const HttpBodySink *sink = nullptr;
    qint64 maxBody = -1;
    qint64 received = 0;
    bool tooLarge = false;
    bool sinkRefused = false;
};

size_t writeBody(char *data, size_t size, size_t count, void *userdata)
{
    auto *state = static_cast<TransferState *>(userdata);
    const size_t bytes = size * count;
    state->lastActivity = Clock::now();
    if (state->maxBody >= 0 && state->received + qint64(bytes) > state->maxBody) {
        state->tooLarge = true;
        return 0; // makes curl end the transfer with CURLE_WRITE_ERROR
    }
    state->received += qint64(bytes);
    if (bytes && !(*state->sink)(data, bytes)) {
        state->sinkRefused = true;
        return 0;
    }
    return bytes;
}

size_t readHeader(char *, size_t size, size_t count, void *userdata)
{
    static_cast<TransferState *>(userdata)->lastActivity = Clock::now();
    return size * count;
}

int connectionReady(void *userdata, char *, char *, int, int)
{
    auto *state = static_cast<TransferState *>(userdata);
    state->connected = true;
    state->lastActivity = Clock::now();
    return CURL_PREREQFUNC_OK;
}

struct EasyDeleter
{
    void operator()(CURL *h) const { curl_easy_cleanup(h); }
};
struct MultiDeleter
{
    void operator()(CURLM *h) const { curl_multi_cleanup(h); }
};
struct SlistDeleter
{
    void operator()(curl_slist *l) const { curl_slist_free_all(l); }
};

bool onMainThread()
{
    const QCoreApplication *app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

bool threadStopRequested()
{
    QThread *thread = QThread::currentThread();
    return thread && thread->isInterruptionRequested();
}

} // namespace

void stopAllTransfers() noexcept
{
    g_allStopped.store(true);
}

bool allTransfersStopped() noexcept
{
    return g_allStopped.load();
}

HttpOutcome performHttpGet(const HttpGet &request, const HttpBodySink &sink, QString *errorText)
{
    ensureCurlInitialised();
    auto fail = [errorText](const QString &text) {
        if (errorText)
            *errorText = text;
        qCDebug(lcHttp) << "request failed:" << text;
    };

    std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
    if (!easy || !multi) {
        fail(QStringLiteral("cannot create a transfer"));
        return HttpOutcome::Failed;
    }
    CURL *h = easy.get();

    // Strings handed to curl_easy_setopt are copied by curl, so temporaries are fine here.
    curl_easy_setopt(h, CURLOPT_URL, request.url.constData());
    if (!request.requestTarget.isEmpty())
        curl_easy_setopt(h, CURLOPT_REQUEST_TARGET, request.requestTarget.constData());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(h, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_0));
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, long(qMax(1, request.connectTimeoutMs)));
    if (request.maxBodyBytes >= 0)
        curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(request.maxBodyBytes));
    if (!request.userAgent.isEmpty())
        curl_easy_setopt(h, CURLOPT_USERAGENT, request.userAgent.constData());

    std::unique_ptr<curl_slist, SlistDeleter> headers;
    for (const QByteArray &line : request.headers) {
        curl_slist *next = curl_slist_append(headers.get(), line.constData());
        if (!next) {
            fail(QStringLiteral("out of memory"));
            return HttpOutcome::Failed;
        }
        headers.release();
        headers.reset(next);
    }
    if (headers)
        curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());

    // An empty proxy string switches off the environment's proxy variables as well.
    const QByteArray proxyHost = request.proxy.host.toUtf8();
    curl_easy_setopt(h, CURLOPT_PROXY, proxyHost.constData());
    if (!proxyHost.isEmpty()) {
        // The settings decide, not a no_proxy variable of the environment.
        curl_easy_setopt(h, CURLOPT_NOPROXY, "");
        curl_easy_setopt(h, CURLOPT_PROXYTYPE, long(CURLPROXY_HTTP));
        // Always set: left alone, curl would quietly use 1080.
        const quint16 port = proxyPortNumber(request.proxy.port);
        if (port == 0) {
            qCWarning(lcHttp).noquote()
                << "the proxy port setting ProxyPort" << QStringLiteral("\"%1\"").arg(request.proxy.port)
                << "is not a number from 1 to 65535; the request is not sent";
            fail(QStringLiteral("unusable proxy port"));
            return HttpOutcome::Failed;
        }
        curl_easy_setopt(h, CURLOPT_PROXYPORT, long(port));
        if (!request.proxy.user.isEmpty()) {
            // Separate options, so a colon in the user name cannot shift into the password.
            const QByteArray user = request.proxy.user.toUtf8();
            const QByteArray pass = request.proxy.pass.toUtf8();
            curl_easy_setopt(h, CURLOPT_PROXYUSERNAME, user.constData());
            curl_easy_setopt(h, CURLOPT_PROXYPASSWORD, pass.constData());
            curl_easy_setopt(h, CURLOPT_PROXYAUTH, long(CURLAUTH_BASIC));
        }
    }

    TransferState state;
    state.sink = &sink;
    state.maxBody = request.maxBodyBytes;
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &writeBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &state);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &readHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &state);
    curl_easy_setopt(h, CURLOPT_PREREQFUNCTION, &connectionReady);
    curl_easy_setopt(h, CURLOPT_PREREQDATA, &state);

    char curlError[CURL_ERROR_SIZE] = {0};
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, curlError);

    if (curl_multi_add_handle(multi.get(), h) != CURLM_OK) {
        fail(QStringLiteral("cannot start the transfer"));
        return HttpOutcome::Failed;
    }

    // On the main thread the poll is kept short and events run between polls (the window must
    // not stall); elsewhere the thread blocks in curl, waking now and then to honour a stop.
    const bool pumpEvents = onMainThread();
    const int pollMs = pumpEvents ? 10 : 200;
    const auto stallLimit = std::chrono::seconds(qMax(1, request.stallTimeoutSec));
    bool aborted = false;
    bool stalled = false;
    CURLcode result = CURLE_RECV_ERROR; // stays so unless curl reports the transfer's end
    bool done = false;
    while (!done) {
        int running = 0;
        CURLMcode mc = curl_multi_perform(multi.get(), &running);
        if (mc != CURLM_OK) {
            result = CURLE_RECV_ERROR;
            break;
        }
        int queued = 0;
        while (CURLMsg *msg = curl_multi_info_read(multi.get(), &queued)) {
            if (msg->msg == CURLMSG_DONE && msg->easy_handle == h) {
                result = msg->data.result;
                done = true;
            }
        }
        if (done || running == 0) {
            done = true;
            break;
        }
        if ((!pumpEvents && threadStopRequested()) || allTransfersStopped()) {
            aborted = true;
            break;
        }
        curl_multi_poll(multi.get(), nullptr, 0, pollMs, nullptr);
        if (pumpEvents)
            QCoreApplication::processEvents();
        // The connection itself is bounded by curl's connect time-out.
        if (state.connected && Clock::now() - state.lastActivity > stallLimit) {
            stalled = true;
            break;
        }
    }
    curl_multi_remove_handle(multi.get(), h);

    if (stalled) {
        fail(QStringLiteral("no data from the server for %1 s").arg(stallLimit.count()));
        return HttpOutcome::Failed;
    }
    if (aborted) {
        fail(QStringLiteral("stopped"));
        return HttpOutcome::Aborted;
    }
    if (state.tooLarge || result == CURLE_FILESIZE_EXCEEDED) {
        fail(QStringLiteral("the answer is larger than %1 bytes").arg(request.maxBodyBytes));
        return HttpOutcome::TooLarge;
    }
    if (state.sinkRefused) {
        fail(QStringLiteral("the body could not be stored"));
        return HttpOutcome::Aborted;
    }
    if (result != CURLE_OK) {
        fail(QString::fromUtf8(curlError[0] ? curlError : curl_easy_strerror(result)));
        return HttpOutcome::Failed;
    }
    return HttpOutcome::Completed;
}
