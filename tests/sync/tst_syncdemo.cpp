// Syncing an empty database from ramux-server --demo gives exactly the demo database, and both
// know their content is the demo.
#include "syncprocess.h"

#include "db/demoreference.h"
#include "db/options.h"
#include "update/greeting.h"

#include <QTemporaryDir>

class TestSyncDemo : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QProcess m_server;
    QString m_address;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_server.start(programPath(QStringLiteral("ramux-server")),
                       {QStringLiteral("--demo"), QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--quiet")});
        QVERIFY2(m_server.waitForStarted(), qPrintable(m_server.errorString()));
        QByteArray log;
        const QRegularExpression listening(QStringLiteral("listening on (http://\\S+/api\\.php)"));
        QDeadlineTimer deadline(30000);
        while (!deadline.hasExpired() && m_address.isEmpty() && m_server.state() == QProcess::Running) {
            m_server.waitForReadyRead(200);
            log += m_server.readAllStandardError();
            const auto match = listening.match(QString::fromUtf8(log));
            if (match.hasMatch())
                m_address = match.captured(1);
        }
        QVERIFY2(!m_address.isEmpty(), log.constData());
    }
    void cleanupTestCase()
    {
        m_server.terminate();
        if (!m_server.waitForFinished(5000))
            m_server.kill();
    }

    void emptyDatabaseSyncsToTheDemoDatabase()
    {
        const QString synced = m_dir.filePath(QStringLiteral("synced.rxd"));
        const QString demo = m_dir.filePath(QStringLiteral("demo.rxd"));
        QCOMPARE(runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("create"), synced}), 0);
        QCOMPARE(runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("demo"), demo}), 0);

        QByteArray out, err;
        QCOMPARE(runProgram(QStringLiteral("ramuxctl"),
                            {QStringLiteral("sync"), QStringLiteral("--db"), synced, QStringLiteral("--server"), m_address},
                            &out, &err),
                 0);
        QVERIFY2(out.startsWith("edited 0\ndeleted 0\nadded "), out.constData());
        QVERIFY(err.contains("Подождите, загружаются данные..."));

        Database a, b;
        a.open(synced, schema::databasePassword());
        b.open(demo, schema::databasePassword());
        for (const QString &table : schema::servedTables()) {
            const QStringList got = dumpTable(a, table);
            const QStringList want = dumpTable(b, table);
            QVERIFY2(!want.isEmpty(), qPrintable(table));
            for (int i = 0; i < qMin(got.size(), want.size()); ++i)
                QVERIFY2(got.at(i) == want.at(i), qPrintable(QStringLiteral("%1 row %2:\n got  %3\n want %4")
                                                                 .arg(table).arg(i).arg(got.at(i).left(300), want.at(i).left(300))));
            QCOMPARE(got.size(), want.size());
        }
        // The settings are the new file's own; only the positions came from the server.
        // The structured tables' positions are kept in their own table.
        auto positions = [](Database &db) {
            Statement st = db.prepare(QStringLiteral("SELECT table_name || '=' || lu FROM sync_positions ORDER BY table_name"));
            QStringList out;
            while (st.step())
                out << st.text(0);
            return out;
        };
        QCOMPARE(positions(a).size(), 4);
        QCOMPARE(positions(a), positions(b));
        QCOMPARE(dumpTable(a, QStringLiteral("options"), positionColumns()),
                 dumpTable(b, QStringLiteral("options"), positionColumns()));
        for (const QString &column : positionColumns()) {
            Statement st = a.prepare(QStringLiteral("SELECT %1 FROM options").arg(column));
            QVERIFY(st.step());
            QVERIFY2(st.int64(0) > 0, qPrintable(column));
        }

        // The demo writer says so until a greeting arrives; then the server's greeting decides.
        QVERIFY(demoreference::holdsDemo(b));
        QVERIFY(!demoreference::holdsDemo(a));
        const GreetingResult greeting = RequestGreetingPage(m_address);
        QCOMPARE(greeting.code, 0);
        storeSplash(a, greeting.page);
        QVERIFY(demoreference::holdsDemo(a));
        storeSplash(b, QStringLiteral("<HTML>%1</HTML>").arg(QString::fromLatin1(
                           QByteArray("<p class='notice'>demo-content</p>").toBase64())));
        QVERIFY(!demoreference::holdsDemo(b));
    }

    void secondRunChangesNothing()
    {
        const QString path = m_dir.filePath(QStringLiteral("twice.rxd"));
        QCOMPARE(runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("create"), path}), 0);
        const QStringList sync{QStringLiteral("sync"), QStringLiteral("--db"), path, QStringLiteral("--server"), m_address};
        QCOMPARE(runProgram(QStringLiteral("ramuxctl"), sync), 0);
        QByteArray out;
        QCOMPARE(runProgram(QStringLiteral("ramuxctl"), sync, &out), 0);
        QCOMPARE(out, QByteArray("edited 0\ndeleted 0\nadded 0\n"));
    }

    void unreachableServerIsReportedByTheExitCode()
    {
        const QString path = m_dir.filePath(QStringLiteral("unreachable.rxd"));
        QCOMPARE(runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("create"), path}), 0);
        QCOMPARE(runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("sync"), QStringLiteral("--db"), path,
                                                          QStringLiteral("--server"), QStringLiteral("http://127.0.0.1:9/api.php")}),
                 3);
        QCOMPARE(runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("sync"), QStringLiteral("--db"),
                                                          m_dir.filePath(QStringLiteral("missing.rxd"))}),
                 1);
    }
};

QTEST_GUILESS_MAIN(TestSyncDemo)
#include "tst_syncdemo.moc"
