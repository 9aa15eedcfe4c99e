// The update service as a publisher runs it: nginx (tools/ramux-server/nginx) in front of two
// ramux-server processes on one content file, 50 clients (ramuxctl sync, the program's own
// synchronisation) syncing from empty databases while a publish of 200 changed products lands,
// then syncing once more after the cache time and holding exactly the published content; a
// client asking for compression first, after which plain clients still get plain XML; 500
// connections that send half a request and wait, which must not hold up anyone else; a request
// smuggled in a GET body (one and two servers), which must answer no one; junk spellings of a
// page, which add nothing to the cache; and the rate limit, met by a flood and not by a person.
#include "drillkit.h"
#include "nginxfront.h"

#include <QDir>
#include <QDirIterator>
#include <QDomDocument>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <httplib.h>

#include <map>
#include <thread>

namespace {

constexpr int kClients = 50;

using TableRows = std::map<qint64, QList<std::optional<QString>>>;

TableRows rowsOf(Database &db, const QString &table, const QStringList &columns)
{
    QStringList quoted;
    for (const QString &c : columns)
        quoted << quoteIdentifier(c);
    Statement st = db.prepare(QStringLiteral("SELECT id, %1 FROM %2 ORDER BY id")
                                  .arg(quoted.join(QLatin1Char(',')), quoteIdentifier(table)));
    TableRows rows;
    while (st.step()) {
        QList<std::optional<QString>> values;
        for (int i = 0; i < columns.size(); ++i)
            values << st.optText(i + 1);
        rows.emplace(st.int64(0), values);
    }
    return rows;
}

// Where a synced client differs from the content: every table, row and value. A column the
// content holds as NULL counts as equal when the client holds an empty text (a cleared field).
QString syncedMismatch(const QString &clientPath, const QString &contentPath)
{
    Database client, content;
    client.open(clientPath, schema::databasePassword());
    content.open(contentPath, QByteArray());
    for (const QString &table : schema::dataTables()) {
        QStringList columns = client.columns(table);
        columns.removeIf(
            [](const QString &c) { return c.compare(QLatin1String("id"), Qt::CaseInsensitive) == 0; });
        const TableRows got = rowsOf(client, table, columns), want = rowsOf(content, table, columns);
        if (got.size() != want.size())
            return QStringLiteral("%1: %2 rows, content has %3").arg(table).arg(got.size()).arg(want.size());
        for (auto g = got.begin(), w = want.begin(); g != got.end(); ++g, ++w) {
            if (g->first != w->first)
                return QStringLiteral("%1: row %2 where the content has %3")
                    .arg(table)
                    .arg(g->first)
                    .arg(w->first);
            for (int i = 0; i < columns.size(); ++i) {
                const auto &a = g->second.at(i), &b = w->second.at(i);
                if (a != b && !(!b && a && a->isEmpty()))
                    return QStringLiteral("%1 %2 %3 differs").arg(table).arg(g->first).arg(columns.at(i));
            }
        }
    }
    return QString();
}

QString readText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

bool writeText(const QString &path, const QString &text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text.toUtf8()) >= 0;
}

} // namespace

