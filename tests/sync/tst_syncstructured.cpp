// The structured tables on the client: through the real programs (publish, ramux-server,
// ramuxctl sync), and against in-process servers that do not offer them or fail otherwise.
#include "syncprocess.h"
#include "syncserver.h"

#include "db/options.h"
#include "update/runrecord.h"
#include "update/updaterun.h"

#include <QDir>
#include <QTemporaryDir>

namespace {

class QuietHost final : public UpdateHost
{
public:
    QString database;
    QStringList log;
    void ReportStatus(const UpdateFields &) override {}
    void HideStatus() override {}
    void ShowDataDetails(UpdateFields &) override { log << QStringLiteral("details"); }
    void postDataReload() override { log << QStringLiteral("reload"); }
    void postStructuredDataChanged() override { log << QStringLiteral("structured"); }
    void sleepMs(int) override {}
    QString databaseFile() override { return database; }
};

void copyTree(const QString &from, const QString &to)
{
    QDir().mkpath(to);
    for (const QFileInfo &info : QDir(from).entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString target = to + QLatin1Char('/') + info.fileName();
        if (info.isDir())
            copyTree(info.filePath(), target);
        else
            QFile::copy(info.filePath(), target);
    }
}

QByteArray fail(int code)
{
    return failEnvelope(code, "Неизвестная таблица");
}

ContentRow speciesRow(int id, qint64 stamp, const QString &code)
{
    return {id,
            stamp,
            false,
            {{QStringLiteral("code"), code},
             {QStringLiteral("name"), code},
             {QStringLiteral("food"), QStringLiteral("0")}}};
}

} // namespace

