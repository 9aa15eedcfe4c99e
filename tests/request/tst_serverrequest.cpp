// The request layer against fake servers on 127.0.0.1: the exact request on the wire, the proxy,
// the envelope through a real exchange, and servers that misbehave.
#include "update/proxysettings.h"
#include "update/serverrequest.h"

#include "fakeserver.h"

#include <httplib.h>

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

namespace {

const QByteArray okEnvelope = "<?xml version=\"1.0\"?><ANSWER version=\"1\"><RESULT status=\"OK\"/>"
                              "<DATA><SPLASH>x</SPLASH></DATA></ANSWER>";
const QString okAnswer = QStringLiteral("<DATA><SPLASH>x</SPLASH></DATA>");

QByteArray failEnvelope(int code)
{
    return "<ANSWER version=\"1\"><RESULT status=\"FAIL\" err_code=\"" + QByteArray::number(code)
        + "\">failed</RESULT></ANSWER>";
}

RawServer::Handler answerWith(const QByteArray &response)
{
    return [response](RawServer &, int fd, const QByteArray &) { RawServer::sendAll(fd, response); };
}

// cpp-httplib on an ephemeral port, for answers that need real HTTP status handling.
class HttpLibServer final
{
public:
    HttpLibServer()
    {
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~HttpLibServer()
    {
        m_server.stop();
        m_thread.join();
    }
    httplib::Server &server() { return m_server; }
    QString url(const char *path) const
    {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(QLatin1String(path));
    }

private:
    httplib::Server m_server;
    int m_port = 0;
    std::thread m_thread;
};

int request(const QString &address, QStringList parameters, QString *answer = nullptr,
            QString *errorText = nullptr)
{
    QString a;
    QString e;
    const int code = ServerRequest(parameters, a, e, address);
    if (answer)
        *answer = a;
    if (errorText)
        *errorText = e;
    return code;
}

} // namespace

class TestServerRequest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void requestOnTheWire();
    void queryIsSentVerbatim();
    void unsafeAddressIsNotSent_data();
    void unsafeAddressIsNotSent();
    void envelopeThroughExchange();
    void httpStatusIsIgnored();
    void redirectIsNotFollowed();
    void proxyWithAuthorisation();
    void proxyWithoutUserSendsNoAuthorisation();
    void proxyRefusingAuthorisation();
    void emptyProxyGoesDirectWhateverTheEnvironment();

    void connectionRefused();
    void serverNeverAnswers();
    void slowSteadyServerIsNotCutOff();
    void connectionDroppedMidBody();
    void hugeBodyIsCutOff();
    void announcedHugeBodyIsRefused();
    void nonXmlBodyReachesCaller();

    void eventsRunDuringRequestOnMainThread();
    void workerThreadRequestsAndStop();

    void downloadWritesErrorPage();
    void downloadWireAndNoRedirect();
    void downloadFailureLeavesFileUntouched();

private:
    RequestLimits m_defaults;
};

void TestServerRequest::init()
{
    m_defaults = requestLimits();
    clearProxyValues();
}

void TestServerRequest::cleanup()
{
    setRequestLimits(m_defaults);
    clearProxyValues();
}

void TestServerRequest::requestOnTheWire()
{
    RawServer server(answerWith(RawServer::response(okEnvelope)));
    QStringList parameters{QStringLiteral("action=get_splash")};
    QString answer = QStringLiteral("stale");
    QString errorText = QStringLiteral("kept");
    const QString address = QString::fromLatin1(server.baseUrl()) + QStringLiteral("/api.php");
    QCOMPARE(ServerRequest(parameters, answer, errorText, address), 0);
    QCOMPARE(answer, okAnswer);
    QCOMPARE(errorText, QStringLiteral("kept"));
    QCOMPARE(parameters, QStringList({QStringLiteral("action=get_splash"), QStringLiteral("version=1.1")}));

    QCOMPARE(server.requests().size(), 1);
    const QByteArray head = server.requests().first();
    QCOMPARE(requestLine(head), QByteArray("GET /api.php?action=get_splash&version=1.1 HTTP/1.0"));
    const QList<QByteArray> expected{
        "Host: 127.0.0.1",
        "User-Agent: Mozilla/5.0",
        "Accept: text/html",
        "Accept-Language: en-us,en;q=0.5",
        "Accept-Charset: ISO-8859-1,utf-8;q=0.7,*;q=0.7",
        "Keep-Alive: 300",
        "Connection: keep-alive",
    };
    QCOMPARE(headerLines(head), expected);
}

