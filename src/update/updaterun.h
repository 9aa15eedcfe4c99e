// The body of the update worker's run (Execute) without any window: the worker thread, the
// command-line tool and the tests drive it through UpdateHost.
#pragma once

#include "update/installer.h"

#include <QString>
#include <QStringList>

class Database;
class UpdateRun;

// The worker's state, named as the rest of the update service knows it. The GUI side reads
// these only inside the synchronised calls, while the run waits.
struct UpdateFields
{
    QString ServerAddress;
    bool ProgramUpdateEnabled = true;
    bool DataUpdateEnabled = true;
    qint32 EditedCount = 0;
    qint32 DeletedCount = 0;
    qint32 AddedCount = 0;
    bool InstallerReady = false;
    QString DetailsText;
    QString DetailsUrl;
    QString InstallerPath;
    qint32 DialogResult = 0;
    QString NewVersion;
    QString DownloadLink;
    QString AboutText;
    QString AboutUrl;
    QString StatusText;
};

// The status texts of a run.
namespace updatestatus {
inline QString starting() { return QStringLiteral("Запуск обновления..."); }
inline QString noDatabase() { return QStringLiteral("Не удается открыть базу данных"); }
inline QString checkingData() { return QStringLiteral("Проверка обновления данных..."); }
inline QString loadingData() { return QStringLiteral("Подождите, загружаются данные..."); }
inline QString installingProgram() { return QStringLiteral("Установка обновления программы..."); }
inline QString indexingTexts(int done, int total)
{
    return QStringLiteral("Индексация описаний: %1 из %2...").arg(done).arg(total);
}
} // namespace updatestatus

// How the run reaches the world around it. The defaults are the headless behaviour.
class UpdateHost
{
public:
    virtual ~UpdateHost();

    // Synchronised operations: they return only when the display has been brought up to date.
    virtual void ReportStatus(const UpdateFields &fields) = 0;
    virtual void HideStatus() = 0;
    virtual void AskProgramUpdate(UpdateFields &fields);
    virtual void ShowDataDetails(UpdateFields &fields);
    // Tells the user the program update was not installed; the program goes on running.
    virtual void ShowInstallFailure(const QString &text);

    // The notification-area icon; only a windowed host has one.
    virtual void createTrayIcon() {}
    virtual void hideTrayIcon() {}
    virtual void freeTrayIcon() {}

    // Posted to the main window, not waited for.
    virtual void postClose() {}
    virtual void postDataReload() {}
    // The run changed structured data and did not post a data reload.
    virtual void postStructuredDataChanged() {}

    // Asked afresh wherever it matters.
    virtual bool isUpdateOnly() const { return false; }
    // Whether the run builds a missing full-text index after the synchronisation.
    virtual bool indexesTexts() const { return true; }
    // The stop request, honoured before each page and before the program check.
    virtual bool stopRequested() const { return false; }
    // The pause after a failed open; a windowed host ends it early on a stop request.
    virtual void sleepMs(int milliseconds);

    // The database file the run opens: by default the location rule's choice.
    virtual QString databaseFile();
    // Called once the stored settings have been read, before anything is requested.
    virtual void adjustSettings(UpdateFields &fields);
    // One request of the update server; by default ServerRequest.
    virtual int request(QStringList &parameters, QString &answer, QString &errorText, const QString &serverAddress);
    // The program update step; by default it returns at once.
    virtual void CheckProgramUpdate(UpdateRun &run);
    // Installs a downloaded update and waits for the outcome, giving the wait up on a stop
    // request (the install then goes on without the program).
    virtual InstallOutcome startInstaller(const QString &installerPath);
};

// Figures of the synchronisation, beyond the worker's counters; for the tool and the benchmark.
struct SyncStats
{
    int requests = 0;
    int failedRequests = 0;   // non-zero result codes
    int unreadableAnswers = 0; // DATA markup that did not parse
    int pages = 0;            // pages with rows
    int incompletePages = 0;  // pages stopped short by a database error
    int cutOffTables = 0;     // tables whose pages stopped moving the position forward
    QStringList oversizedTables; // tables whose next page was over the body cap and refused
    qint64 rowsApplied = 0;
    qint64 rowsSkipped = 0;

    // What the committed pages changed in each counted table, by its place in the order.
    struct Changes
    {
        qint32 added = 0;
        qint32 edited = 0;
        qint32 deleted = 0;
    };
    Changes counted[5];
    int tablesRead = 0; // tables of the nine whose pages were read to the end

    // The structured tables (after the nine). A FAIL answer for one means the server does not
    // offer it: no failure, the rows received earlier stay.
    int structuredTablesRead = 0;
    int structuredNotOffered = 0;
    qint64 structuredChanges = 0; // committed rows added, changed or deleted
    // Whether the run changed structured data: the window re-reads it quietly when the run
    // changed nothing else (a run that reloads the lists reloads it with them).
    bool structuredChanged() const { return structuredChanges > 0; }
    // Why the first table that stopped short did.
    enum class Failure { None, NoAnswer, Unrecognised, ServerError, Database, Stalled, Stopped };
    Failure failure = Failure::None;
    int failureCode = 0; // the err_code of a FAIL answer
};

class UpdateRun final
{
public:
    enum class Ending {
        Nothing,          // the run finished with nothing to show
        DetailsShown,     // rows changed and the details window was shown, reload requested
        InstallerStarted, // the update was installed (or left installing); the program asked to close
        InstallFailed,    // not installed: the user was told and the program goes on
        NoDatabase,       // the database could not be opened
        Error             // a step raised an error; the remaining steps were skipped
    };

    explicit UpdateRun(UpdateHost &host);
    ~UpdateRun();
    UpdateRun(const UpdateRun &) = delete;
    UpdateRun &operator=(const UpdateRun &) = delete;

    // The whole run in order; clean-up always runs. Never throws.
    Ending Execute();

    UpdateFields fields;
    SyncStats stats;

    UpdateHost &host() { return m_host; }
    // The worker's own connection; open from the settings step until the clean-up.
    Database &connection() { return *m_db; }
    // Sets StatusText and reports it.
    void reportStatus(const QString &text);
    // The error that ended the run, when it ended on one.
    const QString &errorText() const { return m_errorText; }

private:
    // Builds the full-text index when the file lacks it or it cannot be trusted; batch by
    // batch, honouring a stop request between batches.
    void buildTextIndex();

    UpdateHost &m_host;
    Database *m_db = nullptr;
    QString m_errorText;
};
