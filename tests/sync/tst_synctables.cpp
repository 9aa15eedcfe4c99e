// The synchronisation and the update run against in-process update servers on 127.0.0.1.
#include "syncserver.h"

#include "db/options.h"
#include "db/schema.h"
#include "db/sqlitedb.h"
#include "update/programupdate.h"
#include "update/serverrequest.h"
#include "update/synctables.h"
#include "update/updaterun.h"

#include <QTemporaryDir>
#include <QTest>

#include <atomic>

namespace {

// Records what the run shows and posts, in order.
class RecordingHost final : public UpdateHost
{
public:
    QString database;
    QStringList log;
    bool updateOnly = false;
    std::function<bool()> stop;
    std::function<void(UpdateRun &)> programCheck;
    std::function<void(UpdateFields &)> adjust;
    InstallOutcome installOutcome{InstallOutcome::Result::Installed, 0, true};

    void ReportStatus(const UpdateFields &fields) override { log << QStringLiteral("status:") + fields.StatusText; }
    void HideStatus() override { log << QStringLiteral("hide"); }
    void ShowDataDetails(UpdateFields &fields) override
    {
        log << QStringLiteral("details:%1|%2").arg(fields.DetailsText, fields.DetailsUrl);
        fields.DialogResult = 1;
    }
    void postClose() override { log << QStringLiteral("close"); }
    void postDataReload() override { log << QStringLiteral("reload"); }
    bool isUpdateOnly() const override { return updateOnly; }
    bool stopRequested() const override { return stop && stop(); }
    void sleepMs(int milliseconds) override { log << QStringLiteral("sleep:%1").arg(milliseconds); }
    QString databaseFile() override { return database; }
    void adjustSettings(UpdateFields &fields) override
    {
        if (adjust)
            adjust(fields);
    }
    void CheckProgramUpdate(UpdateRun &run) override
    {
        log << QStringLiteral("programcheck");
        if (programCheck)
            programCheck(run);
    }
    InstallOutcome startInstaller(const QString &path) override
    {
        log << QStringLiteral("installer:") + path;
        return installOutcome;
    }
    void ShowInstallFailure(const QString &text) override { log << QStringLiteral("failure:") + text; }

    QStringList statuses() const { return log.filter(QStringLiteral("status:")); }
};

QByteArray tablePage(const QByteArray &rows, const QByteArray &attributes = {})
{
    return okEnvelope("<DATA><TABLE" + attributes + ">" + rows + "</TABLE></DATA>");
}

QByteArray emptyPage()
{
    return tablePage({});
}

} // namespace