class TestDrillNginx : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_content, m_sources;
    std::unique_ptr<ServerProcess> m_serverA, m_serverB;
    std::unique_ptr<NginxFront> m_nginx;

    // Runs `ramuxctl sync` for every client at once; returns the exit codes.
    QList<int> syncAll(const QStringList &databases, const std::function<void()> &whileRunning = {})
    {
        std::vector<std::unique_ptr<QProcess>> runs;
        for (const QString &db : databases) {
            runs.push_back(std::make_unique<QProcess>());
            runs.back()->start(programPath(QStringLiteral("ramuxctl")),
                               {QStringLiteral("sync"), QStringLiteral("--db"), db,
                                QStringLiteral("--server"), m_nginx->address()});
            QThread::msleep(10);
        }
        if (whileRunning)
            whileRunning();
        QList<int> codes;
        for (auto &run : runs) {
            if (!run->waitForFinished(240000)) {
                run->kill();
                run->waitForFinished();
            }
            codes << (run->exitStatus() == QProcess::NormalExit ? run->exitCode() : -1);
        }
        return codes;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY2(!NginxFront::program().isEmpty(),
                 "nginx is not installed (scripts/install-deps.sh installs nginx-light)");
        m_content = m_dir.filePath(QStringLiteral("content.sqlite"));
        m_sources = m_dir.filePath(QStringLiteral("sources"));
        QCOMPARE(runProgram(QStringLiteral("ramuxctl"),
                            {QStringLiteral("synth"), m_content, QStringLiteral("--content"),
                             QStringLiteral("--products"), QStringLiteral("1000"), QStringLiteral("--seed"),
                             QStringLiteral("16")},
                            nullptr, nullptr, 120000),
                 0);
        QCOMPARE(runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("export"), m_content, m_sources}), 0);
        const QStringList serve{QStringLiteral("--content"), m_content, QStringLiteral("--max-age"),
                                QStringLiteral("1"), QStringLiteral("--reader")};
        m_serverA = std::make_unique<ServerProcess>(serve);
        m_serverB = std::make_unique<ServerProcess>(serve);
        QVERIFY(!m_serverA->address().isEmpty() && !m_serverB->address().isEmpty());
        QStringList backends;
        for (const QString &address : {m_serverA->address(), m_serverB->address()})
            backends << QUrl(address).authority();
        m_nginx = std::make_unique<NginxFront>(qEnvironmentVariable("RAMUX_SOURCE_DIR"),
                                               m_dir.filePath(QStringLiteral("nginx")), backends);
        QVERIFY2(m_nginx->error().isEmpty(), qPrintable(m_nginx->error()));
    }

    void cleanupTestCase()
    {
        m_nginx.reset();
        m_serverA.reset();
        m_serverB.reset();
    }

    void clientsSyncingThroughNginxDuringAPublishEndWithThePublishedContent()
    {
        // The editor's change: 150 doses revised, 30 products withdrawn, 20 moved to group 1.
        int changed = 0;
        int cleared = 0;
        for (int id = 5; id <= 1000 && changed < 200; id += 5, ++changed) {
            const QString path = m_sources + QStringLiteral("/items/%1.txt").arg(id);
            QString text = readText(path);
            QVERIFY2(!text.isEmpty(), qPrintable(path));
            if (changed < 150) {
                static const QRegularExpression dose(QStringLiteral("(== dose\\n).*?(\\n== |$)"),
                                                     QRegularExpression::DotMatchesEverythingOption);
                QVERIFY(text.contains(dose));
                // A note ahead of the dose text: the words its dose rows quote stay as they are.
                text.replace(QStringLiteral("== dose\n"),
                             QStringLiteral("== dose\n<p>Доза пересмотрена (%1): 2 мл на 10 кг.</p>\n").arg(id));
                // Every fifth one loses its storage section: the field is cleared on every client.
                static const QRegularExpression storage(
                    QStringLiteral("\\n== storage_instructions\\n.*?(?=\\n== |$)"),
                    QRegularExpression::DotMatchesEverythingOption);
                if (changed % 5 == 0 && text.contains(storage)) {
                    text.remove(storage);
                    ++cleared;
                }
                QVERIFY(writeText(path, text));
            } else if (changed < 180) {
                QVERIFY(QFile::remove(path));
            } else {
                static const QRegularExpression groups(QStringLiteral("^groups: .*$"),
                                                       QRegularExpression::MultilineOption);
                text.replace(groups, QStringLiteral("groups: 1"));
                QVERIFY(writeText(path, text));
            }
        }

        QVERIFY(cleared > 0);

        QStringList databases;
        for (int i = 0; i < kClients; ++i) {
            databases << m_dir.filePath(QStringLiteral("client%1.rxd").arg(i));
            QCOMPARE(runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("create"), databases.last()}), 0);
        }
        QElapsedTimer timer;
        timer.start();
        QByteArray published;
        qint64 publishedAt = 0;
        const QList<int> first = syncAll(databases, [&] {
            QThread::msleep(1500); // every client is paging by now
            QByteArray err;
            QCOMPARE(runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("publish"), m_sources, m_content},
                                &published, &err),
                     0);
            publishedAt = timer.elapsed();
        });
        const qint64 firstMs = timer.elapsed();
        QCOMPARE(first, QList<int>(kClients, 0));
        QVERIFY2(published.contains("items\tadded 0\tchanged 150\tdeleted 30"), published.constData());

        // After the cache time every client asks once more and holds what was published.
        QThread::msleep(2500);
        timer.restart();
        const QList<int> second = syncAll(databases);
        const qint64 secondMs = timer.elapsed();
        QCOMPARE(second, QList<int>(kClients, 0));
        for (const QString &db : databases) {
            QCOMPARE(integrityOf(db), QStringLiteral("ok"));
            const QString mismatch = syncedMismatch(db, m_content);
            QVERIFY2(mismatch.isEmpty(), qPrintable(db + QStringLiteral(": ") + mismatch));
        }

        // The changed dose is on the product page the program composes from a synced database.
        QByteArray page;
        QCOMPARE(runProgram(QStringLiteral("ramuxctl"),
                            {QStringLiteral("page"), QStringLiteral("ITEM:5"), QStringLiteral("--db"),
                             databases.first()},
                            &page),
                 0);
        QVERIFY2(QString::fromUtf8(page).contains(QStringLiteral("Доза пересмотрена (5)")),
                 page.left(300).constData());

        const QMap<QString, int> statuses = m_nginx->cacheStatuses();
        int total = 0;
        for (int n : statuses)
            total += n;
        QVERIFY(total > 0);
        QStringList parts;
        for (auto it = statuses.constBegin(); it != statuses.constEnd(); ++it)
            parts << QStringLiteral("%1 %2").arg(it.key()).arg(it.value());
        qInfo("%d clients: first syncs %lld ms (publish landed at %lld ms), second syncs %lld ms", kClients,
              firstMs, publishedAt, secondMs);
        qInfo("nginx cache: %s of %d requests; hit ratio %.1f%%",
              qPrintable(parts.join(QStringLiteral(", "))), total,
              100.0 * statuses.value(QStringLiteral("HIT")) / total);
    }

    void aClientAskingForCompressionLeavesPlainAnswersPlain()
    {
        // A page no one has asked for, so the compressing client's request is what fills the cache.
        const QByteArray page = "/api.php?action=get_table&table=items&date=0&limit=37";
        const RawAnswer first = rawGet(m_nginx->port(), page, "Accept-Encoding: gzip, deflate, br\r\n");
        QCOMPARE(first.status, 200);
        QCOMPARE(first.headers.value("x-cache-status"), QByteArray("MISS"));
        // nginx compresses for this client itself, and says that the answer varies.
        QCOMPARE(first.headers.value("content-encoding"), QByteArray("gzip"));
        QVERIFY(first.headers.value("vary").contains("Accept-Encoding"));

        const RawAnswer plain = rawGet(m_nginx->port(), page);
        QCOMPARE(plain.status, 200);
        QCOMPARE(plain.headers.value("x-cache-status"), QByteArray("HIT"));
        QVERIFY2(!plain.headers.contains("content-encoding"),
                 plain.headers.value("content-encoding").constData());
        QVERIFY2(plain.body.startsWith("<?xml"), plain.body.left(40).toHex().constData());
        QDomDocument doc;
        QVERIFY(doc.setContent(plain.body));
        QCOMPARE(doc.documentElement().elementsByTagName(QStringLiteral("ROW")).size(), 37);

        // The template, not only the servers, keeps compression away from the cache: a backend
        // that compresses whenever asked (as the HTTP library does by itself) behind its own nginx.
        httplib::Server compressing;
        const std::string xml = plain.body.toStdString();
        compressing.Get("/api.php", [&xml](const httplib::Request &, httplib::Response &res) {
            res.set_header("Cache-Control", "public, max-age=60");
            res.set_header("ETag", "\"one\"");
            res.set_content(xml, "text/xml; charset=UTF-8");
        });
        const int backend = compressing.bind_to_any_port("127.0.0.1");
        std::thread serving([&compressing] { compressing.listen_after_bind(); });
        {
            NginxFront front(qEnvironmentVariable("RAMUX_SOURCE_DIR"),
                             m_dir.filePath(QStringLiteral("nginx-compressing")),
                             {QStringLiteral("127.0.0.1:%1").arg(backend)});
            QVERIFY2(front.error().isEmpty(), qPrintable(front.error()));
            QCOMPARE(rawGet(front.port(), page, "Accept-Encoding: br\r\n").status, 200);
            QCOMPARE(rawGet(front.port(), page, "Accept-Encoding: gzip, deflate, br\r\n").status, 200);
            const RawAnswer after = rawGet(front.port(), page);
            QCOMPARE(after.headers.value("x-cache-status"), QByteArray("HIT"));
            QVERIFY2(!after.headers.contains("content-encoding"),
                     after.headers.value("content-encoding").constData());
            QVERIFY(after.body == plain.body);
        }
        compressing.stop();
        serving.join();
    }

    void halfRequestsDoNotHoldUpANormalClient()
    {
        std::vector<int> sockets;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(quint16(m_nginx->port()));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const char half[] =
            "GET /api.php?action=get_table&table=items&date=0&limit=200 HTTP/1.1\r\nHost: x\r\n";
        for (int i = 0; i < 500; ++i) {
            const int sock = ::socket(AF_INET, SOCK_STREAM, 0);
            QVERIFY(sock >= 0);
            sockets.push_back(sock);
            QCOMPARE(::connect(sock, reinterpret_cast<sockaddr *>(&address), sizeof(address)), 0);
            QVERIFY(::send(sock, half, sizeof(half) - 1, MSG_NOSIGNAL) > 0);
        }
        QThread::msleep(200);
        // A request no cache holds yet, so it has to reach a ramux-server.
        httplib::Client client("127.0.0.1", m_nginx->port());
        client.set_read_timeout(30);
        QElapsedTimer timer;
        timer.start();
        const auto res = client.Get("/api.php?action=get_table&table=vendors&date=0&limit=200&probe=" +
                                    std::to_string(QDateTime::currentMSecsSinceEpoch()));
        const qint64 ms = timer.elapsed();
        for (int sock : sockets)
            ::close(sock);
        QVERIFY(res);
        QCOMPARE(res->status, 200);
        QCOMPARE(res->get_header_value("X-Cache-Status"), std::string("MISS"));
        qInfo("a request past 500 half-sent ones: %lld ms", ms);
        QVERIFY2(ms < 1500, qPrintable(QString::number(ms)));
    }

    void aRequestInAGetBodyAnswersNoOne_data()
    {
        QTest::addColumn<int>("backends");
        QTest::newRow("one server") << 1;
        QTest::newRow("two servers") << 2;
    }

    void aRequestInAGetBodyAnswersNoOne()
    {
        QFETCH(int, backends);
        std::unique_ptr<NginxFront> single;
        int port = m_nginx->port();
        if (backends == 1) {
            single = std::make_unique<NginxFront>(qEnvironmentVariable("RAMUX_SOURCE_DIR"),
                                                  m_dir.filePath(QStringLiteral("nginx-single")),
                                                  QStringList{QUrl(m_serverA->address()).authority()});
            QVERIFY2(single->error().isEmpty(), qPrintable(single->error()));
            port = single->port();
        }
        const int direct = QUrl(m_serverA->address()).port();
        // Each hidden request is left open, to take the head of whatever the connection carries next.
        for (const QByteArray &hidden :
             {QByteArray("GET /item/103 HTTP/1.1\r\nHost: x\r\nX-Pad: "),
              QByteArray("GET /api.php?action=get_table&table=items&date=999999999 HTTP/1.1\r\nHost: x\r\nX-Pad: ")})
            rawRequest(port, "GET /item/102 HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\nContent-Length: " +
                                 QByteArray::number(hidden.size()) + "\r\n\r\n" + hidden);
        QStringList targets;
        for (int i = 0; i < 6; ++i) {
            targets << QStringLiteral("/item/101?species=1&weight=%1").arg(backends * 100 + i)
                    << QStringLiteral("/api.php?action=get_table&table=items&date=0&limit=%1").arg(backends * 100 + i);
        }
        for (const bool cached : {false, true}) {
            for (const QString &target : targets) {
                const RawAnswer via = rawGet(port, target.toLatin1());
                const RawAnswer want = rawGet(direct, target.toLatin1());
                QCOMPARE(via.status, 200);
                QVERIFY2(via.body == want.body, qPrintable(target + QStringLiteral(": another answer")));
                if (cached)
                    QCOMPARE(via.headers.value("x-cache-status"), QByteArray("HIT"));
            }
        }
    }

    void junkSpellingsOfAPageAddNoCachedBody()
    {
        const auto cachedBodies = [this] {
            int n = 0;
            for (QDirIterator it(m_nginx->cacheDir(), QDir::Files, QDirIterator::Subdirectories); it.hasNext(); it.next())
                ++n;
            return n;
        };
        QCOMPARE(rawGet(m_nginx->port(), "/item/7").status, 200);
        const int before = cachedBodies();
        for (int i = 0; i < 40; ++i) {
            const QByteArray junk[] = {"/item/7?utm=" + QByteArray::number(i), "/item/" + QByteArray(i % 5 + 1, '0') + "7",
                                       "/item/7?Species=" + QByteArray::number(i) + "&species=1"};
            const RawAnswer answer = rawGet(m_nginx->port(), junk[i % 3]);
            QCOMPARE(answer.status, 301);
            QVERIFY(answer.headers.value("location").startsWith("/item/7"));
        }
        QThread::msleep(200);
        QCOMPARE(cachedBodies(), before);
        const RawAnswer again = rawGet(m_nginx->port(), "/item/7");
        QCOMPARE(again.headers.value("x-cache-status"), QByteArray("HIT"));
        QCOMPARE(again.headers.value("server"), QByteArray("nginx")); // no version
    }

    void searchesAndCalculationsHaveALimitNoPersonMeets()
    {
        // A person: a search or a calculation every quarter of a second for five seconds.
        for (int i = 0; i < 20; ++i) {
            const QByteArray target = i % 2 ? "/search?q=person" + QByteArray::number(i)
                                             : "/item/101?species=1&weight=" + QByteArray::number(i + 1);
            QCOMPARE(rawGet(m_nginx->port(), target).status, 200);
            QThread::msleep(250);
        }
        // A flood from another address is answered 429 past its burst; the person still is not.
        int limited = 0;
        for (int i = 0; i < 300; ++i)
            limited += rawGet(m_nginx->port(), "/search?q=flood", {}, "127.0.0.2").status == 429 ? 1 : 0;
        QCOMPARE(rawGet(m_nginx->port(), "/search?q=person").status, 200);
        qInfo("a flood of 300 searches: %d answered 429", limited);
        QVERIFY2(limited >= 200, qPrintable(QString::number(limited)));
    }
};

QTEST_GUILESS_MAIN(TestDrillNginx)
#include "tst_drillnginx.moc"
