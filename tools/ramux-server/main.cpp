// ramux-server: the reference update server (answers get_splash, get_table, check_update).
#include "contentserver.h"
#include "readerroutes.h"
#include "readersite.h"
#include "serverapi.h"

#include "content/contentdb.h"
#include "content/contentindex.h"
#include "content/sourcereader.h"
#include "text/ramuxerror.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>

#include <csignal>
#include <cstdio>
#include <malloc.h>
#include <memory>
#include <optional>
#include <pthread.h>
#include <thread>

namespace {

const char *const kUsage =
    "usage: ramux-server (--demo | --content PATH) [options]\n"
    "  --demo                 serve the demo reference (built from the demo sources at start)\n"
    "  --content PATH         serve a content database (ramuxctl synth --content PATH makes a large one)\n"
    "  --port N               listening port (8642)\n"
    "  --bind ADDRESS         listening address (127.0.0.1)\n"
    "  --public-url URL       address clients reach this server at (http or https, maybe behind a\n"
    "                         proxy or cache); the download link of --offer-file starts with it\n"
    "                         (default: the listening address)\n"
    "  --threads N            requests served at once (16); up to four times as many connections\n"
    "                         (at least 64) are read at once, each holding no serving thread\n"
    "  --cache-mb N           memory for rendered get_table answers (256; 0 turns the cache off)\n"
    "  --offer-version V      program version offered by check_update\n"
    "  --offer-link URL       download address of the offered installer\n"
    "  --offer-file PATH      serve this installer under /download/<name>; sets the link and its SHA-256\n"
    "  --offer-about TEXT     description of the offered version\n"
    "  --offer-about-url URL  page about the offered version\n"
    "  --details-text TEXT    update_details_text of the items table\n"
    "  --details-url URL      update_details_url of the items table\n"
    "  --quiet                no request log\n"
    "  --max-age N            seconds an HTTP cache may keep an answer (60)\n"
    "  --read-timeout N       longest pause in seconds within a request, and longest wait for the\n"
    "                         next request on a kept-alive connection (1; that wait at most 2)\n"
    "  --request-timeout N    seconds a request may take from its first byte to its last (5);\n"
    "                         then the connection is closed, however slowly bytes still come\n"
    "  --write-timeout N      seconds a client may take no byte of its answer (10); then the\n"
    "                         connection is closed (a slow link that keeps reading goes on)\n"
    "  --reader               serve the reference as web pages under / (on with --demo)\n"
    "  --no-reader            no web pages, only the api (the default with --content)\n"
    "A request's line and headers are at most 16 KiB and 100 header lines (431 and the connection\n"
    "closed otherwise). Answers are never compressed, whatever a client asks for.\n"
    "A GET or HEAD with a body is answered 400 and the connection closed. Range is served on\n"
    "/download/ only, one range at most. When every reading thread is taken, idle kept-alive\n"
    "connections are closed first. A public update service runs behind nginx (see\n"
    "tools/ramux-server/README.md): this server gives each connection being read a thread.\n";

void print(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    std::fwrite(utf8.constData(), 1, size_t(utf8.size()), stderr);
}

QString takeValue(QStringList &args, int at)
{
    if (at + 1 >= args.size())
        throw RamuxError(QStringLiteral("%1 needs a value").arg(args.at(at)));
    return args.at(at + 1);
}

int takeNumber(const QString &name, const QString &text, int low, int high)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < low || value > high)
        throw RamuxError(
            QStringLiteral("%1: %2 is not a number from %3 to %4").arg(name, text).arg(low).arg(high));
    return value;
}

// The address clients reach the server at: http or https, a host, maybe a path; no query,
// fragment or user information. Without the trailing slash, so paths can be appended.
QString takePublicUrl(const QString &text)
{
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")) ||
        url.host().isEmpty() || url.hasQuery() || url.hasFragment() || !url.userInfo().isEmpty())
        throw RamuxError(
            QStringLiteral("--public-url: %1 is not an http or https address without query").arg(text));
    QString out = url.toString(QUrl::FullyEncoded);
    while (out.endsWith(QLatin1Char('/')))
        out.chop(1);
    return out;
}

bool isWildcard(const QString &address)
{
    return address.isEmpty() || address == QLatin1String("0.0.0.0") || address == QLatin1String("::") ||
           address == QLatin1String("[::]");
}

