// `ramuxctl sync` as a user runs it, against in-process servers: Ctrl-C in the middle of a
// transfer, and a page the program refuses for its size.
#include "syncprocess.h"
#include "syncserver.h"

#include "db/options.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <atomic>
#include <csignal>

class TestSyncCtl : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_files = 0;

    QString newDatabase()
    {
        const QString path = m_dir.filePath(QStringLiteral("s%1.rxd").arg(++m_files));
        return runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("create"), path}) == 0 ? path
                                                                                             : QString();
    }

    static QStringList syncArguments(const QString &path, const SyncServer &server)
    {
        return {QStringLiteral("sync"), QStringLiteral("--db"), path, QStringLiteral("--server"),
                server.address()};
    }

    static QString scalar(const QString &path, const QString &sql)
    {
        Database db;
        db.open(path, schema::databasePassword());
        Statement st = db.prepare(sql);
        return st.step() ? st.text(0) : QString();
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void ctrlCStopsATransferAndKeepsTheWholePages()
    {
        ContentModel content;
        for (int id = 1; id <= 450; ++id)
            content.add(QStringLiteral("vendors"),
                        {id, id, false, {{QStringLiteral("name"), QStringLiteral("Завод %1").arg(id)}}});
        // The third page of vendors never comes: the server sits on the request.
        std::atomic<bool> release{false};
        std::atomic<bool> holding{false};
        SyncServer server([&](const QMap<QString, QString> &q) {
            if (q.value(QStringLiteral("table")) == QLatin1String("vendors") &&
                q.value(QStringLiteral("date")) == QLatin1String("400")) {
                holding = true;
                for (int i = 0; i < 6000 && !release; ++i)
                    QThread::msleep(10);
            }
            return content.page(q);
        });
        const QString path = newDatabase();
        QVERIFY(!path.isEmpty());

        QProcess sync;
        sync.start(programPath(QStringLiteral("ramuxctl")), syncArguments(path, server));
        QVERIFY(sync.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(holding.load(), 30000);
        QThread::msleep(300); // well inside the transfer
        QElapsedTimer sinceSignal;
        sinceSignal.start();
        ::kill(pid_t(sync.processId()), SIGINT);
        const bool ended = sync.waitForFinished(15000);
        const qint64 took = sinceSignal.elapsed();
        release = true;
        if (!ended) {
            sync.kill();
            sync.waitForFinished();
        }
        QVERIFY2(ended, "still waiting for the server 15 s after Ctrl-C");
        QVERIFY2(took < 5000, qPrintable(QString::number(took)));
        QCOMPARE(sync.exitStatus(), QProcess::NormalExit);
        QCOMPARE(sync.exitCode(), 128 + SIGINT);
        QVERIFY(sync.readAllStandardError().contains("sync stopped"));

        // As after the second page: nothing of the third, nothing of the tables after it.
        QVERIFY(!server.tablesAsked().contains(QStringLiteral("dealers")));
        QCOMPARE(scalar(path, QStringLiteral("SELECT lu_vendors FROM options")), QStringLiteral("400"));
        QCOMPARE(scalar(path, QStringLiteral("SELECT count(*) || ' ' || max(id) FROM vendors")),
                 QStringLiteral("400 400"));
        QCOMPARE(scalar(path, QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok"));

        // The next run goes on from there.
        QCOMPARE(runProgram(QStringLiteral("ramuxctl"), syncArguments(path, server)), 0);
        QCOMPARE(scalar(path, QStringLiteral("SELECT count(*) FROM vendors")), QStringLiteral("450"));
    }

    void pageOverTheSizeCapIsReportedNamingTheTable()
    {
        // One answer just over the 64 MB an answer may have; the other tables go on.
        SyncServer server([](const QMap<QString, QString> &q) -> QByteArray {
            const bool first = q.value(QStringLiteral("date")) == QLatin1String("0");
            if (q.value(QStringLiteral("table")) == QLatin1String("vendors") && first)
                return okEnvelope("<DATA><TABLE><ROW id=\"1\" last_update=\"1\"><name>" +
                                  QByteArray(65 * 1024 * 1024, 'v') + "</name></ROW></TABLE></DATA>");
            if (q.value(QStringLiteral("table")) == QLatin1String("dealers") && first)
                return okEnvelope(
                    "<DATA><TABLE><ROW id=\"1\" last_update=\"3\"><name>d</name></ROW></TABLE></DATA>");
            return okEnvelope("<DATA><TABLE/></DATA>");
        });
        const QString path = newDatabase();
        QVERIFY(!path.isEmpty());
        QByteArray out, err;
        QCOMPARE(runProgram(QStringLiteral("ramuxctl"), syncArguments(path, server), &out, &err), 3);
        // The warning of the synchronisation's own logging, and the tool's summary.
        QVERIFY2(err.contains("table vendors not brought up to date"), err.constData());
        QVERIFY2(err.contains("table vendors: a page is larger than this program accepts"), err.constData());
        QCOMPARE(
            scalar(path, QStringLiteral("SELECT coalesce(lu_vendors, 0) || ' ' || lu_dealers FROM options")),
            QStringLiteral("0 3"));
    }
};

QTEST_GUILESS_MAIN(TestSyncCtl)
#include "tst_syncctl.moc"
