// bench_reader: the web reader of ramux-server on the large synthetic content, with its text
// index. One client, one request at a time: product pages (200 random products) and results pages
// (text queries of one to three words), medians as the client sees them on loopback, so an upper
// bound of the time at the server; product pages on one kept-alive connection, as a browser
// asks for them. Then 64 clients reading random product pages, one fresh
// connection per page, straight at the server and through nginx (the shipped configuration,
// every product page cached first): pages/s and p99 of each.
//
//   bench_reader [--content PATH] [--seconds 4]
// Without --content it writes the large synthetic content and its index first.
#include "nginxfront.h"

#include "content/contentdb.h"
#include "content/contentindex.h"
#include "content/synth.h"
#include "db/sqlitedb.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <random>
#include <thread>

namespace {

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5))];
}

// Milliseconds of one GET on a fresh connection; negative when it failed or was not a 200.
double get(const std::string &host, int port, const std::string &path)
{
    QElapsedTimer t;
    t.start();
    httplib::Client client(host, port);
    client.set_connection_timeout(5);
    client.set_read_timeout(30);
    client.set_url_encode(false); // as asked: a "+" in a query is a space
    const auto answer = client.Get(path);
    const double ms = double(t.nsecsElapsed()) / 1e6;
    return answer && answer->status == 200 && !answer->body.empty() ? ms : -1;
}

std::string urlPath(const QString &text)
{
    return QUrl(text).toString(QUrl::FullyEncoded).toStdString();
}

struct Load
{
    double pagesPerSecond = 0;
    double p99 = 0;
    int failures = 0;
};

Load readRandomPages(const QUrl &base, const std::vector<qint64> &ids, int clients, int seconds)
{
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::vector<double> all;
    int failures = 0;
    QElapsedTimer wall;
    wall.start();
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&, c] {
            std::mt19937 random(unsigned(c + 1));
            std::vector<double> mine;
            int failed = 0;
            while (!stop) {
                const qint64 id = ids[random() % ids.size()];
                const double ms = get(base.host().toStdString(), base.port(), "/item/" + std::to_string(id));
                if (ms < 0)
                    ++failed;
                else
                    mine.push_back(ms);
            }
            std::lock_guard<std::mutex> lock(mutex);
            all.insert(all.end(), mine.begin(), mine.end());
            failures += failed;
        });
    }
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    stop = true;
    for (std::thread &t : threads)
        t.join();
    Load load;
    load.pagesPerSecond = double(all.size()) / (double(wall.nsecsElapsed()) / 1e9);
    load.p99 = percentile(all, 0.99);
    load.failures = failures;
    return load;
}

