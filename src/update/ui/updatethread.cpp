#include "update/ui/updatethread.h"

#include "update/datareloadevent.h"
#include "update/programupdate.h"
#include "update/structuredchangedevent.h"
#include "update/ui/guigate.h"
#include "update/ui/updatedetailsform.h"

#include <QApplication>
#include <QMessageBox>
#include <QMutex>
#include <QStatusBar>
#include <QStyle>
#include <QSystemTrayIcon>

namespace {

QMutex g_windowsMutex;
TUpdateThread::DetailsWindow g_detailsWindow = ShowUpdateDetails;
TUpdateThread::OfferWindow g_offerWindow = ShowUpdateOffer;

void showNotice(const QString &text)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Ramux"), text, QMessageBox::Ok);
    box.exec();
}
TUpdateThread::NoticeWindow g_noticeWindow = showNotice;

// A window replaced by nothing answers like one never shown: "No" (7).
constexpr int noAnswer = 7;

} // namespace

// The worker's half that lives on the GUI thread: the tray icon and the way to the main window.
// It is only ever touched on the GUI thread.
class TUpdateThreadGui final : public QObject
{
public:
    explicit TUpdateThreadGui(QMainWindow *window) : m_window(window) {}
    ~TUpdateThreadGui() override { delete m_tray; }

    QPointer<QMainWindow> m_window;
    QPointer<QSystemTrayIcon> m_tray;

    void createTray()
    {
        QIcon icon = QApplication::windowIcon();
        if (icon.isNull())
            icon = QApplication::style()->standardIcon(QStyle::SP_BrowserReload);
        m_tray = new QSystemTrayIcon(icon);
    }

    void reportStatus(const QString &text, bool updateOnly)
    {
        if (updateOnly && m_tray) {
            m_tray->setToolTip(text);
            m_tray->setVisible(true); // without a notification area this simply shows nothing
        }
        if (!m_window)
            return;
        // The main window's own status operations when it has them, else its status bar.
        if (has("SetStatusText(QString)"))
            QMetaObject::invokeMethod(m_window, "SetStatusText", Qt::DirectConnection, Q_ARG(QString, text));
        else
            m_window->statusBar()->showMessage(text);
        setStatusVisible(true);
    }

    bool has(const char *signature) const { return m_window->metaObject()->indexOfMethod(signature) >= 0; }

    void setStatusVisible(bool visible)
    {
        if (has("SetStatusVisible(bool)"))
            QMetaObject::invokeMethod(m_window, "SetStatusVisible", Qt::DirectConnection, Q_ARG(bool, visible));
        else
            m_window->statusBar()->setVisible(visible);
    }

    void hideStatus()
    {
        if (!m_window)
            return;
        setStatusVisible(false);
    }

    void hideTray()
    {
        if (m_tray)
            m_tray->hide();
    }

    void freeTray()
    {
        delete m_tray;
        m_tray = nullptr;
    }
};

// The run's host on the worker thread: every display call is a blocking call onto the GUI
// thread; posts to the main window go through the GUI half, which checks the window still exists.
class WorkerHost final : public UpdateHost
{
public:
    explicit WorkerHost(TUpdateThread &thread) : m_thread(thread), m_gui(thread.m_gui) {}

    // Both go through the gate: once the window has gone, nothing more reaches the GUI thread.
    template <typename F>
    void onGui(F &&call)
    {
        guigate::callBlocking(std::forward<F>(call));
    }
    template <typename F>
    void postToGui(F &&call)
    {
        guigate::post(std::forward<F>(call));
    }

    void ReportStatus(const UpdateFields &fields) override
    {
        const bool updateOnly = isUpdateOnly();
        TUpdateThreadGui *gui = m_gui;
        onGui([gui, &fields, updateOnly] { gui->reportStatus(fields.StatusText, updateOnly); });
    }
    void HideStatus() override
    {
        TUpdateThreadGui *gui = m_gui;
        onGui([gui] { gui->hideStatus(); });
    }
    void AskProgramUpdate(UpdateFields &fields) override
    {
        TUpdateThreadGui *gui = m_gui;
        onGui([gui, &fields] {
            if (!gui->m_window)
                return; // the result keeps its value
            TUpdateThread::OfferWindow window;
            {
                QMutexLocker lock(&g_windowsMutex);
                window = g_offerWindow;
            }
            fields.DialogResult = window ? window(fields.NewVersion, fields.DownloadLink, fields.AboutText, fields.AboutUrl)
                                         : noAnswer;
        });
    }
    void ShowDataDetails(UpdateFields &fields) override
    {
        TUpdateThreadGui *gui = m_gui;
        onGui([gui, &fields] {
            if (!gui->m_window)
                return;
            TUpdateThread::DetailsWindow window;
            {
                QMutexLocker lock(&g_windowsMutex);
                window = g_detailsWindow;
            }
            fields.DialogResult = window ? window(fields.DetailsText, fields.DetailsUrl) : noAnswer;
        });
    }

