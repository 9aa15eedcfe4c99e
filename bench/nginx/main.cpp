// bench_nginx: the same sync-shaped load (bench_server) against one ramux-server directly and
// through nginx (tools/ramux-server/nginx, cache warmed first) in front of that server, at 8 and
// 64 clients; prints each run and the nginx/direct ratio of pages per second at 64 clients.
//
//   bench_nginx [--content PATH] [--seconds 4]
// Without --content it writes the large synthetic content first.
#include "nginxfront.h"

#include "content/contentdb.h"
#include "content/synth.h"

#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>

#include <cstdio>

namespace {

// Runs bench_server against a URL; returns its line, and the pages/s it measured.
QString load(const QString &url, int clients, int seconds, double *pagesPerSecond)
{
    QProcess bench;
    bench.start(QCoreApplication::applicationDirPath() + QStringLiteral("/bench_server"),
                {QStringLiteral("--url"), url, QStringLiteral("--clients"), QString::number(clients), QStringLiteral("--seconds"),
                 QString::number(seconds), QStringLiteral("--requests"), QStringLiteral("1000000")});
    bench.waitForFinished(600000);
    const QString out = QString::fromUtf8(bench.readAllStandardOutput()).trimmed();
    static const QRegularExpression rate(QStringLiteral("= ([0-9.]+) pages/s"));
    const auto match = rate.match(out);
    if (pagesPerSecond)
        *pagesPerSecond = match.hasMatch() ? match.captured(1).toDouble() : 0;
    return out.isEmpty() ? QString::fromUtf8(bench.readAllStandardError()).trimmed() : out;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QString content;
    int seconds = 4;
    for (int i = 0; i + 1 < args.size(); i += 2) {
        if (args.at(i) == QLatin1String("--content"))
            content = args.at(i + 1);
        else if (args.at(i) == QLatin1String("--seconds"))
            seconds = std::clamp(args.at(i + 1).toInt(), 1, 120);
    }
    if (NginxFront::program().isEmpty()) {
        std::fprintf(stderr, "bench_nginx: nginx is not installed\n");
        return 1;
    }
    QTemporaryDir dir;
    if (content.isEmpty()) {
        content = dir.filePath(QStringLiteral("content.sqlite"));
        ContentDatabase::create(content, generateSynthetic());
    }
    QProcess server;
    server.start(QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/ramux-server"),
                 {QStringLiteral("--content"), content, QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--quiet"),
                  QStringLiteral("--max-age"), QStringLiteral("3600")});
    QString direct;
    const QRegularExpression listening(QStringLiteral("listening on (http://\\S+/api\\.php)"));
    QByteArray said;
    for (int i = 0; i < 300 && direct.isEmpty() && server.state() != QProcess::NotRunning; ++i) {
        server.waitForReadyRead(100);
        said += server.readAllStandardError();
        const auto match = listening.match(QString::fromUtf8(said));
        if (match.hasMatch())
            direct = match.captured(1);
    }
    if (direct.isEmpty()) {
        std::fprintf(stderr, "bench_nginx: ramux-server did not start: %s\n", said.constData());
        return 1;
    }
    int result = 0;
    {
        NginxFront nginx(QStringLiteral(RAMUX_SOURCE_TREE), dir.filePath(QStringLiteral("nginx")), {QUrl(direct).authority()},
                         QStringLiteral("auto"));
        if (!nginx.error().isEmpty()) {
            std::fprintf(stderr, "bench_nginx: %s\n", qPrintable(nginx.error()));
            result = 1;
        } else {
            load(nginx.address(), 8, 2, nullptr); // warms the cache: every page once
            double rates[2][2] = {};
            const int clients[2] = {8, 64};
            for (int c = 0; c < 2; ++c) {
                std::printf("direct %s\n", qPrintable(load(direct, clients[c], seconds, &rates[0][c])));
                std::printf("nginx  %s\n", qPrintable(load(nginx.address(), clients[c], seconds, &rates[1][c])));
            }
            const QMap<QString, int> statuses = nginx.cacheStatuses();
            int total = 0;
            for (int n : statuses)
                total += n;
            std::printf("bench_nginx: nginx/direct pages/s at 8 clients %.2fx, at 64 clients %.2fx; cache hits %d of %d\n",
                        rates[0][0] > 0 ? rates[1][0] / rates[0][0] : 0, rates[0][1] > 0 ? rates[1][1] / rates[0][1] : 0,
                        statuses.value(QStringLiteral("HIT")), total);
        }
    }
    server.terminate();
    server.waitForFinished(5000);
    return result;
}