void TestServerRequest::queryIsSentVerbatim()
{
    RawServer server(answerWith(RawServer::response(okEnvelope)));
    // A host-only address gets the root path; the rest goes exactly as written, UTF-8 for non-ASCII.
    const QString address = QString::fromLatin1(server.baseUrl());
    QCOMPARE(request(address, {QStringLiteral("q=%41/../b?c"), QStringLiteral("n=Ампициллин"),
                               QStringLiteral("f=#x"), QStringLiteral("version=0")}),
             0);
    QCOMPARE(requestLine(server.requests().value(0)),
             QByteArray("GET /?q=%41/../b?c&n=") + QStringLiteral("Ампициллин").toUtf8()
                 + "&f=#x&version=1.1 HTTP/1.0");
}

void TestServerRequest::unsafeAddressIsNotSent_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("parameter");
    QTest::newRow("space in a value") << "" << "a=b c";
    QTest::newRow("header smuggled in a value") << "" << "a=b\r\nX-Injected: 1";
    QTest::newRow("not http") << "file:///etc/passwd" << "a=1";
    QTest::newRow("no scheme") << "127.0.0.1/api.php" << "a=1";
    QTest::newRow("no host") << "http:///api.php" << "a=1";
}

void TestServerRequest::unsafeAddressIsNotSent()
{
    QFETCH(QString, address);
    QFETCH(QString, parameter);
    RawServer server(answerWith(RawServer::response(okEnvelope)));
    if (address.isEmpty())
        address = QString::fromLatin1(server.baseUrl()) + QStringLiteral("/api.php");
    QString answer = QStringLiteral("stale");
    QStringList parameters{parameter};
    QString errorText;
    QCOMPARE(ServerRequest(parameters, answer, errorText, address), -1);
    QVERIFY(answer.isEmpty());
    QTest::qWait(50);
    QVERIFY(server.requests().isEmpty());
}

void TestServerRequest::envelopeThroughExchange()
{
    // The codes of a real exchange, and the error text written only for a failure answer.
    QByteArray body;
    RawServer server([&body](RawServer &, int fd, const QByteArray &) {
        RawServer::sendAll(fd, RawServer::response(body));
    });
    const QString address = QString::fromLatin1(server.baseUrl()) + QStringLiteral("/api.php");
    QString answer;
    QString errorText;

    body = failEnvelope(7);
    QCOMPARE(request(address, {}, &answer, &errorText), 7);
    QCOMPARE(errorText, QStringLiteral("failed"));
    QVERIFY(answer.isEmpty());

    body = "<ANSWER version=\"1\"><RESULT status=\"ok\"/><DATA/></ANSWER>";
    QStringList parameters;
    errorText = QStringLiteral("kept");
    answer = QStringLiteral("stale");
    QCOMPARE(ServerRequest(parameters, answer, errorText, address), -1);
    QCOMPARE(errorText, QStringLiteral("kept"));
    QVERIFY(answer.isEmpty());

    body.clear();
    QCOMPARE(request(address, {}), -1);
}

void TestServerRequest::httpStatusIsIgnored()
{
    HttpLibServer server;
    server.server().Get("/fail500", [](const httplib::Request &, httplib::Response &res) {
        res.status = 500;
        res.set_content(failEnvelope(12).toStdString(), "text/xml");
    });
    server.server().Get("/ok404", [](const httplib::Request &, httplib::Response &res) {
        res.status = 404;
        res.set_content(okEnvelope.toStdString(), "text/xml");
    });
    QString errorText;
    QCOMPARE(request(server.url("/fail500"), {QStringLiteral("action=x")}, nullptr, &errorText), 12);
    QCOMPARE(errorText, QStringLiteral("failed"));
    QString answer;
    QCOMPARE(request(server.url("/ok404"), {QStringLiteral("action=x")}, &answer), 0);
    QCOMPARE(answer, okAnswer);
}

void TestServerRequest::redirectIsNotFollowed()
{
    HttpLibServer server;
    std::atomic<int> otherHits{0};
    server.server().Get("/api.php", [](const httplib::Request &, httplib::Response &res) {
        res.status = 302;
        res.set_header("Location", "/other");
        res.set_content(failEnvelope(5).toStdString(), "text/xml");
    });
    server.server().Get("/other", [&otherHits](const httplib::Request &, httplib::Response &res) {
        ++otherHits;
        res.set_content(okEnvelope.toStdString(), "text/xml");
    });
    QCOMPARE(request(server.url("/api.php"), {QStringLiteral("action=x")}), 5);
    QCOMPARE(otherHits.load(), 0);
}

