#include "update/ui/guigate.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMutex>
#include <QThread>
#include <QWaitCondition>

#include <memory>
#include <vector>

namespace {

struct PendingCall
{
    std::function<void()> call;
    bool done = false;
    bool cancelled = false;
};

// One lock over the flag, the receiver and the waiting calls: a check and its post are one step,
// so no call can slip in between the window going and the flag being seen.
QMutex g_lock;
QWaitCondition g_finished;
bool g_gone = false;
QObject *g_receiver = nullptr;
std::vector<std::shared_ptr<PendingCall>> g_waiting;

const QEvent::Type kCallEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

class CallEvent final : public QEvent
{
public:
    explicit CallEvent(std::shared_ptr<PendingCall> pending)
        : QEvent(kCallEvent), m_pending(std::move(pending))
    {}
    std::shared_ptr<PendingCall> m_pending;
};

void closeGate()
{
    QMutexLocker lock(&g_lock);
    g_gone = true;
    g_receiver = nullptr;
    for (const auto &pending : g_waiting)
        pending->cancelled = true;
    g_waiting.clear();
    g_finished.wakeAll();
}

// Lives on the GUI thread and runs the calls posted to it.
class Receiver final : public QObject
{
public:
    using QObject::QObject;
    ~Receiver() override { closeGate(); }

    bool event(QEvent *event) override
    {
        if (event->type() != kCallEvent)
            return QObject::event(event);
        const std::shared_ptr<PendingCall> pending = static_cast<CallEvent *>(event)->m_pending;
        {
            QMutexLocker lock(&g_lock);
            if (g_gone || pending->cancelled)
                return true; // its caller has been released; what it captured may be gone
        }
        // Outside the lock: a call may run a modal window, during which others queue up.
        pending->call();
        QMutexLocker lock(&g_lock);
        pending->done = true;
        g_finished.wakeAll();
        return true;
    }
};

} // namespace

namespace guigate {

void install()
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app)
        return;
    QMutexLocker lock(&g_lock);
    if (g_receiver || g_gone)
        return;
    auto *receiver = new Receiver(app);
    g_receiver = receiver;
    QObject::connect(
        app, &QCoreApplication::aboutToQuit, receiver, [] { closeGate(); }, Qt::DirectConnection);
}

bool callBlocking(std::function<void()> call)
{
    auto pending = std::make_shared<PendingCall>();
    pending->call = std::move(call);
    QMutexLocker lock(&g_lock);
    if (g_gone || !g_receiver)
        return false;
    if (QThread::currentThread() == g_receiver->thread()) {
        lock.unlock();
        pending->call(); // already on the GUI thread: waiting for itself would never end
        return true;
    }
    g_waiting.push_back(pending);
    QCoreApplication::postEvent(g_receiver, new CallEvent(pending));
    while (!pending->done && !pending->cancelled)
        g_finished.wait(&g_lock);
    if (pending->done) {
        for (auto it = g_waiting.begin(); it != g_waiting.end(); ++it) {
            if (*it == pending) {
                g_waiting.erase(it);
                break;
            }
        }
    }
    return pending->done;
}

bool post(std::function<void()> call)
{
    auto pending = std::make_shared<PendingCall>();
    pending->call = std::move(call);
    QMutexLocker lock(&g_lock);
    if (g_gone || !g_receiver)
        return false;
    QCoreApplication::postEvent(g_receiver, new CallEvent(pending));
    return true;
}

bool windowGone()
{
    QMutexLocker lock(&g_lock);
    return g_gone;
}

} // namespace guigate
