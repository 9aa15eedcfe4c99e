// bench_sync: the initial synchronisation of an empty database from ramux-server serving the
// large synthetic content over loopback (wall time, rows per second, time spent waiting for the
// server), then the apply side alone: the same answers replayed from memory into a fresh file.
//
//   bench_sync [--content PATH]
// Without --content the synthetic content is written into a temporary folder first.
#include "benchserver.h"

#include "db/schema.h"
#include "db/sqlitedb.h"
#include "update/syncapply.h"
#include "update/synctables.h"
#include "update/updaterun.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <vector>

namespace {

struct Recorded
{
    QString table;
    QString answer;
};

class BenchHost final : public UpdateHost
{
public:
    QString path;
    QString server;
    std::vector<Recorded> answers;
    qint64 requestNs = 0;
    qint64 structuredRequestNs = 0;
    QElapsedTimer sinceStart;          // started by the caller
    qint64 firstStructuredNs = -1;     // when the run first asked for a structured table
    // The run of a client that asks only for the nine tables: the structured ones are answered
    // here as an older server answers them, without a request.
    bool nineOnly = false;

    // The figure is the data synchronisation; the text index after it is bench_fulltext's.
    bool indexesTexts() const override { return false; }

    void ReportStatus(const UpdateFields &) override {}
    void HideStatus() override {}
    QString databaseFile() override { return path; }
    void adjustSettings(UpdateFields &fields) override
    {
        fields.ServerAddress = server;
        fields.DataUpdateEnabled = true;
        fields.ProgramUpdateEnabled = false;
    }
    int request(QStringList &parameters, QString &answer, QString &errorText, const QString &address) override
    {
        QString table;
        for (const QString &line : parameters)
            if (line.startsWith(QLatin1String("table=")))
                table = line.mid(6);
        const bool structured = schema::isStructuredTable(table);
        if (nineOnly && structured) {
            answer.clear();
            errorText = QStringLiteral("not offered");
            return 2;
        }
        if (structured && firstStructuredNs < 0 && sinceStart.isValid())
            firstStructuredNs = sinceStart.nsecsElapsed();
        QElapsedTimer timer;
        timer.start();
        const int result = UpdateHost::request(parameters, answer, errorText, address);
        requestNs += timer.nsecsElapsed();
        if (structured)
            structuredRequestNs += timer.nsecsElapsed();
        if (result == 0)
            answers.push_back({table, answer});
        return result;
    }
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    QStringList args = app.arguments().mid(1);
    QString content = dir.filePath(QStringLiteral("content.sqlite"));
    const qsizetype at = args.indexOf(QStringLiteral("--content"));
    if (at >= 0 && at + 1 < args.size())
        content = args.at(at + 1);

    QProcess server;
    const QString address = startContentServer(server, content);
    if (address.isEmpty()) {
        std::fprintf(stderr, "bench_sync: the server did not start\n");
        return 1;
    }

    // 1. The whole run, as the worker does it.
    BenchHost host;
    host.path = dir.filePath(QStringLiteral("client.rxd"));
    host.server = address;
    schema::createDatabaseFile(host.path);
    QElapsedTimer wall;
    wall.start();
    UpdateRun run(host);
    const UpdateRun::Ending ending = run.Execute();
    const double seconds = double(wall.nsecsElapsed()) / 1e9;
    const SyncStats &s = run.stats;
    std::printf("initial sync over loopback: %.2f s wall, %lld rows in %d pages (%d requests, %d failed), "
                "%.0f rows/s;"
                " %.2f s waiting for the server (%.2f s of it for the structured tables); ending %d%s\n",
                seconds, s.rowsApplied, s.pages, s.requests, s.failedRequests,
                double(s.rowsApplied) / seconds, double(host.requestNs) / 1e9,
                double(host.structuredRequestNs) / 1e9, int(ending),
                seconds <= 20.0 ? "" : "  ** over 20 s **");
    stopServer(server);

