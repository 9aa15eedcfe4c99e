// The built ramux-server as a program: the advertised download link and its digest; the bounds
// on what a client may send (a flood of header lines, requests trickled a byte at a time, a
// body where none is read, Range headers, non-canonical reader addresses); clients that never
// read and kept-alive ones that must not lock a new client out.
#include "sync/syncprocess.h"

#include "content/content.h"
#include "content/contentdb.h"

#include <QCryptographicHash>
#include <QDomDocument>
#include <QTemporaryDir>
#include <httplib.h>

#include <atomic>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int connectTo(int port)
{
    const int sock = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(quint16(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(sock, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0) {
        ::close(sock);
        return -1;
    }
    return sock;
}

// What the server sends back until it closes or `waitMs` pass without a byte.
QByteArray readAnswer(int sock, int waitMs)
{
    QByteArray answer;
    char chunk[4096];
    for (pollfd p{sock, POLLIN, 0}; ::poll(&p, 1, waitMs) > 0;) {
        const ssize_t n = ::recv(sock, chunk, sizeof(chunk), 0);
        if (n <= 0)
            break;
        answer.append(chunk, n);
    }
    return answer;
}

// Sends `request` whole and reads what comes back until the server closes, it is silent for
// `waitMs`, or `cap` bytes came.
QByteArray exchange(int port, const QByteArray &request, int waitMs = 3000, qint64 cap = 64 << 20)
{
    const int sock = connectTo(port);
    if (sock < 0)
        return {};
    for (qsizetype sent = 0; sent < request.size();) {
        const ssize_t n = ::send(sock, request.constData() + sent, size_t(request.size() - sent), MSG_NOSIGNAL);
        if (n <= 0)
            break;
        sent += n;
    }
    QByteArray answer;
    std::vector<char> chunk(1 << 16);
    for (pollfd p{sock, POLLIN, 0}; answer.size() < cap && ::poll(&p, 1, waitMs) > 0;) {
        const ssize_t n = ::recv(sock, chunk.data(), chunk.size(), 0);
        if (n <= 0)
            break;
        answer.append(chunk.data(), n);
    }
    ::close(sock);
    return answer;
}

struct Flood
{
    QByteArray answer;
    qint64 sent = 0;
};

// A request line, then `body` (if any) repeated until the server answers or `limit` bytes are sent.
Flood sendHead(int port, const QByteArray &head, const QByteArray &repeated = {}, qint64 limit = 0)
{
    Flood flood;
    const int sock = connectTo(port);
    if (sock < 0)
        return flood;
    QByteArray chunk;
    while (!repeated.isEmpty() && chunk.size() < 64 * 1024)
        chunk += repeated;
    ::send(sock, head.constData(), size_t(head.size()), MSG_NOSIGNAL);
    while (flood.sent < limit) {
        pollfd p{sock, POLLIN | POLLOUT, 0};
        if (::poll(&p, 1, 5000) <= 0 || (p.revents & (POLLIN | POLLERR | POLLHUP)))
            break;
        const ssize_t n = ::send(sock, chunk.constData(), size_t(chunk.size()), MSG_NOSIGNAL);
        if (n <= 0)
            break;
        flood.sent += n;
    }
    flood.answer = readAnswer(sock, 5000);
    ::close(sock);
    return flood;
}

qint64 residentKb(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    return -1;
}

struct Running
{
    std::unique_ptr<QProcess> process = std::make_unique<QProcess>();
    int port = 0;
    QString log;

    ~Running()
    {
        process->terminate();
        if (!process->waitForFinished(5000))
            process->kill();
    }

    // Element name -> text of the check_update answer's DATA.
    QMap<QString, QString> checkUpdate() const
    {
        QMap<QString, QString> out;
        httplib::Client client("127.0.0.1", port);
        client.set_read_timeout(10);
        const auto res = client.Get("/api.php?action=check_update&version=1.1");
        if (!res)
            return out;
        QDomDocument doc;
        if (!doc.setContent(QByteArray::fromStdString(res->body)))
            return out;
        const QDomElement data = doc.documentElement().firstChildElement(QStringLiteral("DATA"));
        for (QDomElement e = data.firstChildElement(); !e.isNull(); e = e.nextSiblingElement())
            out.insert(e.tagName(), e.text());
        return out;
    }
};

// Starts the server and waits for its "listening on" line; the log is what it printed until then.
std::unique_ptr<Running> startServer(const QStringList &arguments)
{
    auto r = std::make_unique<Running>();
    r->process->start(programPath(QStringLiteral("ramux-server")),
                      QStringList{QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--quiet")} +
                          arguments);
    if (!r->process->waitForStarted())
        return r;
    const QRegularExpression listening(QStringLiteral("listening on http://\\S+:(\\d+)/api\\.php"));
    for (QDeadlineTimer deadline(30000);
         !deadline.hasExpired() && r->port == 0 && r->process->state() == QProcess::Running;) {
        r->process->waitForReadyRead(200);
        r->log += QString::fromUtf8(r->process->readAllStandardError());
        const auto match = listening.match(r->log);
        if (match.hasMatch())
            r->port = match.captured(1).toInt();
    }
    return r;
}

} // namespace

class TestServerProgram : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_content;
    QString m_installer;
    QString m_digest;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // A content database that offers a version with a stored link and that file's digest.
        ContentSet set = ContentSet::empty();
        set.meta.insert(QString::fromLatin1(contentmeta::ProgramVersion), QStringLiteral("1.2"));
        set.meta.insert(QString::fromLatin1(contentmeta::DownloadLink),
                        QStringLiteral("http://example.org/old.exe"));
        set.meta.insert(QString::fromLatin1(contentmeta::DownloadSha256), QString(64, QLatin1Char('a')));
        m_content = m_dir.filePath(QStringLiteral("content.sqlite"));
        ContentDatabase::create(m_content, set);
        m_installer = m_dir.filePath(QStringLiteral("setup-1.2.exe"));
        QFile file(m_installer);
        QVERIFY(file.open(QIODevice::WriteOnly));
        const QByteArray bytes("MZ installer bytes");
        file.write(bytes);
        m_digest = QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
    }

    void storedLinkKeepsItsDigestAndAGivenLinkTakesNone()
    {
        const auto stored = startServer({QStringLiteral("--content"), m_content});
        QVERIFY2(stored->port > 0, qPrintable(stored->log));
        QCOMPARE(stored->checkUpdate().value(QStringLiteral("DL_SHA256")), QString(64, QLatin1Char('a')));

        const auto given =
            startServer({QStringLiteral("--content"), m_content, QStringLiteral("--offer-link"),
                         QStringLiteral("http://example.org/new.exe")});
        QVERIFY2(given->port > 0, qPrintable(given->log));
        const auto offer = given->checkUpdate();
        QCOMPARE(offer.value(QStringLiteral("DL_LINK")), QStringLiteral("http://example.org/new.exe"));
        QVERIFY(!offer.contains(QStringLiteral("DL_SHA256")));
        QCOMPARE(offer.value(QStringLiteral("VERSION")), QStringLiteral("1.2"));
    }

    void headsBeyondTheLimitsAreRefusedWithoutGrowingMemory()
    {
        const auto server = startServer({QStringLiteral("--content"), m_content});
        QVERIFY2(server->port > 0, qPrintable(server->log));
        const QByteArray line = "GET /api.php?action=check_update&version=1.1 HTTP/1.1\r\nHost: x\r\n";
        // At the limits: 100 header lines (the Host line among them), 16 KiB in all.
        QByteArray within = line;
        for (int i = 1; i < 100; ++i)
            within += "X-Filler-" + QByteArray::number(i) + ": " + QByteArray(140, 'v') + "\r\n";
        QVERIFY(within.size() < 16 * 1024);
        QVERIFY(sendHead(server->port, within + "\r\n").answer.startsWith("HTTP/1.1 200"));
        const QByteArray oneMore = within + "X-One-More: v\r\n\r\n";
        QVERIFY(sendHead(server->port, oneMore).answer.startsWith("HTTP/1.1 431"));
        QByteArray large = line;
        for (int i = 0; i < 3; ++i)
            large += "X-Large-" + QByteArray::number(i) + ": " + QByteArray(6000, 'v') + "\r\n";
        QVERIFY(sendHead(server->port, large + "\r\n").answer.startsWith("HTTP/1.1 431"));

        // Floods of header lines that never end are cut at the limit, and what they sent is not kept;
        // a bare LF line among them ends nothing (the library skips it and reads on).
        QVERIFY(!server->checkUpdate().isEmpty());
        const qint64 before = residentKb(server->process->processId());
        for (const QByteArray &head : {line, QByteArray(line + "\n"), line}) {
            const Flood flood = sendHead(server->port, head, "h: v\r\n", 12 * 1024 * 1024);
            QVERIFY2(flood.answer.startsWith("HTTP/1.1 431"), flood.answer.left(200).constData());
            QVERIFY2(flood.sent < 12 * 1024 * 1024, "the server read the whole flood");
        }
        const qint64 after = residentKb(server->process->processId());
        qInfo("server memory around three floods of 12 MiB of header lines: %lld kB before, %lld kB after",
              before, after);
        QVERIFY(before > 0);
        QVERIFY2(after - before < 4096, qPrintable(QStringLiteral("%1 kB -> %2 kB").arg(before).arg(after)));
        QCOMPARE(server->checkUpdate().value(QStringLiteral("VERSION")), QStringLiteral("1.2"));
    }

    void tricklingClientsAreCutAtTheDeadlineAndOthersAnswered()
    {
        // One serving thread, a 2 s deadline; four clients send a request a byte every half second,
        // never pausing as long as the read time-out (1 s) but far slower than the deadline allows.
        const auto server =
            startServer({QStringLiteral("--content"), m_content, QStringLiteral("--threads"),
                         QStringLiteral("1"), QStringLiteral("--request-timeout"), QStringLiteral("2")});
        QVERIFY2(server->port > 0, qPrintable(server->log));
        const QByteArray request = "GET /api.php?action=check_update&version=1.1 HTTP/1.1\r\nHost: x\r\n\r\n";
        std::vector<int> tricklers;
        for (int i = 0; i < 4; ++i) {
            tricklers.push_back(connectTo(server->port));
            QVERIFY(tricklers.back() >= 0);
        }
        std::vector<qint64> cutAt(tricklers.size(), -1);
        qint64 slowestAnswer = 0;
        int answers = 0, sentBytes = 0;
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 6000 && std::count(cutAt.begin(), cutAt.end(), -1) > 0) {
            const bool sendNow = timer.elapsed() >= sentBytes * 500 && sentBytes < request.size();
            for (size_t i = 0; i < tricklers.size(); ++i) {
                if (cutAt[i] >= 0)
                    continue;
                if (sendNow)
                    ::send(tricklers[i], request.constData() + sentBytes, 1, MSG_NOSIGNAL);
                pollfd p{tricklers[i], POLLIN, 0};
                char byte = 0;
                if (::poll(&p, 1, 0) > 0) {
                    QVERIFY2(::recv(tricklers[i], &byte, 1, 0) <= 0, "a trickled request was answered");
                    cutAt[i] = timer.elapsed();
                }
            }
            sentBytes += sendNow ? 1 : 0;
            QElapsedTimer one;
            one.start();
            QCOMPARE(server->checkUpdate().value(QStringLiteral("VERSION")), QStringLiteral("1.2"));
            slowestAnswer = std::max(slowestAnswer, one.elapsed());
            ++answers;
            QThread::msleep(20);
        }
        for (int sock : tricklers)
            ::close(sock);
        qInfo("trickling clients cut at %lld, %lld, %lld, %lld ms; %d other answers, the slowest %lld ms",
              cutAt[0], cutAt[1], cutAt[2], cutAt[3], answers, slowestAnswer);
        for (qint64 at : cutAt)
            QVERIFY2(at >= 1900 && at < 3500, qPrintable(QString::number(at)));
        QVERIFY2(slowestAnswer < 500, qPrintable(QString::number(slowestAnswer)));
        QVERIFY(answers > 20);
    }

    // An installer big enough that a client that never reads leaves most of it unsent.
    QString bigInstaller()
    {
        const QString path = m_dir.filePath(QStringLiteral("big-1.3.bin"));
        QFile file(path);
        if (!file.exists() && file.open(QIODevice::WriteOnly)) {
            QByteArray block(1 << 20, '\0');
            for (int i = 0; i < block.size(); ++i)
                block[i] = char('a' + i % 26);
            for (int i = 0; i < 8; ++i)
                file.write(block);
        }
        return path;
    }

    void eachRequestGetsItsOwnAnswerAndRangesCannotHurt_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("answers");
        QTest::addColumn<QByteArray>("expected"); // in the first answer's head
        const QByteArray hidden = "GET /item/103 HTTP/1.1\r\nHost: x\r\n\r\n";
        const QByteArray length = "Content-Length: " + QByteArray::number(hidden.size()) + "\r\n\r\n";
        const QByteArray close = "Host: x\r\nConnection: close\r\n";
        const QByteArray api = "GET /api.php?action=get_table&table=items&date=0 HTTP/1.1\r\n" + close;
        const QByteArray page = "GET /item/101 HTTP/1.1\r\n" + close;
        const QByteArray download = "GET /download/big-1.3.bin HTTP/1.1\r\n" + close;
        QByteArray many = "Range: bytes=";
        for (int i = 0; i < 2000; ++i)
            many += "0-,";
        many += "0-\r\n";
        QTest::newRow("GET with a body") << "GET /item/102 HTTP/1.1\r\nHost: x\r\n" + length + hidden << 400 << 1
                                         << QByteArray("Connection: close");
        QTest::newRow("HEAD with a body") << "HEAD /item/102 HTTP/1.1\r\nHost: x\r\n" + length + hidden << 400
                                          << 1 << QByteArray("Connection: close");
        QTest::newRow("GET chunked") << "GET /api.php?action=get_splash HTTP/1.1\r\nHost: x\r\n"
                                        "Transfer-Encoding: chunked\r\n\r\n" +
                                            QByteArray::number(hidden.size(), 16) + "\r\n" + hidden + "\r\n0\r\n\r\n"
                                     << 400 << 1 << QByteArray("Connection: close");
        QTest::newRow("GET with an empty body") << "GET /reader.css HTTP/1.1\r\n" + close + "Content-Length: 0\r\n\r\n"
                                                << 200 << 1 << QByteArray("text/css");
        QTest::newRow("api, one range") << api + "Range: bytes=0-99\r\n\r\n" << 200 << 1 << QByteArray("ETag");
        QTest::newRow("api, many ranges") << api + many + "\r\n" << 200 << 1 << QByteArray("ETag");
        QTest::newRow("page, one range") << page + "Range: bytes=0-99\r\n\r\n" << 200 << 1 << QByteArray("ETag");
        QTest::newRow("page, a malformed range") << page + "Range: bytes=oops\r\n\r\n" << 200 << 1
                                                 << QByteArray("ETag");
        QTest::newRow("download, one range") << download + "Range: bytes=0-9\r\n\r\n" << 206 << 1
                                             << QByteArray("Content-Length: 10\r\n");
        QTest::newRow("download, many ranges") << download + many + "\r\n" << 200 << 1
                                               << QByteArray("Content-Length: 8388608\r\n");
        QTest::newRow("number with a zero") << "GET /item/0101 HTTP/1.1\r\n" + close + "\r\n" << 301 << 1
                                            << QByteArray("Location: /item/101\r\n");
        QTest::newRow("junk parameter") << "GET /item/101?utm=1 HTTP/1.1\r\n" + close + "\r\n" << 301 << 1
                                        << QByteArray("Location: /item/101\r\n");
        QTest::newRow("order, case, repeats")
            << "GET /item/101?Weight=5&species=1&species=2 HTTP/1.1\r\n" + close + "\r\n" << 301 << 1
            << QByteArray("Location: /item/101?species=1&weight=5\r\n");
        QTest::newRow("search spelled otherwise") << "GET /search?Q=%d0%b0+b&q=c HTTP/1.1\r\n" + close + "\r\n"
                                                  << 301 << 1 << QByteArray("Location: /search?q=%D0%B0+b\r\n");
        QTest::newRow("a form as the browser sends it")
            << "GET /item/101?species=1&weight=12%2C5&last=01.03.2027+08%3A00 HTTP/1.1\r\n" + close + "\r\n" << 200
            << 1 << QByteArray("Referrer-Policy: same-origin\r\n");
    }

    void eachRequestGetsItsOwnAnswerAndRangesCannotHurt()
    {
        QFETCH(QByteArray, request);
        QFETCH(int, status);
        QFETCH(int, answers);
        QFETCH(QByteArray, expected);
        static std::unique_ptr<Running> server; // one server for every row
        if (!server)
            server = startServer({QStringLiteral("--demo"), QStringLiteral("--offer-file"), bigInstaller()});
        QVERIFY2(server->port > 0, qPrintable(server->log));
        const QByteArray answer = exchange(server->port, request);
        const qsizetype headEnd = answer.indexOf("\r\n\r\n");
        QVERIFY2(answer.startsWith("HTTP/1.1 " + QByteArray::number(status)), answer.left(300).constData());
        QVERIFY2(answer.left(headEnd).contains(expected), answer.left(headEnd).constData());
        QCOMPARE(answer.left(headEnd).contains("Content-Range"), status == 206);
        static const QRegularExpression statusLine(QStringLiteral("HTTP/1\\.1 \\d{3} "));
        QCOMPARE(int(QString::fromLatin1(answer.left(1 << 20)).count(statusLine)), answers);
    }

    void thousandsOfRangesKeepMemoryBounded()
    {
        const auto server = startServer({QStringLiteral("--demo"), QStringLiteral("--offer-file"), bigInstaller()});
        QVERIFY2(server->port > 0, qPrintable(server->log));
        QByteArray ranges = "Range: bytes=";
        for (int i = 0; i < 4900; ++i)
            ranges += "0-,";
        ranges += "0-\r\n\r\n";
        const QByteArray head = " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n";
        QVERIFY(exchange(server->port, "GET /api.php?action=get_splash" + head + "\r\n").startsWith("HTTP/1.1 200"));
        const qint64 before = residentKb(server->process->processId());
        for (int round = 0; round < 4; ++round) {
            for (const char *target : {"/api.php?action=get_table&table=items&date=0", "/item/101",
                                       "/download/big-1.3.bin"}) {
                const QByteArray answer = exchange(server->port, "GET " + QByteArray(target) + head + ranges);
                QVERIFY2(answer.startsWith("HTTP/1.1 200"), qPrintable(target + QString::fromLatin1(answer.left(200))));
            }
        }
        const qint64 after = residentKb(server->process->processId());
        qInfo("server memory around 12 requests of 4900 ranges each: %lld kB before, %lld kB after", before, after);
        QVERIFY(before > 0);
        QVERIFY2(after - before < 64 * 1024, qPrintable(QStringLiteral("%1 kB -> %2 kB").arg(before).arg(after)));
    }

    void slowAndKeptAliveClientsLeaveRoomForANewOne()
    {
        // 20 clients that ask for an 8 MiB download and never read, 70 kept-alive clients asking
        // every 0.8 s: together more connections than the server has reading threads (64).
        const auto server = startServer({QStringLiteral("--demo"), QStringLiteral("--offer-file"), bigInstaller()});
        QVERIFY2(server->port > 0, qPrintable(server->log));
        QElapsedTimer timer;
        timer.start();
        std::vector<int> stalled;
        for (int i = 0; i < 20; ++i) {
            const int sock = ::socket(AF_INET, SOCK_STREAM, 0);
            const int small = 4096;
            ::setsockopt(sock, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(quint16(server->port));
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            QCOMPARE(::connect(sock, reinterpret_cast<sockaddr *>(&address), sizeof(address)), 0);
            const char ask[] = "GET /download/big-1.3.bin HTTP/1.1\r\nHost: x\r\n\r\n";
            QVERIFY(::send(sock, ask, sizeof(ask) - 1, MSG_NOSIGNAL) > 0);
            stalled.push_back(sock);
        }
        std::atomic<bool> stop{false};
        std::atomic<int> keptAnswers{0};
        std::thread keptAlive([&] {
            std::vector<int> socks(70, -1);
            std::vector<qint64> due(70, 0);
            const char ask[] = "GET /api.php?action=check_update&version=1.1 HTTP/1.1\r\nHost: x\r\n\r\n";
            char chunk[65536];
            while (!stop) {
                for (size_t i = 0; i < socks.size(); ++i) {
                    if (socks[i] < 0)
                        socks[i] = connectTo(server->port); // closed by the server: connect again
                    pollfd p{socks[i], POLLIN, 0};
                    while (::poll(&p, 1, 0) > 0) {
                        const ssize_t n = ::recv(socks[i], chunk, sizeof chunk, 0);
                        if (n <= 0) {
                            ::close(socks[i]);
                            socks[i] = -1;
                            break;
                        }
                        keptAnswers += int(QByteArray(chunk, int(n)).count("HTTP/1.1 200"));
                    }
                    if (socks[i] >= 0 && timer.elapsed() >= due[i]) {
                        ::send(socks[i], ask, sizeof(ask) - 1, MSG_NOSIGNAL);
                        due[i] = timer.elapsed() + 800;
                    }
                }
                QThread::msleep(10);
            }
            for (int sock : socks)
                ::close(sock);
        });
        QThread::msleep(1000);
        qint64 slowest = 0;
        int probes = 0;
        for (; timer.elapsed() < 7000; ++probes) {
            httplib::Client client("127.0.0.1", server->port);
            client.set_read_timeout(10);
            client.set_keep_alive(false);
            QElapsedTimer one;
            one.start();
            const auto res = client.Get("/reader.css");
            // Not answered counts as slow; the checks come once the clients are stopped.
            slowest = std::max(slowest, res && res->status == 200 ? one.elapsed() : 99999);
            QThread::msleep(300);
        }
        stop = true;
        keptAlive.join();
        // The never-reading clients lose their connections once they took no byte for 10 s.
        QThread::msleep(std::max<qint64>(0, 12500 - timer.elapsed()));
        int cut = 0;
        for (int sock : stalled) {
            char chunk[65536];
            qint64 got = 0;
            ssize_t n = 0;
            for (pollfd p{sock, POLLIN, 0}; ::poll(&p, 1, 1000) > 0 && (n = ::recv(sock, chunk, sizeof chunk, 0)) > 0;)
                got += n;
            cut += (n <= 0 && got < 8 * 1024 * 1024) ? 1 : 0;
            ::close(sock);
        }
        qInfo("beside 20 never-reading and 70 kept-alive clients: %d new clients, the slowest answered in %lld ms; "
              "%d kept-alive answers; %d of 20 never-reading clients cut",
              probes, slowest, keptAnswers.load(), cut);
        QVERIFY2(slowest < 2000, qPrintable(QString::number(slowest)));
        QVERIFY(keptAnswers > 200);
        QCOMPARE(cut, 20);
    }

    void downloadLinkNamesThePublicAddress()
    {
        const auto behind =
            startServer({QStringLiteral("--content"), m_content, QStringLiteral("--offer-file"), m_installer,
                         QStringLiteral("--public-url"), QStringLiteral("https://cache.example.org/ramux/")});
        QVERIFY2(behind->port > 0, qPrintable(behind->log));
        QVERIFY(!behind->log.contains(QStringLiteral("warning")));
        const auto offer = behind->checkUpdate();
        QCOMPARE(offer.value(QStringLiteral("DL_LINK")),
                 QStringLiteral("https://cache.example.org/ramux/download/setup-1.2.exe"));
        QCOMPARE(offer.value(QStringLiteral("DL_SHA256")), m_digest);

        // Without it the link names the listening address; every address draws a warning.
        const auto local = startServer(
            {QStringLiteral("--content"), m_content, QStringLiteral("--offer-file"), m_installer});
        QVERIFY2(local->port > 0, qPrintable(local->log));
        QVERIFY(!local->log.contains(QStringLiteral("warning")));
        QCOMPARE(local->checkUpdate().value(QStringLiteral("DL_LINK")),
                 QStringLiteral("http://127.0.0.1:%1/download/setup-1.2.exe").arg(local->port));
        const auto wide =
            startServer({QStringLiteral("--content"), m_content, QStringLiteral("--bind"),
                         QStringLiteral("0.0.0.0"), QStringLiteral("--offer-file"), m_installer});
        QVERIFY2(wide->port > 0, qPrintable(wide->log));
        QVERIFY2(wide->log.contains(
                     QStringLiteral("warning: listening on every address (0.0.0.0) without --public-url")),
                 qPrintable(wide->log));

        for (const QString &bad :
             {QStringLiteral("ftp://example.org"), QStringLiteral("http://example.org/?a=1"),
              QStringLiteral("example.org")}) {
            QByteArray err;
            QCOMPARE(runProgram(QStringLiteral("ramux-server"),
                                {QStringLiteral("--content"), m_content, QStringLiteral("--public-url"), bad},
                                nullptr, &err),
                     1);
            QVERIFY2(err.contains("--public-url"), err.constData());
        }
    }
};

QTEST_GUILESS_MAIN(TestServerProgram)
#include "tst_serverprogram.moc"