void TestServerRequest::proxyWithAuthorisation()
{
    RawServer proxy([](RawServer &, int fd, const QByteArray &head) {
        const bool authorised = head.contains("\r\nProxy-Authorization: Basic "
                                              + QByteArray("us:er:pa ss").toBase64() + "\r\n");
        RawServer::sendAll(fd, authorised ? RawServer::response(okEnvelope)
                                          : RawServer::response("", "407 Proxy Authentication Required"));
    });
    // The user name holds a colon: it must not shift into the password.
    setProxyValues({QStringLiteral("127.0.0.1"), QString::number(proxy.port()), QStringLiteral("us:er"),
                    QStringLiteral("pa ss")});
    QString answer;
    QCOMPARE(request(QStringLiteral("http://upstream.invalid:8642/api.php"),
                     {QStringLiteral("action=get_table"), QStringLiteral("table=items")}, &answer),
             0);
    QCOMPARE(answer, okAnswer);

    QCOMPARE(proxy.requests().size(), 1);
    const QByteArray head = proxy.requests().first();
    QCOMPARE(requestLine(head),
             QByteArray("GET http://upstream.invalid:8642/api.php?action=get_table&table=items&version=1.1 HTTP/1.0"));
    // curl writes the proxy's line after Host; the server-bound lines keep their order.
    const QList<QByteArray> expected{
        "Host: upstream.invalid",
        "Proxy-Authorization: Basic " + QByteArray("us:er:pa ss").toBase64(),
        "User-Agent: Mozilla/5.0",
        "Accept: text/html",
        "Accept-Language: en-us,en;q=0.5",
        "Accept-Charset: ISO-8859-1,utf-8;q=0.7,*;q=0.7",
        "Keep-Alive: 300",
        "Connection: keep-alive",
    };
    QCOMPARE(headerLines(head), expected);
}

void TestServerRequest::proxyWithoutUserSendsNoAuthorisation()
{
    RawServer proxy(answerWith(RawServer::response(okEnvelope)));
    setProxyValues({QStringLiteral("127.0.0.1"), QString::number(proxy.port()), QString(),
                    QStringLiteral("ignored")});
    qputenv("no_proxy", "*"); // the configured proxy is used whatever the environment says
    const int code = request(QStringLiteral("http://upstream.invalid/api.php"), {QStringLiteral("action=x")});
    qunsetenv("no_proxy");
    QCOMPARE(code, 0);
    const QByteArray head = proxy.requests().value(0);
    QCOMPARE(requestLine(head), QByteArray("GET http://upstream.invalid/api.php?action=x&version=1.1 HTTP/1.0"));
    QVERIFY(!head.contains("Proxy-Authorization"));
    QVERIFY(!head.contains("Proxy-Connection"));
}

void TestServerRequest::proxyRefusingAuthorisation()
{
    QByteArray body;
    RawServer proxy([&body](RawServer &, int fd, const QByteArray &) {
        RawServer::sendAll(fd, RawServer::response(body, "407 Proxy Authentication Required",
                                                   "Proxy-Authenticate: Basic realm=\"p\"\r\n"));
    });
    setProxyValues({QStringLiteral("127.0.0.1"), QString::number(proxy.port()), QStringLiteral("u"),
                    QStringLiteral("wrong")});
    const QString address = QStringLiteral("http://upstream.invalid/api.php");

    QCOMPARE(request(address, {QStringLiteral("action=x")}), -1); // empty refusal: no answer
    body = "Access denied: wrong password";
    QVERIFY_THROWS_EXCEPTION(XmlAnswerError, request(address, {QStringLiteral("action=x")}));
    // No second attempt behind the caller's back.
    QCOMPARE(proxy.requests().size(), 2);
}

void TestServerRequest::emptyProxyGoesDirectWhateverTheEnvironment()
{
    RawServer server(answerWith(RawServer::response(okEnvelope)));
    const QByteArray saved = qgetenv("http_proxy");
    qputenv("http_proxy", "http://127.0.0.1:9");
    qputenv("HTTP_PROXY", "http://127.0.0.1:9");
    const int code = request(QString::fromLatin1(server.baseUrl()) + QStringLiteral("/api.php"),
                             {QStringLiteral("action=x")});
    qputenv("http_proxy", saved);
    qunsetenv("HTTP_PROXY");
    QCOMPARE(code, 0);
    QCOMPARE(server.requests().size(), 1);
}

void TestServerRequest::connectionRefused()
{
    quint16 port = 0;
    {
        RawServer closed(answerWith({}));
        port = closed.port();
    }
    QElapsedTimer timer;
    timer.start();
    QString answer = QStringLiteral("stale");
    QStringList parameters{QStringLiteral("action=x")};
    QString errorText = QStringLiteral("kept");
    QCOMPARE(ServerRequest(parameters, answer, errorText,
                           QStringLiteral("http://127.0.0.1:%1/api.php").arg(port)),
             -1);
    QVERIFY(answer.isEmpty());
    QCOMPARE(errorText, QStringLiteral("kept"));
    QVERIFY(timer.elapsed() < 2000);
}

