// bench_server: get_table pages of 200 rows per second and their latency, from ramux-server on
// loopback with concurrent clients paging through the tables as the program's synchronisation
// does (one fresh connection per request, like the client).
//
//   bench_server [--url http://127.0.0.1:PORT/api.php] [--content PATH] [--clients 8]
//                [--requests 4000] [--seconds 30] [--items-only] [--no-cache]
// Without --url it writes the large synthetic content (unless --content names an existing file)
// and starts ramux-server from the build's bin folder on a free port.
#include "content/contentdb.h"
#include "db/schema.h"
#include "content/synth.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <malloc.h>
#include <mutex>
#include <thread>

namespace {

struct Sample
{
    double ms;
    bool items;
};

struct Result
{
    std::vector<Sample> samples;
    int failures = 0;
    double seconds = 0;
};

qint64 newestStamp(const std::string &body)
{
    const size_t at = body.rfind("last_update=\"");
    if (at == std::string::npos)
        return -1;
    return std::strtoll(body.c_str() + at + 13, nullptr, 10);
}

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t at = std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5));
    return v[at];
}

Result run(const std::string &host, int port, const std::string &path, int clients, int maxRequests,
           int maxSeconds, bool itemsOnly)
{
    QStringList tables = schema::dataTables();
    if (itemsOnly)
        tables = {QStringLiteral("items")};
    std::atomic<int> issued{0};
    std::mutex mutex;
    Result result;
    QElapsedTimer wall;
    wall.start();
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&, c] {
            std::vector<Sample> mine;
            int failures = 0;
            // Each client starts at another table so they do not move in lockstep.
            int table = c % int(tables.size());
            qint64 date = 0;
            while (wall.elapsed() < maxSeconds * 1000LL && issued.fetch_add(1) < maxRequests) {
                const std::string target =
                    path + "?table=" + tables.at(table).toStdString() +
                    "&action=get_table&start=0&limit=200&date=" + std::to_string(date) + "&version=1.1";
                httplib::Client client(host, port);
                client.set_read_timeout(30);
                QElapsedTimer timer;
                timer.start();
                const auto res = client.Get(target);
                const double ms = double(timer.nsecsElapsed()) / 1e6;
                if (!res || res->status != 200 || res->body.find("status=\"OK\"") == std::string::npos) {
                    ++failures;
                    continue;
                }
                mine.push_back({ms, tables.at(table) == QLatin1String("items")});
                const qint64 newest = newestStamp(res->body);
                if (newest < 0) { // table done: the next one, from the start
                    table = (table + 1) % int(tables.size());
                    date = 0;
                } else {
                    date = newest;
                }
            }
            std::lock_guard<std::mutex> lock(mutex);
            result.samples.insert(result.samples.end(), mine.begin(), mine.end());
            result.failures += failures;
        });
    }
    for (auto &t : threads)
        t.join();
    result.seconds = double(wall.nsecsElapsed()) / 1e9;
    return result;
}

void report(const char *label, const Result &r, int clients)
{
    std::vector<double> all, items;
    for (const Sample &s : r.samples) {
        all.push_back(s.ms);
        if (s.items)
            items.push_back(s.ms);
    }
    std::printf("bench_server %s: %d clients, %zu pages in %.2f s = %.0f pages/s, p50 %.1f ms, p99 %.1f ms, "
                "max %.1f ms, failures %d",
                label, clients, all.size(), r.seconds, double(all.size()) / r.seconds, percentile(all, 0.5),
                percentile(all, 0.99), percentile(all, 1.0), r.failures);
    if (!items.empty())
        std::printf("; items pages %zu, p99 %.1f ms", items.size(), percentile(items, 0.99));
    std::printf("\n");
    std::fflush(stdout);
}

QString takeOption(QStringList &args, const QString &name, const QString &fallback)
{
    const qsizetype at = args.indexOf(name);
    if (at < 0 || at + 1 >= args.size())
        return fallback;
    const QString value = args.at(at + 1);
    args.remove(at, 2);
    return value;
}

} // namespace