void warmEveryPage(const QUrl &base, const std::vector<qint64> &ids)
{
    std::vector<std::thread> threads;
    for (int c = 0; c < 8; ++c) {
        threads.emplace_back([&, c] {
            for (size_t i = size_t(c); i < ids.size(); i += 8)
                get(base.host().toStdString(), base.port(), "/item/" + std::to_string(ids[i]));
        });
    }
    for (std::thread &t : threads)
        t.join();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    QString content;
    int seconds = 4;
    for (int i = 0; i + 1 < args.size(); i += 2) {
        if (args.at(i) == QLatin1String("--content"))
            content = args.at(i + 1);
        else if (args.at(i) == QLatin1String("--seconds"))
            seconds = std::clamp(args.at(i + 1).toInt(), 1, 120);
    }
    QTemporaryDir dir;
    if (content.isEmpty()) {
        content = dir.filePath(QStringLiteral("content.sqlite"));
        ContentDatabase::create(content, generateSynthetic());
    }
    {
        // The reader searches the texts only with the index; an older file gets one here.
        QElapsedTimer t;
        t.start();
        const int indexed = contentindex::buildIndex(content);
        if (indexed > 0)
            std::printf("reader: text index of %d products built in %.1f s\n", indexed,
                        double(t.elapsed()) / 1000);
    }
    std::vector<qint64> ids;
    {
        Database db;
        db.open(content, QByteArray());
        Statement st = db.prepare(QStringLiteral("SELECT id FROM items WHERE id IS NOT NULL ORDER BY id"));
        while (st.step())
            ids.push_back(st.int64(0));
    }
    if (ids.empty()) {
        std::fprintf(stderr, "bench_reader: the content has no products\n");
        return 1;
    }

    QProcess server;
    server.start(QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/ramux-server"),
                 {QStringLiteral("--content"), content, QStringLiteral("--reader"), QStringLiteral("--port"),
                  QStringLiteral("0"), QStringLiteral("--quiet"), QStringLiteral("--max-age"),
                  QStringLiteral("3600")});
    QUrl base;
    const QRegularExpression listening(QStringLiteral("listening on (http://\\S+)/api\\.php"));
    QByteArray said;
    for (int i = 0; i < 600 && base.isEmpty() && server.state() != QProcess::NotRunning; ++i) {
        server.waitForReadyRead(100);
        said += server.readAllStandardError();
        const auto match = listening.match(QString::fromUtf8(said));
        if (match.hasMatch())
            base = QUrl(match.captured(1));
    }
    if (base.isEmpty()) {
        std::fprintf(stderr, "bench_reader: ramux-server did not start: %s\n", said.constData());
        return 1;
    }
    const std::string host = base.host().toStdString();
    const int port = base.port();
    int result = 0;

    // 1. One request at a time.
    {
        std::mt19937 random(7);
        std::vector<double> pages;
        int failed = 0;
        for (int i = 0; i < 200; ++i) {
            const double ms = get(host, port, "/item/" + std::to_string(ids[random() % ids.size()]));
            ms < 0 ? ++failed : (pages.push_back(ms), 0);
        }
        std::printf("reader: product page, one client: median %.2f ms, p95 %.2f ms (%zu pages, %d failed)\n",
                    percentile(pages, 0.5), percentile(pages, 0.95), pages.size(), failed);
        result |= failed ? 1 : 0;
        double worst = 0;
        for (const QString &q : {QStringLiteral("гельминтов"), QStringLiteral("острого мастита"),
                                 QStringLiteral("внутримышечно крупного скота"), QStringLiteral("30 дней"),
                                 QStringLiteral("кошек"), QStringLiteral("альбен")}) {
            const std::string path =
                urlPath(QStringLiteral("/search?q=") +
                        QString::fromUtf8(QUrl::toPercentEncoding(q)).replace(QStringLiteral("%20"), QStringLiteral("+")));
            std::vector<double> runs;
            get(host, port, path); // the first asks the index from the file
            for (int i = 0; i < 11; ++i) {
                const double ms = get(host, port, path);
                ms < 0 ? ++failed : (runs.push_back(ms), 0);
            }
            const double median = percentile(runs, 0.5);
            worst = std::max(worst, median);
            std::printf("reader: results page \"%s\": median %.2f ms\n", q.toUtf8().constData(), median);
        }
        std::printf("reader: results page, worst median: %.2f ms\n", worst);
        result |= failed ? 1 : 0;

        // A browser keeps its connection: every page after the first comes on the same one.
        httplib::Client kept(host, port);
        kept.set_keep_alive(true);
        kept.set_read_timeout(30);
        std::vector<double> keptPages;
        for (int i = 0; i < 100; ++i) {
            QElapsedTimer t;
            t.start();
            const auto answer = kept.Get("/item/" + std::to_string(ids[random() % ids.size()]));
            answer && answer->status == 200 ? keptPages.push_back(double(t.nsecsElapsed()) / 1e6) : void(++failed);
        }
        std::printf("reader: product page on one kept-alive connection: median %.2f ms, p95 %.2f ms%s\n",
                    percentile(keptPages, 0.5), percentile(keptPages, 0.95),
                    percentile(keptPages, 0.5) < 20 ? "" : "  ** a stall on kept-alive connections **");
        result |= failed ? 1 : 0;
    }

    // 2. 64 clients, straight and through nginx.
    if (NginxFront::program().isEmpty()) {
        std::printf("reader: nginx is not installed; the load through it is not measured\n");
    } else {
        NginxFront nginx(QStringLiteral(RAMUX_SOURCE_TREE), dir.filePath(QStringLiteral("nginx")),
                         {base.authority()}, QStringLiteral("auto"));
        if (!nginx.error().isEmpty()) {
            std::fprintf(stderr, "bench_reader: %s\n", qPrintable(nginx.error()));
            result = 1;
        } else {
            const QUrl front = QUrl(nginx.address()).adjusted(QUrl::RemovePath);
            warmEveryPage(front, ids); // every product page once: the cache is warm, as for the api
            const Load direct = readRandomPages(base, ids, 64, seconds);
            const Load cached = readRandomPages(front, ids, 64, seconds);
            std::printf("reader: 64 clients, direct: %.0f pages/s, p99 %.2f ms, %d failed\n",
                        direct.pagesPerSecond, direct.p99, direct.failures);
            std::printf("reader: 64 clients, through nginx: %.0f pages/s, p99 %.2f ms, %d failed\n",
                        cached.pagesPerSecond, cached.p99, cached.failures);
            std::printf("reader: nginx/direct pages/s at 64 clients %.2fx\n",
                        direct.pagesPerSecond > 0 ? cached.pagesPerSecond / direct.pagesPerSecond : 0);
        }
    }
    server.terminate();
    server.waitForFinished(5000);
    return result;
}
