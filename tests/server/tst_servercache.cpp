// The server behind an HTTP cache: Cache-Control and validators on the real HTTP path, plain
// bodies whatever a client asks for, two servers on one content file following a publish that
// lands while they serve (all of it or none of it in every answer), and the read time-out that
// frees a thread held by half a request.
#include "contentserver.h"
#include "serverapi.h"

#include "content/publish.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

namespace {

struct Reply
{
    int status = 0;
    std::string cacheControl;
    std::string etag;
    QByteArray body;
};

Reply fetch(int port, const std::string &query, const std::string &ifNoneMatch = {})
{
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(10);
    httplib::Headers headers;
    if (!ifNoneMatch.empty())
        headers.emplace("If-None-Match", ifNoneMatch);
    const auto res = client.Get("/api.php?" + query, headers);
    if (!res)
        return {};
    return {res->status, res->get_header_value("Cache-Control"), res->get_header_value("ETag"),
            QByteArray::fromStdString(res->body)};
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

void copyTree(const QString &from, const QString &to)
{
    QDir().mkpath(to);
    for (const QFileInfo &info : QDir(from).entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (info.isDir())
            copyTree(info.filePath(), to + QLatin1Char('/') + info.fileName());
        else
            QFile::copy(info.filePath(), to + QLatin1Char('/') + info.fileName());
    }
}

const std::string kVendors = "action=get_table&table=vendors&date=0&limit=200&start=0";

} // namespace

class TestServerCache : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void okAnswersAreCacheableAndFailAnswersAreNot();
    void answersAreNeverContentEncoded();
    void twoServersOnOneFileFollowAPublishWhole();
    void halfARequestHoldsAThreadOnlyForTheReadTimeout();

private:
    QTemporaryDir m_dir;
    QString m_sources;
    QString m_content;
};

void TestServerCache::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_sources = m_dir.filePath(QStringLiteral("src"));
    copyTree(qEnvironmentVariable("RAMUX_SOURCE_DIR") + QStringLiteral("/tests/content/fixture"), m_sources);
    m_content = m_dir.filePath(QStringLiteral("content.sqlite"));
    QVERIFY(publishSources(m_sources, m_content, {}).errors.isEmpty());
}

void TestServerCache::okAnswersAreCacheableAndFailAnswersAreNot()
{
    ServerApi api(m_content);
    ServerOptions options;
    options.port = 0;
    options.log = false;
    options.maxAgeSeconds = 7;
    ContentServer server(api, options);
    const int port = server.start();

    for (const std::string &query :
         {kVendors, std::string("action=get_splash"), std::string("action=check_update")}) {
        const Reply ok = fetch(port, query);
        QCOMPARE(ok.status, 200);
        QCOMPARE(ok.cacheControl, std::string("public, max-age=7"));
        QVERIFY2(ok.etag.size() > 10 && ok.etag.front() == '"', query.c_str());
        // A cache holding this version revalidates without the body coming again.
        const Reply same = fetch(port, query, ok.etag);
        QCOMPARE(same.status, 304);
        QVERIFY(same.body.isEmpty());
        QCOMPARE(same.etag, ok.etag);
        QCOMPARE(fetch(port, query, "\"other\"").status, 200);
    }
    // Another page of the same table is another answer with its own validator.
    QVERIFY(fetch(port, "action=get_table&table=vendors&date=1&limit=200").etag !=
            fetch(port, kVendors).etag);
    for (const std::string &query : {std::string("action=nope"), std::string("action=get_table&table=users"),
                                     std::string("action=get_table&table=items&limit=0")}) {
        const Reply fail = fetch(port, query);
        QCOMPARE(fail.status, 200);
        QVERIFY(fail.body.contains("status=\"FAIL\""));
        QCOMPARE(fail.cacheControl, std::string("no-store"));
        QVERIFY(fail.etag.empty());
    }
}