int serve(QStringList args)
{
    ServerOptions options;
    ServerOffer offer;
    bool demo = false;
    std::optional<bool> reader;
    int cacheMb = int(ServerApi::kDefaultCacheBytes / (1024 * 1024));
    QString content, offerFile, publicUrl;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args.at(i);
        auto value = [&] { return takeValue(args, i++); };
        if (a == QLatin1String("--demo"))
            demo = true;
        else if (a == QLatin1String("--content"))
            content = value();
        else if (a == QLatin1String("--port"))
            options.port = takeNumber(a, value(), 0, 65535);
        else if (a == QLatin1String("--bind"))
            options.bind = value();
        else if (a == QLatin1String("--public-url"))
            publicUrl = takePublicUrl(value());
        else if (a == QLatin1String("--threads"))
            options.threads = takeNumber(a, value(), 1, 256);
        else if (a == QLatin1String("--cache-mb"))
            cacheMb = takeNumber(a, value(), 0, 65536);
        else if (a == QLatin1String("--offer-version"))
            offer.version = value();
        else if (a == QLatin1String("--offer-link"))
            offer.downloadLink = value();
        else if (a == QLatin1String("--offer-file"))
            offerFile = value();
        else if (a == QLatin1String("--offer-about"))
            offer.about = value();
        else if (a == QLatin1String("--offer-about-url"))
            offer.aboutUrl = value();
        else if (a == QLatin1String("--details-text"))
            offer.detailsText = value();
        else if (a == QLatin1String("--details-url"))
            offer.detailsUrl = value();
        else if (a == QLatin1String("--reader"))
            reader = true;
        else if (a == QLatin1String("--no-reader"))
            reader = false;
        else if (a == QLatin1String("--quiet"))
            options.log = false;
        else if (a == QLatin1String("--max-age"))
            options.maxAgeSeconds = takeNumber(a, value(), 0, 31536000);
        else if (a == QLatin1String("--read-timeout"))
            options.readTimeoutSeconds = takeNumber(a, value(), 1, 600);
        else if (a == QLatin1String("--write-timeout"))
            options.writeTimeoutSeconds = takeNumber(a, value(), 1, 600);
        else if (a == QLatin1String("--request-timeout"))
            options.requestTimeoutMs = 1000 * takeNumber(a, value(), 1, 600);
        else {
            std::fputs(kUsage, stderr);
            return a == QLatin1String("--help") ? 0 : 2;
        }
    }
    if (demo == !content.isEmpty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    QTemporaryDir scratch;
    if (demo) {
        if (!scratch.isValid())
            throw RamuxError(QStringLiteral("Не удается создать временную папку"));
        const QString dir = demoContentDir();
        content = scratch.filePath(QStringLiteral("demo-content.sqlite"));
        ContentDatabase::create(content, loadDemoContent(dir));
        contentindex::preparePublished(content);
        print(QStringLiteral("ramux-server: demo content from %1\n").arg(dir));
    }

    if (!offerFile.isEmpty()) {
        QFile file(offerFile);
        if (!file.open(QIODevice::ReadOnly))
            throw RamuxError(QStringLiteral("Не удается открыть %1").arg(offerFile));
        options.downloadName = QFileInfo(offerFile).fileName();
        static const QRegularExpression safe(QStringLiteral("^[A-Za-z0-9._-]+$"));
        if (!safe.match(options.downloadName).hasMatch())
            throw RamuxError(
                QStringLiteral("Имя файла для загрузки: только латинские буквы, цифры, '.', '_' и '-'"));
        options.downloadBytes = file.readAll();
        offer.downloadSha256 = QString::fromLatin1(
            QCryptographicHash::hash(options.downloadBytes, QCryptographicHash::Sha256).toHex());
    }

    ServerApi api(content, offer, size_t(cacheMb) * 1024 * 1024);
    ContentServer listener(api, options);
    std::unique_ptr<ReaderSite> site;
    if (reader.value_or(demo)) {
        ReaderOptions readerOptions;
        readerOptions.demo = demo;
        site = std::make_unique<ReaderSite>(content, readerOptions);
        registerReaderRoutes(listener.http(), *site, options.maxAgeSeconds);
    }
    listener.bind();
    if (publicUrl.isEmpty() && isWildcard(options.bind))
        print(QStringLiteral("ramux-server: warning: listening on every address (%1) without --public-url: "
                             "the advertised download link names %2, which other machines do not reach\n")
                  .arg(options.bind, listener.baseUrl()));
    if (!options.downloadName.isEmpty() && !offer.downloadLink) {
        // The link to the served installer names the port, known only once bound.
        offer.downloadLink = (publicUrl.isEmpty() ? listener.baseUrl() : publicUrl) +
                             QStringLiteral("/download/") + options.downloadName;
        api.setOffer(offer);
    }
    ContentServer *server = &listener;

    // SIGINT and SIGTERM end the serving loop so the demo's temporary files are removed.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::thread watcher([&stopSignals, server] {
        int received = 0;
        sigwait(&stopSignals, &received);
        server->stop();
    });
    print(QStringLiteral("ramux-server: listening on %1/api.php\n").arg(server->baseUrl()));
    if (site)
        print(QStringLiteral("ramux-server: web reader on %1/\n").arg(server->baseUrl()));
    server->run();
    // The loop can also end by itself (socket error): wake the watcher so the thread can be joined.
    pthread_kill(watcher.native_handle(), SIGTERM);
    watcher.join();
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    // Pages of table rows are megabyte buffers made and freed on every request. Served from the
    // heap they reuse memory already mapped; as fresh mappings each one pays its page faults again.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 512 * 1024 * 1024);
    QCoreApplication app(argc, argv);
    try {
        return serve(app.arguments().mid(1));
    } catch (const std::exception &e) {
        std::fprintf(stderr, "ramux-server: %s\n", e.what());
        return 1;
    }
}
