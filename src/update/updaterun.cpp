#include "update/updaterun.h"

#include "db/location.h"
#include "db/options.h"
#include "db/sqlitedb.h"
#include "search/textindex.h"
#include "update/installer.h"
#include "update/runrecord.h"
#include "update/serverrequest.h"
#include "update/synctables.h"

#include <QLoggingCategory>
#include <QThread>

Q_LOGGING_CATEGORY(lcUpdateRun, "ramux.update")

UpdateHost::~UpdateHost() = default;

void UpdateHost::AskProgramUpdate(UpdateFields &) {}

void UpdateHost::ShowDataDetails(UpdateFields &) {}

void UpdateHost::ShowInstallFailure(const QString &text)
{
    qCWarning(lcUpdateRun).noquote() << text;
}

void UpdateHost::sleepMs(int milliseconds)
{
    QThread::msleep(static_cast<unsigned long>(qMax(0, milliseconds)));
}

QString UpdateHost::databaseFile()
{
    return LocateDatabaseFile();
}

void UpdateHost::adjustSettings(UpdateFields &) {}

int UpdateHost::request(QStringList &parameters, QString &answer, QString &errorText, const QString &serverAddress)
{
    return ServerRequest(parameters, answer, errorText, serverAddress);
}

void UpdateHost::CheckProgramUpdate(UpdateRun &) {}

InstallOutcome UpdateHost::startInstaller(const QString &installerPath)
{
    return StartInstallerElevated(installerPath, [this] { return stopRequested(); });
}

UpdateRun::UpdateRun(UpdateHost &host) : m_host(host) {}

UpdateRun::~UpdateRun()
{
    delete m_db;
}

void UpdateRun::reportStatus(const QString &text)
{
    fields.StatusText = text;
    m_host.ReportStatus(fields);
}

void UpdateRun::buildTextIndex()
{
    // A reference without products gets its (empty) index without a word in the status line.
    bool shown = false;
    try {
        if (!textindex::needsBuild(*m_db))
            return;
        textindex::build(
            *m_db,
            [this, &shown](int done, int total) {
                if (total == 0)
                    return;
                reportStatus(updatestatus::indexingTexts(done, total));
                shown = true;
            },
            [this] { return m_host.stopRequested(); });
    } catch (const std::exception &e) {
        // What was committed stays; the next run goes on from there.
        qCWarning(lcUpdateRun).noquote() << "text index not finished:" << QString::fromUtf8(e.what());
    }
    if (shown)
        m_host.HideStatus();
}

UpdateRun::Ending UpdateRun::Execute()
{
    Ending ending = Ending::Nothing;
    try {
        m_host.createTrayIcon();
        fields.StatusText = updatestatus::starting();
        fields.DetailsText.clear();
        fields.DetailsUrl.clear();
        m_host.ReportStatus(fields);

        fields.EditedCount = 0;
        fields.DeletedCount = 0;
        fields.AddedCount = 0;
        fields.InstallerReady = false;

        m_db = new Database;
        const QString connectionString = BuildConnectionString(m_host.databaseFile());
        bool opened = false;
        try {
            m_db->openConnectionString(connectionString);
            opened = true;
        } catch (const std::exception &e) {
            qCWarning(lcUpdateRun).noquote() << "database not opened:" << QString::fromUtf8(e.what());
            m_errorText = QString::fromUtf8(e.what());
        }
        if (!opened) {
            reportStatus(updatestatus::noDatabase());
            m_host.sleepMs(5000);
            ending = Ending::NoDatabase;
        } else {
            // Each page commits with its position, so a lost last commit after a power cut only
            // means that page is fetched again; a sync per commit would buy nothing here.
            m_db->exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
            // The options table must be there; its fields are each read on their own.
            m_db->columns(QStringLiteral("options"));
            const StoredOptions options = LoadWorkerOptions(*m_db);
            fields.ServerAddress = options.updServ;
            fields.ProgramUpdateEnabled = options.progUpd;
            fields.DataUpdateEnabled = options.dataUpd;
            m_host.adjustSettings(fields);

            SyncTablesRecorded(*m_db, fields, m_host, stats);
            if (!m_host.stopRequested() && fields.ProgramUpdateEnabled)
                m_host.CheckProgramUpdate(*this);
            m_host.HideStatus();

            if (fields.InstallerReady) {
                // The program closes only once the new version is in place, so that the next
                // start runs it; a refused or failed install leaves this one running.
                reportStatus(updatestatus::installingProgram());
                const InstallOutcome outcome = m_host.startInstaller(fields.InstallerPath);
                m_host.HideStatus();
                const QString failure = installFailureText(outcome);
                if (failure.isEmpty()) {
                    m_host.hideTrayIcon();
                    m_host.postClose();
                    ending = Ending::InstallerStarted;
                } else {
                    m_host.ShowInstallFailure(failure);
                    ending = Ending::InstallFailed;
                }
            }
            if (ending != Ending::InstallerStarted
                && fields.EditedCount + fields.DeletedCount + fields.AddedCount > 0
                && !fields.DetailsUrl.isEmpty()) {
                m_host.ShowDataDetails(fields);
                m_host.postDataReload();
                ending = Ending::DetailsShown;
            }
            if (ending == Ending::Nothing && stats.structuredChanged())
                m_host.postStructuredDataChanged();
        }
    } catch (const std::exception &e) {
        m_errorText = QString::fromUtf8(e.what());
        if (const auto *ramux = dynamic_cast<const RamuxError *>(&e))
            m_errorText = ramux->message();
        qCWarning(lcUpdateRun).noquote() << "update run ended:" << m_errorText;
        ending = Ending::Error;
    }

    // The text index comes last: the data and the program update go first, and a run that is
    // closing the program leaves it for the next start.
    if (m_db && m_db->isOpen() && ending != Ending::InstallerStarted && m_host.indexesTexts()
        && !m_host.stopRequested())
        buildTextIndex();

    // Clean-up, whichever way the run went.
    delete m_db;
    m_db = nullptr;
    m_host.hideTrayIcon();
    m_host.HideStatus();
    m_host.freeTrayIcon();
    if (m_host.isUpdateOnly())
        m_host.postClose();
    return ending;
}