void TestServerCache::answersAreNeverContentEncoded()
{
    ServerApi api(m_content);
    ServerOptions options;
    options.port = 0;
    options.log = false;
    ContentServer server(api, options);
    const int port = server.start();

    // A cache keeps one body per validator: a compressed one would reach clients that cannot
    // decode it. Each connection is kept alive, so every request on it is checked, not the first.
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(10);
    client.set_keep_alive(true);
    client.set_decompress(false);
    for (const std::string &query : {kVendors, std::string("action=get_splash")}) {
        const auto plain = client.Get("/api.php?" + query, {{"Accept-Encoding", "identity"}});
        QVERIFY(plain);
        QVERIFY(plain->body.size() > 100);
        for (const char *name : {"Accept-Encoding", "accept-encoding"}) {
            for (const char *asked : {"gzip, deflate, br", "br", "gzip;q=1.0, *;q=0"}) {
                const auto res = client.Get("/api.php?" + query, {{name, asked}});
                QVERIFY(res);
                QCOMPARE(res->status, 200);
                QVERIFY2(!res->has_header("Content-Encoding"),
                         res->get_header_value("Content-Encoding").c_str());
                QCOMPARE(res->get_header_value("ETag"), plain->get_header_value("ETag"));
                QVERIFY2(res->body == plain->body, asked);
            }
        }
    }
}

void TestServerCache::twoServersOnOneFileFollowAPublishWhole()
{
    // Two processes' worth of servers, each with its own answer cache, on one file.
    ServerApi apiA(m_content), apiB(m_content);
    ServerOptions options;
    options.port = 0;
    options.log = false;
    ContentServer serverA(apiA, options), serverB(apiB, options);
    const int a = serverA.start(), b = serverB.start();
    const Reply before = fetch(a, kVendors);
    QCOMPARE(fetch(b, kVendors).etag, before.etag); // either may answer a cache's revalidation
    QVERIFY(before.body.contains("<name>ЗАО «Вторая»</name>"));

    // Readers hammer both servers while a publish renames both makers: every answer has both
    // old names or both new ones, never one of each.
    std::atomic<bool> stop{false};
    std::atomic<int> mixed{0}, answers{0}, renamed{0};
    auto reader = [&](int port) {
        while (!stop) {
            const Reply r = fetch(port, kVendors);
            const bool first = r.body.contains("<name>Первая новая</name>");
            const bool second = r.body.contains("<name>Вторая новая</name>");
            if (first != second || r.status != 200)
                ++mixed;
            renamed += first ? 1 : 0;
            ++answers;
        }
    };
    std::thread readerA(reader, a), readerB(reader, b);
    QTest::qWait(100);
    writeFile(m_sources + QStringLiteral("/vendors.tsv"), "1\tПервая новая\n2\tВторая новая\n");
    const PublishReport report = publishSources(m_sources, m_content, {});
    QVERIFY(report.applied);
    QTRY_VERIFY(renamed > 10);
    stop = true;
    readerA.join();
    readerB.join();
    QCOMPARE(mixed.load(), 0);
    QVERIFY(answers > renamed);

    // Both caches now give the new version, under a new validator, to plain and revalidating requests.
    for (int port : {a, b}) {
        const Reply after = fetch(port, kVendors, before.etag);
        QCOMPARE(after.status, 200);
        QVERIFY(after.etag != before.etag);
        QVERIFY(after.body.contains("<name>Вторая новая</name>"));
    }
    // A client that had the old page asks after its newest stamp and gets exactly the change.
    const Reply page = fetch(
        b,
        "action=get_table&table=vendors&limit=200&date=" +
            before.body.mid(before.body.lastIndexOf("last_update=\"") + 13).split('"').first().toStdString());
    QCOMPARE(page.body.count("<ROW "), 2);
}

void TestServerCache::halfARequestHoldsAThreadOnlyForTheReadTimeout()
{
    ServerApi api(m_content);
    ServerOptions options;
    options.port = 0;
    options.log = false;
    options.threads = 1;
    options.readTimeoutSeconds = 1;
    ContentServer server(api, options);
    const int port = server.start();

    const int sock = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(quint16(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QCOMPARE(::connect(sock, reinterpret_cast<sockaddr *>(&address), sizeof(address)), 0);
    const char half[] = "GET /api.php?action=get_splash HTTP/1.1\r\nHost: x\r\n";
    QVERIFY(::send(sock, half, sizeof(half) - 1, 0) > 0);
    // The only thread waits for the rest; a whole request gets it once the time-out ends that wait.
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(fetch(port, "action=check_update").status, 200);
    const qint64 waited = timer.elapsed();
    char byte = 0;
    const ssize_t got = ::recv(sock, &byte, 1, 0); // the server has closed the half request
    ::close(sock);
    QVERIFY2(got <= 0 || byte == 'H', "half a request was answered as if whole");
    QVERIFY2(waited < 5000, qPrintable(QString::number(waited)));
}

QTEST_GUILESS_MAIN(TestServerCache)
#include "tst_servercache.moc"