class TestSyncTables : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_files = 0;

    // A fresh database whose options row points at the server.
    QString newDatabase(const QString &server, bool data = true, bool program = false)
    {
        const QString path = m_dir.filePath(QStringLiteral("db%1.rxd").arg(++m_files));
        schema::createDatabaseFile(path);
        Database db;
        db.open(path, schema::databasePassword());
        Statement st = db.prepare(QStringLiteral("UPDATE options SET o_upd_serv = ?1, o_data_upd = ?2, o_prog_upd = ?3"));
        st.bind(1, server).bind(2, qint64(data)).bind(3, qint64(program));
        st.run();
        return path;
    }

    static QString query(const QString &path, const QString &sql)
    {
        Database db;
        db.open(path, schema::databasePassword());
        Statement st = db.prepare(sql);
        return st.step() ? st.text(0) : QString();
    }

    static qint64 position(const QString &path, const QString &table)
    {
        Database db;
        db.open(path, schema::databasePassword());
        return readTablePosition(db, table);
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void firstRunAsksEveryTableFromTheStartAndPagesByDate()
    {
        ContentModel content;
        for (int i = 1; i <= 450; ++i)
            content.add(QStringLiteral("items"), {i, 1000 + i, false, {{QStringLiteral("name"), QStringLiteral("Препарат %1").arg(i)}}});
        content.add(QStringLiteral("sections"), {1, 5, false, {{QStringLiteral("name"), QStringLiteral("Группа")}, {QStringLiteral("parent_id"), QStringLiteral("0")}}});
        content.add(QStringLiteral("items_to_sections"), {1, 7, false, {{QStringLiteral("item_id"), QStringLiteral("1")}, {QStringLiteral("section_id"), QStringLiteral("1")}}});
        SyncServer server([&](const QMap<QString, QString> &q) { return content.page(q); });
        RecordingHost host;
        host.database = newDatabase(server.address());
        UpdateRun run(host);
        QCOMPARE(run.Execute(), UpdateRun::Ending::Nothing);

        const QStringList targets = server.targets();
        QVERIFY(!targets.isEmpty());
        QCOMPARE(targets.first(), QStringLiteral("/api.php?table=sections&action=get_table&start=0&limit=200&date=0&version=1.1"));
        // Every table in order; items takes three pages and an empty one.
        QCOMPARE(server.tablesAsked(),
                 QStringList({"sections", "sections", "distributors", "vendors", "dealers", "items", "items", "items", "items",
                              "items_to_sections", "items_to_sections", "items_to_vendors", "items_to_dealers",
                              "items_to_distributors", "species", "item_strengths", "item_doses", "item_withdrawals"}));
        QCOMPARE(targets.at(6), QStringLiteral("/api.php?table=items&action=get_table&start=0&limit=200&date=1200&version=1.1"));
        QCOMPARE(targets.at(7), QStringLiteral("/api.php?table=items&action=get_table&start=0&limit=200&date=1400&version=1.1"));
        QCOMPARE(query(host.database, QStringLiteral("SELECT count(*) FROM items")), QStringLiteral("450"));
        QCOMPARE(query(host.database, QStringLiteral("SELECT name FROM items WHERE id = 450")), QStringLiteral("Препарат 450"));
        QCOMPARE(position(host.database, QStringLiteral("items")), 1450);
        QCOMPARE(position(host.database, QStringLiteral("items_to_sections")), 7);
        QCOMPARE(position(host.database, QStringLiteral("vendors")), 0);
        QCOMPARE(run.fields.AddedCount, 451); // the link row is not counted
        QCOMPARE(run.fields.EditedCount, 0);
        QCOMPARE(host.statuses().first(), QStringLiteral("status:Запуск обновления..."));
        QCOMPARE(host.statuses().at(1), QStringLiteral("status:Проверка обновления данных..."));
        QCOMPARE(host.statuses().count(QStringLiteral("status:Подождите, загружаются данные...")), 5); // once per page
        // No details address: nothing to show, nothing to reload.
        QVERIFY(!host.log.contains(QStringLiteral("reload")));

        // The next run asks each table from where the last one stopped and changes nothing.
        RecordingHost again;
        again.database = host.database;
        UpdateRun second(again);
        QCOMPARE(second.Execute(), UpdateRun::Ending::Nothing);
        QCOMPARE(server.targets().size(), targets.size() + 13);
        QCOMPARE(server.targets().at(targets.size() + 4),
                 QStringLiteral("/api.php?table=items&action=get_table&start=0&limit=200&date=1450&version=1.1"));
        QCOMPARE(second.fields.AddedCount + second.fields.EditedCount, 0);
    }

    void emptyTablesShowNoLoadingStatusAndKeepPositions()
    {
        SyncServer server([](const QMap<QString, QString> &) { return emptyPage(); });
        RecordingHost host;
        host.database = newDatabase(server.address());
        {
            Database db;
            db.open(host.database, schema::databasePassword());
            writeTablePosition(db, QStringLiteral("dealers"), 77);
        }
        UpdateRun run(host);
        QCOMPARE(run.Execute(), UpdateRun::Ending::Nothing);
        QCOMPARE(server.targets().size(), 13);
        QVERIFY(server.targets().at(3).contains(QStringLiteral("date=77")));
        QCOMPARE(host.statuses(), QStringList({"status:Запуск обновления...", "status:Проверка обновления данных..."}));
        QCOMPARE(position(host.database, QStringLiteral("dealers")), 77);
        QCOMPARE(host.log.last(), QStringLiteral("hide"));
    }

    void detailsComeFromItemsAndTheFirstTextStays()
    {
        int itemsPage = 0;
        SyncServer server([&](const QMap<QString, QString> &q) -> QByteArray {
            const QString table = q.value(QStringLiteral("table"));
            if (table == QLatin1String("sections") && q.value(QStringLiteral("date")) == QLatin1String("0"))
                return tablePage("<ROW id=\"1\" last_update=\"1\"><name>s</name></ROW>",
                                 " update_details_text=\"from sections\" update_details_url=\"http://s/\"");
            if (table != QLatin1String("items"))
                return emptyPage();
            switch (itemsPage++) {
            case 0:
                return tablePage("<ROW id=\"1\" last_update=\"10\"><name>a</name></ROW>",
                                 " update_details_text=\"  Обновлено  \" update_details_url=\"http://x/news\"");
            case 1:
                return tablePage("<ROW id=\"2\" last_update=\"11\"><name>b</name></ROW>",
                                 " update_details_text=\"   \" update_details_url=\"\"");
            case 2:
                return tablePage("<ROW id=\"3\" last_update=\"12\"><name>c</name></ROW>");
            default:
                return emptyPage();
            }
        });
        RecordingHost host;
        host.database = newDatabase(server.address());
        UpdateRun run(host);
        QCOMPARE(run.Execute(), UpdateRun::Ending::DetailsShown);
        QCOMPARE(run.fields.DetailsText, QStringLiteral("Обновлено"));
        QCOMPARE(run.fields.DetailsUrl, QStringLiteral("http://x/news"));
        // The details window comes after the status has been hidden; the reload after the window.
        const qsizetype details = host.log.indexOf(QStringLiteral("details:Обновлено|http://x/news"));
        QVERIFY(details > 0);
        QCOMPARE(host.log.at(details - 1), QStringLiteral("hide"));
        QCOMPARE(host.log.at(details + 1), QStringLiteral("reload"));
    }

    void onlyLinkTablesChangedShowsNothing()
    {
        SyncServer server([](const QMap<QString, QString> &q) -> QByteArray {
            if (q.value(QStringLiteral("table")) == QLatin1String("items"))
                return emptyPage().replace("<TABLE>", "<TABLE update_details_url=\"http://x/\">");
            if (q.value(QStringLiteral("table")) == QLatin1String("items_to_vendors") && q.value(QStringLiteral("date")) == QLatin1String("0"))
                return tablePage("<ROW id=\"1\" last_update=\"3\"><item_id>1</item_id><vendor_id>2</vendor_id></ROW>");
            return emptyPage();
        });
        RecordingHost host;
        host.database = newDatabase(server.address());
        UpdateRun run(host);
        QCOMPARE(run.Execute(), UpdateRun::Ending::Nothing);
        QCOMPARE(run.fields.DetailsUrl, QStringLiteral("http://x/"));
        QCOMPARE(run.fields.AddedCount, 0);
        QCOMPARE(query(host.database, QStringLiteral("SELECT vendor_id FROM items_to_vendors WHERE id = 1")), QStringLiteral("2"));
        QVERIFY(host.log.filter(QStringLiteral("details")).isEmpty());
        QVERIFY(!host.log.contains(QStringLiteral("reload")));
    }

    void failureAnswerEndsTheTableAndTheNextFollows()
    {
        SyncServer server([](const QMap<QString, QString> &q) -> QByteArray {
            const QString table = q.value(QStringLiteral("table"));
            if (table == QLatin1String("vendors"))
                return failEnvelope(5, "no such table");
            if (table == QLatin1String("dealers") && q.value(QStringLiteral("date")) == QLatin1String("0"))
                return tablePage("<ROW id=\"4\" last_update=\"2\"><name>d</name></ROW>");
            if (table == QLatin1String("distributors"))
                return okEnvelope("<DATA><NOTABLE/></DATA>"); // no TABLE: an empty page
            return emptyPage();
        });
        RecordingHost host;
        host.database = newDatabase(server.address());
        UpdateRun run(host);
        QCOMPARE(run.Execute(), UpdateRun::Ending::Nothing);
        QCOMPARE(server.tablesAsked().count(QStringLiteral("vendors")), 1);
        QCOMPARE(server.tablesAsked().count(QStringLiteral("distributors")), 1);
        QCOMPARE(server.tablesAsked().count(QStringLiteral("dealers")), 2);
        QCOMPARE(server.tablesAsked().size(), 14);
        QCOMPARE(run.stats.failedRequests, 1);
        QCOMPARE(position(host.database, QStringLiteral("dealers")), 2);
        QCOMPARE(run.fields.AddedCount, 1);
    }

    void answerThatIsNotXmlEndsTheRun()
    {
        SyncServer server([](const QMap<QString, QString> &q) -> QByteArray {
            const QString table = q.value(QStringLiteral("table"));
            if (table == QLatin1String("sections") && q.value(QStringLiteral("date")) == QLatin1String("0"))
                return tablePage("<ROW id=\"1\" last_update=\"1\"><name>s</name></ROW>");
            if (table == QLatin1String("items"))
                return tablePage("<ROW id=\"1\" last_update=\"1\"><name>s</name></ROW>", " update_details_url=\"http://x/\"");
            if (table == QLatin1String("vendors"))
                return "<html><body>Proxy error</body>"; // not well-formed
            return emptyPage();
        });
        RecordingHost host;
        host.updateOnly = true;
        host.database = newDatabase(server.address(), true, true);
        UpdateRun run(host);
        QCOMPARE(run.Execute(), UpdateRun::Ending::Error);
        QCOMPARE(server.tablesAsked(), QStringList({"sections", "sections", "distributors", "vendors"}));
        // What was committed stays; nothing after the error runs, the clean-up does.
        QCOMPARE(position(host.database, QStringLiteral("sections")), 1);
        QVERIFY(!host.log.contains(QStringLiteral("programcheck")));
        QVERIFY(host.log.filter(QStringLiteral("details")).isEmpty());
        QVERIFY(!host.log.contains(QStringLiteral("reload")));
        QCOMPARE(host.log.mid(host.log.size() - 2), QStringList({"hide", "close"}));
    }

    void serverThatDoesNotMoveForwardIsCutOff()
    {
        // Always the same page whatever the date: a correct server would answer an empty one.
        SyncServer server([](const QMap<QString, QString> &q) -> QByteArray {
            if (q.value(QStringLiteral("table")) == QLatin1String("vendors"))
                return tablePage("<ROW id=\"1\" last_update=\"5\"><name>v</name></ROW>");
            if (q.value(QStringLiteral("table")) == QLatin1String("dealers"))
                return tablePage("<ROW id=\"1\"><name>no stamp</name></ROW>");
            return emptyPage();
        });
        RecordingHost host;
        host.database = newDatabase(server.address());
        UpdateRun run(host);
        QCOMPARE(run.Execute(), UpdateRun::Ending::Nothing);
        QCOMPARE(server.tablesAsked().count(QStringLiteral("vendors")), 1 + tablesync::maxStalledPages);
        QCOMPARE(server.tablesAsked().count(QStringLiteral("dealers")), tablesync::maxStalledPages);
        QCOMPARE(server.tablesAsked().last(), QStringLiteral("item_withdrawals"));
        QCOMPARE(run.stats.cutOffTables, 2);
        QCOMPARE(position(host.database, QStringLiteral("vendors")), 5);
    }

    void stopRequestIsHonouredBeforeEachPage()
    {
        ContentModel content;
        for (int i = 1; i <= 1000; ++i)
            content.add(QStringLiteral("vendors"), {i, i, false, {{QStringLiteral("name"), QStringLiteral("v")}}});
        SyncServer server([&](const QMap<QString, QString> &q) { return content.page(q); });
        RecordingHost host;
        host.database = newDatabase(server.address(), true, true);
        host.stop = [&] { return server.targets().size() >= 4; };
        UpdateRun run(host);
        QCOMPARE(run.Execute(), UpdateRun::Ending::Nothing);
        QCOMPARE(server.targets().size(), 4); // sections, distributors, two pages of vendors
        QCOMPARE(position(host.database, QStringLiteral("vendors")), 400);
        QVERIFY(!host.log.contains(QStringLiteral("programcheck")));
        QCOMPARE(host.log.last(), QStringLiteral("hide"));
    }

    void bothSwitchesOffSendNothing()
    {
        SyncServer server([](const QMap<QString, QString> &) { return emptyPage(); });
        RecordingHost host;
        host.database = newDatabase(server.address(), false, false);
        UpdateRun run(host);
        QCOMPARE(run.Execute(), UpdateRun::Ending::Nothing);
        QVERIFY(server.targets().isEmpty());
        QCOMPARE(host.log, QStringList({"status:Запуск обновления...", "hide", "hide"}));
    }

    void missingDatabaseWaitsAndCleansUp()
    {
        RecordingHost host;
        host.updateOnly = true;
        host.database = m_dir.filePath(QStringLiteral("nowhere.rxd"));
        UpdateRun run(host);
        QCOMPARE(run.Execute(), UpdateRun::Ending::NoDatabase);
        QCOMPARE(host.log, QStringList({"status:Запуск обновления...", "status:Не удается открыть базу данных", "sleep:5000",
                                        "hide", "close"}));
        QVERIFY(!QFileInfo::exists(host.database)); // never created by opening
    }

    void wrongKeyCountsAsMissingDatabase()
    {
        const QString path = m_dir.filePath(QStringLiteral("plain.rxd"));
        {
            Database plain;
            plain.open(path, QByteArray(), Database::OpenMode::Create);
            plain.exec(QStringLiteral("CREATE TABLE options (id INTEGER PRIMARY KEY)"));
        }
        RecordingHost host;
        host.database = path;
        UpdateRun run(host);
        QCOMPARE(run.Execute(), UpdateRun::Ending::NoDatabase);
    }

    void installerReadyClosesTheProgramWithoutDetails()
    {
        SyncServer server([](const QMap<QString, QString> &q) -> QByteArray {
            if (q.value(QStringLiteral("table")) == QLatin1String("items") && q.value(QStringLiteral("date")) == QLatin1String("0"))
                return tablePage("<ROW id=\"1\" last_update=\"1\"><name>a</name></ROW>", " update_details_url=\"http://x/\"");
            return emptyPage();
        });
        RecordingHost host;
        host.database = newDatabase(server.address(), true, true);
        host.programCheck = [](UpdateRun &run) {
            run.fields.InstallerReady = true;
            run.fields.InstallerPath = QStringLiteral("/tmp/setup.bin");
        };
        UpdateRun run(host);
        QCOMPARE(run.Execute(), UpdateRun::Ending::InstallerStarted);
        const qsizetype installer = host.log.indexOf(QStringLiteral("installer:/tmp/setup.bin"));
        QVERIFY(installer > 0);
        QCOMPARE(host.log.mid(installer + 1, 2), QStringList({"hide", "close"}));
        QVERIFY(host.log.filter(QStringLiteral("details")).isEmpty());
        QVERIFY(!host.log.contains(QStringLiteral("reload")));

        // A failed install is told, and the program goes on with the data it has just received.
        RecordingHost failing;
        failing.database = newDatabase(server.address(), true, true);
        failing.programCheck = host.programCheck;
        failing.installOutcome = InstallOutcome{InstallOutcome::Result::Failed, 100, true};
        UpdateRun second(failing);
        QCOMPARE(second.Execute(), UpdateRun::Ending::DetailsShown);
        const qsizetype attempt = failing.log.indexOf(QStringLiteral("installer:/tmp/setup.bin"));
        QVERIFY(attempt > 0);
        QCOMPARE(failing.log.mid(attempt + 1, 4),
                 QStringList({"hide", "failure:Обновление программы не установлено: ошибка установки пакета, код 100",
                              "details:|http://x/", "reload"}));
        QVERIFY(!failing.log.contains(QStringLiteral("close")));
    }

    void serverThatNeverAnswersEndsWithinTheBound()
    {
        const RequestLimits saved = requestLimits();
        RequestLimits quick = saved;
        quick.stallTimeoutSec = 1;
        quick.connectTimeoutMs = 1000;
        setRequestLimits(quick);
        std::atomic<bool> release{false};
        SyncServer server([&](const QMap<QString, QString> &) {
            for (int i = 0; i < 150 && !release; ++i)
                QThread::msleep(10);
            return emptyPage();
        });
        RecordingHost host;
        host.database = newDatabase(server.address());
        QElapsedTimer timer;
        timer.start();
        UpdateRun run(host);
        QCOMPARE(run.Execute(), UpdateRun::Ending::Nothing);
        release = true;
        setRequestLimits(saved);
        QCOMPARE(run.stats.failedRequests, 13); // the structured tables' time-outs are failures too
        QVERIFY2(timer.elapsed() < 25000, qPrintable(QString::number(timer.elapsed())));
    }

    void carriageReturnsAreStoredAsTheServerSentThem()
    {
        SyncServer server([](const QMap<QString, QString> &q) -> QByteArray {
            if (q.value(QStringLiteral("table")) == QLatin1String("items") &&
                q.value(QStringLiteral("date")) == QLatin1String("0"))
                return tablePage("<ROW id=\"1\" last_update=\"1\"><dose>Строка 1&#13;&#10;Строка 2</dose>"
                                 "<form>a&#13;b</form><description><p>x&#13;&#10;y</p></description></ROW>");
            return emptyPage();
        });
        RecordingHost host;
        host.database = newDatabase(server.address());
        UpdateRun run(host);
        QCOMPARE(run.Execute(), UpdateRun::Ending::Nothing);
        QCOMPARE(query(host.database, QStringLiteral("SELECT dose FROM items WHERE id = 1")),
                 QStringLiteral("Строка 1\r\nСтрока 2"));
        QCOMPARE(query(host.database, QStringLiteral("SELECT form FROM items WHERE id = 1")),
                 QStringLiteral("a\rb"));
        QCOMPARE(query(host.database, QStringLiteral("SELECT description FROM items WHERE id = 1")),
                 QStringLiteral("<p>x&#13;\ny</p>"));
    }

    void stalledPagesCountOnlyInARow()
    {
        // Each date is answered once with the page that brought it (no progress), then with the
        // next one: more stalls than the bound in all, never two in a row.
        QMap<QString, int> asked;
        SyncServer server([&asked](const QMap<QString, QString> &q) -> QByteArray {
            if (q.value(QStringLiteral("table")) != QLatin1String("vendors"))
                return emptyPage();
            const qint64 date = q.value(QStringLiteral("date")).toLongLong();
            const bool repeat = date > 0 && asked[q.value(QStringLiteral("date"))]++ == 0;
            const qint64 stamp = repeat ? date : date + 1;
            if (stamp > 6)
                return emptyPage();
            return tablePage("<ROW id=\"" + QByteArray::number(stamp) + "\" last_update=\"" +
                             QByteArray::number(stamp) + "\"><name>v</name></ROW>");
        });
        RecordingHost host;
        host.database = newDatabase(server.address());
        UpdateRun run(host);
        QCOMPARE(run.Execute(), UpdateRun::Ending::Nothing);
        QCOMPARE(run.stats.cutOffTables, 0);
        QCOMPARE(position(host.database, QStringLiteral("vendors")), 6);
        QCOMPARE(query(host.database, QStringLiteral("SELECT count(*) FROM vendors")), QStringLiteral("6"));
    }

    void sameVersionOfferIsNotReadPastItsVersion_data()
    {
        QTest::addColumn<QByteArray>("rest");
        QTest::newRow("markup in ABOUT")
            << QByteArray("<ABOUT><b>Новое</b></ABOUT><DL_LINK>http://h/s.sh</DL_LINK>");
        QTest::newRow("malformed digest") << QByteArray("<DL_SHA256>not-a-digest</DL_SHA256>");
        QTest::newRow("elements in the link") << QByteArray("<DL_LINK>http://h/<i>x</i></DL_LINK>");
    }

    void sameVersionOfferIsNotReadPastItsVersion()
    {
        // The running version offered with faults in the rest: the run goes on as if no offer
        // had come, to the details window and the reload after changed rows.
        QFETCH(QByteArray, rest);
        SyncServer server([&rest](const QMap<QString, QString> &q) -> QByteArray {
            if (q.value(QStringLiteral("action")) == QLatin1String("check_update"))
                return okEnvelope("<DATA><VERSION>1.1</VERSION>" + rest + "</DATA>");
            if (q.value(QStringLiteral("table")) == QLatin1String("items") &&
                q.value(QStringLiteral("date")) == QLatin1String("0"))
                return tablePage("<ROW id=\"1\" last_update=\"1\"><name>a</name></ROW>",
                                 " update_details_url=\"http://x/\"");
            return emptyPage();
        });
        RecordingHost host;
        host.database = newDatabase(server.address(), true, true);
        host.programCheck = [](UpdateRun &run) { RunProgramUpdateCheck(run); };
        UpdateRun run(host);
        QCOMPARE(run.Execute(), UpdateRun::Ending::DetailsShown);
        QVERIFY(server.targets().last().contains(QStringLiteral("action=check_update")));
        QVERIFY(run.fields.DownloadLink.isEmpty());
        QVERIFY(host.log.contains(QStringLiteral("details:|http://x/")));
        QVERIFY(host.log.contains(QStringLiteral("reload")));
    }
};

QTEST_GUILESS_MAIN(TestSyncTables)
#include "tst_synctables.moc"
