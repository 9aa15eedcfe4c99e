// TUpdateThread: the background update worker. Runs the update run (UpdateRun) on its own
// thread and its own database connection; everything it shows goes through blocking calls onto
// the GUI thread, everything it asks of the main window through posted events.
#pragma once

#include "update/updaterun.h"

#include <QMainWindow>
#include <QPointer>
#include <QThread>

#include <atomic>
#include <functional>

class QSystemTrayIcon;
class TUpdateThreadGui;

class TUpdateThread final : public QThread
{
    Q_OBJECT

public:
    // Created on the GUI thread after the main window; started at once by the caller.
    explicit TUpdateThread(QMainWindow *mainWindow, QObject *parent = nullptr);
    ~TUpdateThread() override;

    // Seams for tests and tools; set before start().
    void setDatabaseFile(const QString &path) { m_databaseFile = path; }          // empty: location rule
    void setOpenFailureDelay(int milliseconds) { m_openFailureDelayMs = milliseconds; } // 5000 by default
    void setUpdateOnlyTest(std::function<bool()> test) { m_updateOnlyTest = std::move(test); }
    // Replaces the program update step (the default is the program update check).
    void setProgramUpdateCheck(std::function<void(UpdateRun &)> check) { m_programUpdateCheck = std::move(check); }

    // The first command-line argument, lower-cased, is "updateonly". Read afresh on every call.
    static bool commandLineSelectsUpdateOnly();

    // How the last run ended, its counters; meaningful once finished() has been emitted.
    UpdateRun::Ending ending() const { return m_ending; }
    UpdateFields lastFields() const { return m_lastFields; }

    // The notification-area icon while the run has one (GUI thread only).
    QSystemTrayIcon *trayIcon() const;

    // The data-update details window: text, address → modal result. Replaced by tests.
    using DetailsWindow = std::function<int(const QString &text, const QString &address)>;
    static void setDetailsWindow(DetailsWindow window);
    // The program-update offer window: version, link, about text, about address → modal result.
    using OfferWindow =
        std::function<int(const QString &version, const QString &link, const QString &aboutText, const QString &aboutUrl)>;
    static void setOfferWindow(OfferWindow window);
    // The message that the program update was not installed: text. Replaced by tests.
    using NoticeWindow = std::function<void(const QString &text)>;
    static void setNoticeWindow(NoticeWindow window);

protected:
    void run() override; // Execute

private:
    friend class WorkerHost;
    bool isUpdateOnly() const;

    TUpdateThreadGui *m_gui; // lives on the GUI thread, freed after the thread has finished
    QPointer<QObject> m_guiAlive; // read on the GUI thread only
    QString m_databaseFile;
    int m_openFailureDelayMs = 5000;
    std::function<bool()> m_updateOnlyTest;
    std::function<void(UpdateRun &)> m_programUpdateCheck;
    UpdateRun::Ending m_ending = UpdateRun::Ending::Nothing;
    UpdateFields m_lastFields;
};