class TestSyncStructured : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_files = 0;

    QString newDatabase(const QString &server)
    {
        const QString path = m_dir.filePath(QStringLiteral("db%1.rxd").arg(++m_files));
        schema::createDatabaseFile(path);
        Database db;
        db.open(path, schema::databasePassword());
        Statement st = db.prepare(QStringLiteral("UPDATE options SET o_upd_serv = ?1, o_prog_upd = 0"));
        st.bind(1, server);
        st.run();
        return path;
    }

    static QStringList rows(const QString &path, const QString &table)
    {
        Database db;
        db.open(path, schema::databasePassword());
        return dumpTable(db, table);
    }

    // ramux-server on a content file; its address once it listens.
    static QString startServer(QProcess &server, const QString &content)
    {
        server.start(programPath(QStringLiteral("ramux-server")),
                     {QStringLiteral("--content"), content, QStringLiteral("--port"), QStringLiteral("0"),
                      QStringLiteral("--quiet")});
        if (!server.waitForStarted())
            return QString();
        QByteArray log;
        const QRegularExpression listening(QStringLiteral("listening on (http://\\S+/api\\.php)"));
        QDeadlineTimer deadline(30000);
        while (!deadline.hasExpired() && server.state() == QProcess::Running) {
            server.waitForReadyRead(200);
            log += server.readAllStandardError();
            const auto match = listening.match(QString::fromUtf8(log));
            if (match.hasMatch())
                return match.captured(1);
        }
        return QString();
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void publishedRowsReachTheClientAndADeletedRowLeavesIt()
    {
        const QString sources = m_dir.filePath(QStringLiteral("sources"));
        copyTree(qEnvironmentVariable("RAMUX_SOURCE_DIR") + QStringLiteral("/data/demo"), sources);
        const QString content = m_dir.filePath(QStringLiteral("content.sqlite"));
        QByteArray out, err;
        QCOMPARE(
            runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("publish"), sources, content}, &out, &err),
            0);

        QProcess server;
        const QString address = startServer(server, content);
        QVERIFY(!address.isEmpty());
        const QString client = m_dir.filePath(QStringLiteral("client.rxd"));
        QCOMPARE(runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("create"), client}), 0);
        const QStringList sync{QStringLiteral("sync"), QStringLiteral("--db"), client,
                               QStringLiteral("--server"), address};
        QCOMPARE(runProgram(QStringLiteral("ramuxctl"), sync, &out, &err), 0);

        auto compareWithContent = [&] {
            Database served, synced;
            served.open(content, QByteArray());
            synced.open(client, schema::databasePassword());
            for (const QString &table : schema::structuredTables()) {
                const QStringList want = dumpTable(served, table, {QStringLiteral("last_update")});
                QVERIFY2(!want.isEmpty(), qPrintable(table));
                QCOMPARE(dumpTable(synced, table), want);
                Statement high = served.prepare(
                    QStringLiteral("SELECT max((SELECT coalesce(max(last_update), 0) FROM %1),"
                                   " (SELECT coalesce(max(last_update), 0) FROM tombstones WHERE tbl = ?1))")
                        .arg(table));
                high.bind(1, table);
                QVERIFY(high.step());
                QCOMPARE(readTablePosition(synced, table), high.int64(0));
            }
        };
        compareWithContent();
        if (QTest::currentTestFailed())
            return;
        const QStringList dosesBefore = rows(client, QStringLiteral("item_doses"));

        // The editor takes the cat's row out of the first product; the client loses it, nothing else.
        const QString item = sources + QStringLiteral("/items/101.txt");
        QFile file(item);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QString text = QString::fromUtf8(file.readAll());
        file.close();
        const qsizetype from = text.indexOf(QStringLiteral("\nspecies: cat\n"));
        const qsizetype to = text.indexOf(QStringLiteral("\n== withdrawal"), from);
        QVERIFY(from > 0 && to > from);
        text.remove(from, to - from);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text.toUtf8());
        file.close();
        QCOMPARE(
            runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("publish"), sources, content}, &out, &err),
            0);
        QVERIFY2(out.contains("item_doses\tadded 0\tchanged 0\tdeleted 1"), out.constData());
        QCOMPARE(runProgram(QStringLiteral("ramuxctl"), sync, &out, &err), 0);
        QCOMPARE(out, QByteArray("edited 0\ndeleted 0\nadded 0\n")); // the lists' counters saw nothing
        const QStringList dosesAfter = rows(client, QStringLiteral("item_doses"));
        QCOMPARE(dosesAfter.size(), dosesBefore.size() - 1);
        for (const QString &row : dosesAfter)
            QVERIFY(dosesBefore.contains(row));
        compareWithContent();

        server.terminate();
        if (!server.waitForFinished(5000))
            server.kill();
    }

    void serverWithoutTheTablesIsNoFailureAndKeepsWhatCame()
    {
        ContentModel content;
        content.add(QStringLiteral("sections"),
                    {1, 1, false, {{QStringLiteral("name"), QStringLiteral("Группа")}}});
        content.add(QStringLiteral("species"), speciesRow(1, 2, QStringLiteral("dog")));
        bool offered = true;
        int failCode = 2;
        SyncServer server([&](const QMap<QString, QString> &q) {
            if (!offered && schema::isStructuredTable(q.value(QStringLiteral("table"))))
                return fail(failCode);
            return content.page(q);
        });
        QuietHost host;
        host.database = newDatabase(server.address());
        {
            UpdateRun run(host);
            QCOMPARE(run.Execute(), UpdateRun::Ending::Nothing);
            QCOMPARE(run.stats.structuredTablesRead, 4);
            QVERIFY(run.stats.structuredChanged());
        }
        QCOMPARE(rows(host.database, QStringLiteral("species")).size(), 1);

        // An older server: a FAIL answer of any code for each new table. No failure, rows kept.
        offered = false;
        for (int code : {2, 7}) {
            failCode = code;
            host.log.clear();
            UpdateRun run(host);
            QCOMPARE(run.Execute(), UpdateRun::Ending::Nothing);
            QCOMPARE(run.stats.structuredNotOffered, 4);
            QCOMPARE(run.stats.failedRequests, 0);
            QVERIFY(run.stats.failure == SyncStats::Failure::None);
            QVERIFY(makeRunRecord(run.stats, run.errorText()).succeeded);
            QVERIFY(host.log.isEmpty()); // nothing changed: no reload, no structured word
            QCOMPARE(rows(host.database, QStringLiteral("species")).size(), 1);
        }
    }

    void otherFailuresOfTheNewTablesFailTheRun()
    {
        ContentModel content;
        SyncServer server([&](const QMap<QString, QString> &q) -> QByteArray {
            if (q.value(QStringLiteral("table")) == QLatin1String("item_doses"))
                return "<ANSWER><RESULT status=\"OK\"/><DATA><TABLE>"; // cut off: not XML
            return content.page(q);
        });
        QuietHost host;
        host.database = newDatabase(server.address());
        UpdateRun run(host);
        QCOMPARE(run.Execute(), UpdateRun::Ending::Error);
        QVERIFY(!makeRunRecord(run.stats, run.errorText()).succeeded);
    }

    void changeOfOnlyTheNewTablesIsAnnouncedWithoutReload()
    {
        ContentModel content;
        content.add(QStringLiteral("items"),
                    {1, 1, false, {{QStringLiteral("name"), QStringLiteral("Препарат")}}});
        SyncServer server([&](const QMap<QString, QString> &q) {
            QByteArray page = content.page(q);
            if (q.value(QStringLiteral("table")) == QLatin1String("items"))
                page.replace("<TABLE>", "<TABLE update_details_url=\"http://x/\">");
            return page;
        });
        QuietHost host;
        host.database = newDatabase(server.address());
        {
            UpdateRun run(host);
            QCOMPARE(run.Execute(), UpdateRun::Ending::DetailsShown);
        }
        QCOMPARE(host.log, (QStringList{QStringLiteral("details"), QStringLiteral("reload")}));

        // Only a dose row and a species come: the lists stay, the window hears of it.
        content.add(QStringLiteral("species"), speciesRow(1, 5, QStringLiteral("cat")));
        content.add(QStringLiteral("item_doses"), {7,
                                                   6,
                                                   false,
                                                   {{QStringLiteral("item_id"), QStringLiteral("1")},
                                                    {QStringLiteral("species_id"), QStringLiteral("1")},
                                                    {QStringLiteral("dose_from"), QStringLiteral("0.5")}}});
        host.log.clear();
        {
            UpdateRun run(host);
            QCOMPARE(run.Execute(), UpdateRun::Ending::Nothing);
            QCOMPARE(run.fields.AddedCount + run.fields.EditedCount + run.fields.DeletedCount, 0);
            QCOMPARE(run.stats.structuredChanges, qint64(2));
        }
        QCOMPARE(host.log, QStringList{QStringLiteral("structured")});
        Database db;
        db.open(host.database, schema::databasePassword());
        QCOMPARE(readTablePosition(db, QStringLiteral("item_doses")), qint64(6));
        QVERIFY(dumpTable(db, QStringLiteral("item_doses"))
                    .value(0)
                    .startsWith(QStringLiteral("integer:7|integer:1|null:|integer:1|null:")));
    }

    void olderDatabaseGetsTheTablesFromTheWorker()
    {
        ContentModel content;
        content.add(QStringLiteral("species"), speciesRow(3, 1, QStringLiteral("cattle")));
        SyncServer server([&](const QMap<QString, QString> &q) { return content.page(q); });
        QuietHost host;
        host.database = newDatabase(server.address());
        {
            Database db;
            db.open(host.database, schema::databasePassword());
            for (const QString &table :
                 schema::structuredTables() + QStringList{QStringLiteral("sync_positions")})
                db.exec(QStringLiteral("DROP TABLE %1").arg(table));
        }
        UpdateRun run(host);
        QCOMPARE(run.Execute(), UpdateRun::Ending::Nothing);
        QCOMPARE(rows(host.database, QStringLiteral("species")),
                 QStringList{QStringLiteral("integer:3|text:cattle|text:cattle|integer:0")});
        Database db;
        db.open(host.database, schema::databasePassword());
        QCOMPARE(readTablePosition(db, QStringLiteral("species")), qint64(1));
        QVERIFY(db.hasTable(QStringLiteral("item_withdrawals")));
    }
};

QTEST_GUILESS_MAIN(TestSyncStructured)
#include "tst_syncstructured.moc"