int main(int argc, char *argv[])
{
    // Pages of table rows are megabyte buffers made and freed on every request. Served from the
    // heap they reuse memory already mapped; as fresh mappings each one pays its page faults again.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 512 * 1024 * 1024);
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const QString url = takeOption(args, QStringLiteral("--url"), QString());
    QString content = takeOption(args, QStringLiteral("--content"), QString());
    const int clients =
        std::clamp(takeOption(args, QStringLiteral("--clients"), QStringLiteral("8")).toInt(), 1, 64);
    const int requests = std::clamp(
        takeOption(args, QStringLiteral("--requests"), QStringLiteral("4000")).toInt(), 1, 1000000);
    const int seconds =
        std::clamp(takeOption(args, QStringLiteral("--seconds"), QStringLiteral("30")).toInt(), 1, 600);
    const bool itemsOnly = args.removeAll(QStringLiteral("--items-only")) > 0;
    const bool noCache = args.removeAll(QStringLiteral("--no-cache")) > 0;

    QTemporaryDir scratch;
    QProcess server;
    std::string host = "127.0.0.1", path = "/api.php";
    int port = 0;
    if (!url.isEmpty()) {
        const QUrl u(url);
        // Loopback only: this tool must never load anybody else's server.
        if (u.host() != QLatin1String("127.0.0.1") && u.host() != QLatin1String("localhost")) {
            std::fprintf(stderr, "bench_server: only loopback addresses\n");
            return 2;
        }
        host = u.host().toStdString();
        port = u.port(80);
        path = u.path().toStdString();
    } else {
        if (content.isEmpty() || !QFileInfo::exists(content)) {
            if (content.isEmpty())
                content = scratch.filePath(QStringLiteral("synth-content.sqlite"));
            QElapsedTimer timer;
            timer.start();
            ContentDatabase::create(content, generateSynthetic());
            std::printf("bench_server: synthetic content written in %.1f s\n",
                        double(timer.elapsed()) / 1000.0);
        }
        QString program = qEnvironmentVariable("RAMUX_BIN_DIR");
        program = (program.isEmpty() ? QCoreApplication::applicationDirPath() + QStringLiteral("/../bin")
                                     : program) +
                  QStringLiteral("/ramux-server");
        server.setProcessChannelMode(QProcess::SeparateChannels);
        QStringList serverArgs{QStringLiteral("--content"), content, QStringLiteral("--port"),
                               QStringLiteral("0"), QStringLiteral("--quiet")};
        if (noCache)
            serverArgs << QStringLiteral("--cache-mb") << QStringLiteral("0");
        server.start(program, serverArgs);
        if (!server.waitForStarted(5000)) {
            std::fprintf(stderr, "bench_server: cannot start %s\n", qPrintable(program));
            return 1;
        }
        static const QRegularExpression listening(QStringLiteral("listening on http://[0-9.]+:([0-9]+)/"));
        QByteArray said;
        for (int i = 0; i < 100 && port == 0; ++i) {
            server.waitForReadyRead(100);
            said += server.readAllStandardError();
            const auto m = listening.match(QString::fromUtf8(said));
            if (m.hasMatch())
                port = m.captured(1).toInt();
        }
        if (port == 0) {
            std::fprintf(stderr, "bench_server: the server did not start: %s\n", said.constData());
            server.kill();
            return 1;
        }
    }

    // A short warm-up so the first figures do not include cold caches.
    run(host, port, path, clients, 200, 5, false);
    const Result mixed = run(host, port, path, clients, requests, seconds, itemsOnly);
    report(itemsOnly ? "items" : "sync-mix", mixed, clients);
    if (!itemsOnly) {
        const Result items = run(host, port, path, clients, std::max(1, requests / 4), seconds, true);
        report("items", items, clients);
    }
    if (server.state() != QProcess::NotRunning) {
        server.terminate();
        if (!server.waitForFinished(5000))
            server.kill();
    }
    return mixed.failures == 0 ? 0 : 1;
}
