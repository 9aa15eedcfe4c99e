// ramuxctl sync [--db PATH] [--server URL]: the worker's synchronisation run, without a window.
#include "command.h"

#include "update/httpclient.h"
#include "update/updaterun.h"

#include <csignal>

namespace {

// The signal that asked for the stop, 0 while none has.
volatile std::sig_atomic_t g_stop = 0;

extern "C" void onStopSignal(int signal)
{
    g_stop = signal;
    // The run stops between pages; a transfer under way would otherwise hold it until the
    // server answers or the 90 s wait runs out.
    stopAllTransfers();
    // A second one ends the program at once; every page is one transaction, so the file
    // survives that as well.
    std::signal(signal, SIG_DFL);
}

class ConsoleHost final : public UpdateHost
{
public:
    ConsoleHost(QString databasePath, QString server) : m_path(std::move(databasePath)), m_server(std::move(server)) {}

    void ReportStatus(const UpdateFields &fields) override
    {
        if (fields.StatusText != m_lastStatus)
            printErr(fields.StatusText + QLatin1Char('\n'));
        m_lastStatus = fields.StatusText;
    }
    void HideStatus() override { m_lastStatus.clear(); }
    bool stopRequested() const override { return g_stop != 0; }
    // No one to wait for: the failure is reported at once.
    void sleepMs(int) override {}
    QString databaseFile() override { return m_path; }
    void adjustSettings(UpdateFields &fields) override
    {
        // Asking for a sync is asking for data: the stored switches and the program check
        // belong to the desktop program.
        if (!m_server.isEmpty())
            fields.ServerAddress = m_server;
        fields.DataUpdateEnabled = true;
        fields.ProgramUpdateEnabled = false;
    }

private:
    QString m_path;
    QString m_server;
    QString m_lastStatus;
};

int syncCommand(CommandContext &ctx)
{
    const QString server = takeOption(ctx.args, QStringLiteral("--server"));
    const QString path = takeDatabasePath(ctx.args);
    if (!ctx.args.isEmpty()) {
        printErr(QStringLiteral("usage: ramuxctl sync [--db PATH] [--server URL]\n"));
        return 2;
    }
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);

    ConsoleHost host(path, server);
    UpdateRun run(host);
    const UpdateRun::Ending ending = run.Execute();
    const SyncStats &s = run.stats;

    printOut(QStringLiteral("edited %1\ndeleted %2\nadded %3\n")
                 .arg(run.fields.EditedCount)
                 .arg(run.fields.DeletedCount)
                 .arg(run.fields.AddedCount));
    printErr(QStringLiteral("requests %1 (failed %2), pages %3 (stopped short %4), rows %5 (skipped %6)\n")
                 .arg(s.requests)
                 .arg(s.failedRequests + s.unreadableAnswers)
                 .arg(s.pages)
                 .arg(s.incompletePages)
                 .arg(s.rowsApplied)
                 .arg(s.rowsSkipped));
    if (ending == UpdateRun::Ending::NoDatabase || ending == UpdateRun::Ending::Error) {
        printErr(QStringLiteral("sync ended on an error: %1\n").arg(run.errorText()));
        return 1;
    }
    if (g_stop) {
        printErr(QStringLiteral("sync stopped: every table holds what its last whole page brought; "
                                "the next sync goes on from there\n"));
        return 128 + int(g_stop);
    }
    for (const QString &table : s.oversizedTables)
        printErr(QStringLiteral("table %1: a page is larger than this program accepts; "
                                "the table stays as it is until the server sends smaller pages\n")
                     .arg(table));
    // The run itself fails silently; a script still needs to know it did not get everything.
    if (s.failedRequests + s.unreadableAnswers + s.incompletePages + s.cutOffTables > 0) {
        printErr(QStringLiteral("sync incomplete: some tables were not brought up to date\n"));
        return 3;
    }
    return 0;
}

} // namespace

RAMUXCTL_COMMAND(sync, "sync", "sync [--db PATH] [--server URL]", syncCommand);