    void ShowInstallFailure(const QString &text) override
    {
        TUpdateThreadGui *gui = m_gui;
        onGui([gui, &text] {
            if (!gui->m_window)
                return;
            TUpdateThread::NoticeWindow window;
            {
                QMutexLocker lock(&g_windowsMutex);
                window = g_noticeWindow;
            }
            if (window)
                window(text);
        });
    }

    void createTrayIcon() override
    {
        TUpdateThreadGui *gui = m_gui;
        onGui([gui] { gui->createTray(); });
    }
    void hideTrayIcon() override
    {
        TUpdateThreadGui *gui = m_gui;
        onGui([gui] { gui->hideTray(); });
    }
    void freeTrayIcon() override
    {
        TUpdateThreadGui *gui = m_gui;
        onGui([gui] { gui->freeTray(); });
    }

    void postClose() override
    {
        TUpdateThreadGui *gui = m_gui;
        postToGui([gui] {
            if (gui->m_window)
                QMetaObject::invokeMethod(gui->m_window, "close", Qt::QueuedConnection);
        });
    }
    void postDataReload() override
    {
        TUpdateThreadGui *gui = m_gui;
        postToGui([gui] {
            if (gui->m_window)
                QCoreApplication::postEvent(gui->m_window, new DataReloadEvent(0, 0));
        });
    }

    void postStructuredDataChanged() override
    {
        TUpdateThreadGui *gui = m_gui;
        postToGui([gui] {
            if (gui->m_window)
                QCoreApplication::postEvent(gui->m_window, new StructuredDataChangedEvent);
        });
    }

    bool isUpdateOnly() const override { return m_thread.isUpdateOnly(); }
    bool stopRequested() const override { return m_thread.isInterruptionRequested(); }
    void sleepMs(int milliseconds) override
    {
        // The described pause, cut short by a stop request so that quitting is never delayed.
        Q_UNUSED(milliseconds) // the thread's own delay: 5000 ms unless a test shortened it
        QDeadlineTimer deadline(m_thread.m_openFailureDelayMs);
        while (!deadline.hasExpired() && !m_thread.isInterruptionRequested())
            QThread::msleep(static_cast<unsigned long>(qBound<qint64>(qint64(1), deadline.remainingTime(), qint64(20))));
    }
    QString databaseFile() override
    {
        return m_thread.m_databaseFile.isEmpty() ? UpdateHost::databaseFile() : m_thread.m_databaseFile;
    }
    void CheckProgramUpdate(UpdateRun &run) override
    {
        if (m_thread.m_programUpdateCheck)
            m_thread.m_programUpdateCheck(run);
        else
            RunProgramUpdateCheck(run);
    }

private:
    TUpdateThread &m_thread;
    TUpdateThreadGui *m_gui;
};

TUpdateThread::TUpdateThread(QMainWindow *mainWindow, QObject *parent)
    : QThread(parent), m_gui(new TUpdateThreadGui(mainWindow)), m_guiAlive(m_gui)
{
    guigate::install();
    // The GUI half must outlive every call the run makes, so it goes only after the run ended.
    // If the process ends first it is simply never freed, and a call still waiting stays waiting.
    TUpdateThreadGui *gui = m_gui;
    connect(this, &QThread::finished, gui, [gui] { gui->deleteLater(); });
}

TUpdateThread::~TUpdateThread() = default;

bool TUpdateThread::commandLineSelectsUpdateOnly()
{
    const QStringList arguments = QCoreApplication::arguments();
    return arguments.size() > 1 && arguments.at(1).toLower() == QLatin1String("updateonly");
}

bool TUpdateThread::isUpdateOnly() const
{
    return m_updateOnlyTest ? m_updateOnlyTest() : commandLineSelectsUpdateOnly();
}

QSystemTrayIcon *TUpdateThread::trayIcon() const
{
    return m_guiAlive ? m_gui->m_tray.data() : nullptr;
}

void TUpdateThread::setDetailsWindow(DetailsWindow window)
{
    QMutexLocker lock(&g_windowsMutex);
    g_detailsWindow = std::move(window);
}

void TUpdateThread::setOfferWindow(OfferWindow window)
{
    QMutexLocker lock(&g_windowsMutex);
    g_offerWindow = std::move(window);
}

void TUpdateThread::setNoticeWindow(NoticeWindow window)
{
    QMutexLocker lock(&g_windowsMutex);
    g_noticeWindow = std::move(window);
}

void TUpdateThread::run()
{
    WorkerHost host(*this);
    UpdateRun run(host);
    m_ending = run.Execute();
    m_lastFields = run.fields;
}