    // 1b. The nine tables alone, as a client without the structured tables syncs, against the
    // whole run again under the same conditions: each from a server started afresh (no answers
    // cached) on a file the first run has warmed, in turns, the best of three each. The whole run
    // also times its own nine tables (up to its first structured request): the same comparison
    // within one run, where the machine cannot change between the two parts.
    struct Timed
    {
        double seconds = -1;
        double nineSeconds = 0; // the whole run's own nine tables
    };
    const auto timedRun = [&](bool nineOnly, const QString &name) -> Timed {
        Timed timed;
        const QString address = startContentServer(server, content);
        if (address.isEmpty())
            return timed;
        BenchHost client;
        client.nineOnly = nineOnly;
        client.path = dir.filePath(name);
        client.server = address;
        QFile::remove(client.path);
        schema::createDatabaseFile(client.path);
        client.sinceStart.start();
        UpdateRun run(client);
        run.Execute();
        timed.seconds = double(client.sinceStart.nsecsElapsed()) / 1e9;
        timed.nineSeconds = client.firstStructuredNs > 0 ? double(client.firstStructuredNs) / 1e9 : timed.seconds;
        stopServer(server);
        return timed;
    };
    double nineSeconds = 0, wholeSeconds = 0, withinRun = 0;
    for (int round = 0; round < 3; ++round) {
        const Timed nine = timedRun(true, QStringLiteral("nine.rxd"));
        const Timed whole = timedRun(false, QStringLiteral("whole.rxd"));
        if (nine.seconds < 0 || whole.seconds < 0) {
            std::fprintf(stderr, "bench_sync: the server did not start again\n");
            return 1;
        }
        const double within = (whole.seconds / whole.nineSeconds - 1) * 100;
        nineSeconds = round == 0 ? nine.seconds : std::min(nineSeconds, nine.seconds);
        wholeSeconds = round == 0 ? whole.seconds : std::min(wholeSeconds, whole.seconds);
        withinRun = round == 0 ? within : std::min(withinRun, within);
    }
    const double extra = nineSeconds > 0 ? (wholeSeconds / nineSeconds - 1) * 100 : 0;
    std::printf("structured tables: nine tables alone %.2f s, with the structured tables %.2f s: +%.1f %%%s"
                " (within one run: +%.1f %%)\n",
                nineSeconds, wholeSeconds, extra, extra <= 20.0 ? "" : "  ** over 20 % **", withinRun);

    // 2. The apply side alone: parse and apply the recorded answers into a fresh file.
    const QString replay = dir.filePath(QStringLiteral("replay.rxd"));
    schema::createDatabaseFile(replay);
    Database db;
    db.open(replay, schema::databasePassword());
    db.exec(QStringLiteral("PRAGMA synchronous=NORMAL")); // as the worker's connection
    qint64 parseNs = 0, applyNs = 0, rows = 0, structuredNs = 0, structuredRows = 0;
    qint64 bytes = 0, structuredBytes = 0, structuredParseNs = 0;
    std::unique_ptr<TableSync> sync;
    for (const Recorded &page : host.answers) {
        QElapsedTimer timer;
        timer.start();
        const std::optional<SyncPageText> table = readSyncPage(page.answer);
        parseNs += timer.nsecsElapsed();
        const bool structured = schema::isStructuredTable(page.table);
        bytes += page.answer.size();
        if (structured) {
            structuredBytes += page.answer.size();
            structuredParseNs += timer.nsecsElapsed();
        }
        if (!table || table->nodes == 0)
            continue;
        timer.restart();
        if (!sync || sync->table() != page.table)
            sync = std::make_unique<TableSync>(db, page.table, schema::dataTables().indexOf(page.table) < 5);
        const PageOutcome outcome = sync->applyPage(*table);
        applyNs += timer.nsecsElapsed();
        rows += outcome.applied;
        if (structured) {
            structuredNs += timer.nsecsElapsed();
            structuredRows += outcome.applied;
        }
    }
    const double parseS = double(parseNs) / 1e9, applyS = double(applyNs) / 1e9;
    std::printf("apply side alone: %lld rows; reading the pages %.2f s, apply %.2f s; %.0f rows/s applied, %.0f "
                "rows/s with parsing%s\n",
                rows, parseS, applyS, double(rows) / applyS, double(rows) / (parseS + applyS),
                double(rows) / (parseS + applyS) >= 10000 ? "" : "  ** under 10,000 rows/s **");
    std::printf("apply side, structured tables: %lld rows in %.2f s of the %.2f s applying, %.2f s of the %.2f s "
                "parsing; %.0f%% of the answers' characters\n",
                structuredRows, double(structuredNs) / 1e9, applyS, double(structuredParseNs) / 1e9, parseS,
                bytes ? 100.0 * double(structuredBytes) / double(bytes) : 0.0);
    return ending == UpdateRun::Ending::Error ? 1 : 0;
}