void TestServerRequest::serverNeverAnswers()
{
    RequestLimits limits = requestLimits();
    limits.stallTimeoutSec = 1;
    setRequestLimits(limits);
    RawServer server([](RawServer &s, int, const QByteArray &) { s.waitOrStop(10000); });
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(request(QString::fromLatin1(server.baseUrl()) + QStringLiteral("/api.php"), {}), -1);
    QVERIFY2(timer.elapsed() < 4000, qPrintable(QString::number(timer.elapsed())));
}

void TestServerRequest::slowSteadyServerIsNotCutOff()
{
    // The bound is on each wait for data, not on the whole answer.
    RequestLimits limits = requestLimits();
    limits.stallTimeoutSec = 1;
    setRequestLimits(limits);
    RawServer server([](RawServer &s, int fd, const QByteArray &) {
        const QByteArray all = RawServer::response(okEnvelope);
        const qsizetype piece = all.size() / 8 + 1;
        for (qsizetype off = 0; off < all.size() && !s.stopping(); off += piece) {
            RawServer::sendAll(fd, all.mid(off, piece));
            s.waitOrStop(350);
        }
    });
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(request(QString::fromLatin1(server.baseUrl()) + QStringLiteral("/api.php"), {}), 0);
    QVERIFY(timer.elapsed() > 1500);
}

void TestServerRequest::connectionDroppedMidBody()
{
    RawServer server([](RawServer &, int fd, const QByteArray &) {
        const QByteArray full = RawServer::response(okEnvelope);
        RawServer::sendAll(fd, full.left(full.size() - 20)); // Content-Length promises more
    });
    QString answer = QStringLiteral("stale");
    QCOMPARE(request(QString::fromLatin1(server.baseUrl()) + QStringLiteral("/api.php"), {}, &answer), -1);
    QVERIFY(answer.isEmpty());
}

void TestServerRequest::hugeBodyIsCutOff()
{
    // 200 MB streamed without a length: the default cap ends the transfer long before the end,
    // so the server manages to send only a fraction of it.
    QCOMPARE(requestLimits().maxBodyBytes, qint64(64) * 1024 * 1024);
    std::atomic<qint64> sent{0};
    RawServer server([&sent](RawServer &s, int fd, const QByteArray &) {
        RawServer::sendAll(fd, "HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\n\r\n<ANSWER version=\"1\"><RESULT status=\"OK\"/><DATA>");
        const QByteArray chunk(1024 * 1024, 'x');
        for (int i = 0; i < 200 && !s.stopping(); ++i) {
            if (!RawServer::sendAll(fd, chunk))
                return;
            sent += chunk.size();
        }
    });
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(request(QString::fromLatin1(server.baseUrl()) + QStringLiteral("/api.php"), {}), -1);
    QVERIFY2(sent.load() < qint64(100) * 1024 * 1024, qPrintable(QString::number(sent.load())));
    QVERIFY(timer.elapsed() < 4000);
}

void TestServerRequest::announcedHugeBodyIsRefused()
{
    RequestLimits limits = requestLimits();
    limits.maxBodyBytes = 1000;
    setRequestLimits(limits);
    RawServer server([](RawServer &, int fd, const QByteArray &) {
        RawServer::sendAll(fd, "HTTP/1.0 200 OK\r\nContent-Length: 209715200\r\n\r\n<ANSWER");
    });
    QCOMPARE(request(QString::fromLatin1(server.baseUrl()) + QStringLiteral("/api.php"), {}), -1);
}

void TestServerRequest::nonXmlBodyReachesCaller()
{
    RawServer server(answerWith(RawServer::response("<html><body>Bad gateway<br></body></html>", "502 Bad Gateway")));
    QStringList parameters{QStringLiteral("action=x")};
    QString answer = QStringLiteral("stale");
    QString errorText = QStringLiteral("kept");
    QVERIFY_THROWS_EXCEPTION(XmlAnswerError,
                             ServerRequest(parameters, answer, errorText,
                                           QString::fromLatin1(server.baseUrl()) + QStringLiteral("/api.php")));
    QVERIFY(answer.isEmpty());
    QCOMPARE(errorText, QStringLiteral("kept"));
}

void TestServerRequest::eventsRunDuringRequestOnMainThread()
{
    RawServer server([](RawServer &s, int fd, const QByteArray &) {
        s.waitOrStop(700);
        RawServer::sendAll(fd, RawServer::response(okEnvelope));
    });
    QElapsedTimer gap;
    qint64 longestGap = 0;
    int ticks = 0;
    QTimer timer;
    timer.setInterval(5);
    connect(&timer, &QTimer::timeout, this, [&] {
        longestGap = qMax(longestGap, gap.restart());
        ++ticks;
    });
    timer.start();
    gap.start();
    QCOMPARE(request(QString::fromLatin1(server.baseUrl()) + QStringLiteral("/api.php"), {}), 0);
    timer.stop();
    QVERIFY2(ticks >= 20, qPrintable(QString::number(ticks)));
    QVERIFY2(longestGap < 100, qPrintable(QString::number(longestGap)));
}

void TestServerRequest::workerThreadRequestsAndStop()
{
    RawServer stalled([](RawServer &s, int, const QByteArray &) { s.waitOrStop(10000); });
    HttpLibServer server;
    server.server().Get("/api.php", [](const httplib::Request &, httplib::Response &res) {
        res.set_content(okEnvelope.toStdString(), "text/xml");
    });

    // Two threads at once (the first requests also race for curl's global set-up).
    std::atomic<int> successes{0};
    auto worker = [&] {
        for (int i = 0; i < 5; ++i) {
            if (request(server.url("/api.php"), {QStringLiteral("action=x")}) == 0)
                ++successes;
        }
    };
    QThread *a = QThread::create(worker);
    QThread *b = QThread::create(worker);
    a->start();
    b->start();
    QVERIFY(a->wait(5000));
    QVERIFY(b->wait(5000));
    delete a;
    delete b;
    QCOMPARE(successes.load(), 10);

    // A stop request ends a blocked request on a worker within a fraction of the 90 s bound.
    std::atomic<int> code{0};
    QThread *blocked = QThread::create([&] {
        code = request(QString::fromLatin1(stalled.baseUrl()) + QStringLiteral("/api.php"), {});
    });
    QElapsedTimer timer;
    timer.start();
    blocked->start();
    QTest::qWait(300);
    blocked->requestInterruption();
    QVERIFY(blocked->wait(3000));
    delete blocked;
    QCOMPARE(code.load(), -1);
    QVERIFY(timer.elapsed() < 2000);
}

void TestServerRequest::downloadWritesErrorPage()
{
    HttpLibServer server;
    const std::string page = "<html><body>404 Not Found</body></html>";
    server.server().Get("/setup.exe", [&page](const httplib::Request &, httplib::Response &res) {
        res.status = 404;
        res.set_content(page, "text/html");
    });
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("setup.exe")));
    QVERIFY(file.open(QIODevice::ReadWrite));
    file.write(QByteArray(5000, 'o')); // a longer earlier content must not leave a tail
    QVERIFY(DownloadFile(server.url("/setup.exe"), file));
    file.close();
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray::fromStdString(page));
}

void TestServerRequest::downloadWireAndNoRedirect()
{
    RawServer server(answerWith(RawServer::response("moved", "302 Found", "Location: /elsewhere\r\n")));
    setProxyValues({QStringLiteral("127.0.0.1"), QStringLiteral("9"), QString(), QString()}); // not for downloads
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("setup.exe")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(DownloadFile(QString::fromLatin1(server.baseUrl()) + QStringLiteral("/files/setup.exe"), file));
    file.close();
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("moved"));

    QCOMPARE(server.requests().size(), 1);
    const QByteArray head = server.requests().first();
    QCOMPARE(requestLine(head), QByteArray("GET /files/setup.exe HTTP/1.0"));
    QVERIFY(headerLines(head).contains("User-Agent: Mozilla/4.0 (compatible; Synapse)"));
}

void TestServerRequest::downloadFailureLeavesFileUntouched()
{
    RawServer dropping([](RawServer &, int fd, const QByteArray &) {
        RawServer::sendAll(fd, "HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n" + QByteArray(3000, 'p'));
    });
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("setup.exe")));
    QVERIFY(file.open(QIODevice::ReadWrite));
    file.write("previous");
    QVERIFY(!DownloadFile(QString::fromLatin1(dropping.baseUrl()) + QStringLiteral("/setup.exe"), file));
    QVERIFY(!DownloadFile(QStringLiteral("http://127.0.0.1:1/setup.exe"), file));
    QVERIFY(!DownloadFile(QStringLiteral("file:///etc/hostname"), file));
    QCOMPARE(file.pos(), qint64(8));
    file.close();
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("previous"));
}

QTEST_GUILESS_MAIN(TestServerRequest)
#include "tst_serverrequest.moc"
