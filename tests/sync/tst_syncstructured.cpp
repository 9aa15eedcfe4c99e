// The structured tables on the client: through the real programs (publish, ramux-server,
// ramuxctl sync), and against in-process servers that do not offer them or fail otherwise.
#include "syncprocess.h"
#include "syncserver.h"

#include "answers/animalfilter.h"
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

// Small products, each with what one edit below clears or reorders.
const char *const kItems[][2] = {
    {"11", "== dose\n<p>Собакам при нематодозах — 10 мг на 1 кг массы тела внутрь, 1 раз в сутки, 3 дня.</p>"
           "<p>Собакам — 10 мг на 1 кг массы тела.</p>\n"
           "== strengths\nform: суспензия\nsubstance: альбендазол\namount: 100 мг\nper: 1 мл\n"
           "== doses\nspecies: dog\nroute: внутрь\nindication: нематодозы\ndose: 10\nunit: мг\nbasis: kg\n"
           "frequency: 1 раз в сутки\nduration: 3 дня\nsource: dose\n"
           "quote: Собакам при нематодозах — 10 мг на 1 кг массы тела внутрь, 1 раз в сутки, 3 дня.\n"},
    {"12", "== dose\n<p>Собакам — 5–10 мг на 1 кг массы тела.</p><p>Собакам — 5 мг на 1 кг массы тела.</p>\n"
           "== strengths\nform: суспензия\namount: 50 мг\nper: 1 мл\n"
           "== doses\nspecies: dog\ndose: 5-10\nunit: мг\nbasis: kg\nsource: dose\n"
           "quote: Собакам — 5–10 мг на 1 кг массы тела.\n"},
    {"13", "== dose\n<p>Собакам — 2 мг на 1 кг массы тела, но не более 30 мг на одно введение.</p>"
           "<p>Собакам — 2 мг на 1 кг массы тела.</p>\n"
           "== strengths\nform: раствор\namount: 10 мг\nper: 1 мл\n"
           "== doses\nspecies: dog\ndose: 2\nunit: мг\nbasis: kg\nmax_single: 30 мг\nsource: dose\n"
           "quote: Собакам — 2 мг на 1 кг массы тела, но не более 30 мг на одно введение.\n"},
    {"14",
     "== dose\n<p>Кошкам — 5 мг празиквантела на 1 кг массы тела.</p>\n"
     "== strengths\nform: таблетка\nsubstance: празиквантел\namount: 50 мг\nper: 1 таблетка\nfractions: 2\n"
     "== doses\nspecies: cat\nsubstance: празиквантел\ndose: 5\nunit: мг\nbasis: kg\nsource: dose\n"
     "quote: Кошкам — 5 мг празиквантела на 1 кг массы тела.\n"},
    {"15", "== dose\n<p>Собакам — 5 мг на 1 кг массы тела.</p>\n"
           "== strengths\nform: таблетка\namount: 50 мг\nper: 1 таблетка\nfractions: 2\n"
           "== doses\nspecies: dog\ndose: 5\nunit: мг\nbasis: kg\nsource: dose\n"
           "quote: Собакам — 5 мг на 1 кг массы тела.\n"},
    {"16", "== dose\n<p>Собакам — 1 мг на 1 кг массы тела.</p>\n"
           "== strengths\nform: раствор\namount: 10 мг\nper: 1 мл\n"
           "== doses\nspecies: dog\ndose: 1\nunit: мг\nbasis: kg\nsource: dose\n"
           "quote: Собакам — 1 мг на 1 кг массы тела.\n"},
    {"17", "== special_conditions\n<p>Убой на мясо — через 28 суток.</p><p>Молоко — через 3 суток.</p>"
           "<p>Молоко в пищу не допускается.</p>\n"
           "== withdrawal\nspecies: cattle\ntissue: meat\nperiod: 28 d\nsource: special_conditions\n"
           "quote: Убой на мясо — через 28 суток.\n\n"
           "species: cattle\ntissue: milk\nperiod: 3 d\nsource: special_conditions\n"
           "quote: Молоко — через 3 суток.\n"},
    {"18",
     "== dose\n<p>Собакам — 2 мг на 1 кг массы тела, но не более 30 мг на одно введение.</p>"
     "<p>Кошкам — 2 мг на 1 кг массы тела.</p>\n"
     "== strengths\nform: раствор\namount: 10 мг\nper: 1 мл\n"
     "== doses\nspecies: dog\ndose: 2\nunit: мг\nbasis: kg\nmax_single: 30 мг\nsource: dose\n"
     "quote: Собакам — 2 мг на 1 кг массы тела, но не более 30 мг на одно введение.\n\n"
     "species: cat\ndose: 2\nunit: мг\nbasis: kg\nsource: dose\nquote: Кошкам — 2 мг на 1 кг массы тела.\n"},
};

const char *const kDogRow = "species: dog\ndose: 2\nunit: мг\nbasis: kg\nmax_single: 30 мг\nsource: dose\n"
                            "quote: Собакам — 2 мг на 1 кг массы тела, но не более 30 мг на одно введение.\n";
const char *const kCatRow =
    "species: cat\ndose: 2\nunit: мг\nbasis: kg\nsource: dose\nquote: Кошкам — 2 мг на 1 кг массы тела.\n";

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

// A folder publish reads: one group, the animals, the products above.
void writeSources(const QString &dir, const QMap<QByteArray, QByteArray> &items)
{
    QDir().mkpath(dir + QStringLiteral("/items"));
    writeFile(dir + QStringLiteral("/sections.tsv"), "1\t0\tГруппа\n");
    for (const char *list : {"vendors", "distributors", "dealers"})
        writeFile(dir + QLatin1Char('/') + QLatin1String(list) + QStringLiteral(".tsv"), "");
    writeFile(dir + QStringLiteral("/animals.tsv"),
              "1\tdog\tсобаки\t0\n2\tcat\tкошки\t0\n3\tcattle\tкрупный рогатый скот\t1\n");
    for (auto it = items.cbegin(); it != items.cend(); ++it)
        writeFile(dir + QStringLiteral("/items/%1.txt").arg(QString::fromLatin1(it.key())),
                  "name: Препарат " + it.key() + "\ngroups: 1\n" + it.value());
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

    void clearedAndReorderedValuesReachTheClientAsTheSourcesSay()
    {
        using Edits = std::vector<std::pair<QByteArray, QByteArray>>;
        const QByteArray dogThenCat = QByteArray(kDogRow) + '\n' + kCatRow;
        const QByteArray catThenDog = QByteArray(kCatRow) + '\n' + kDogRow;
        const struct
        {
            const char *item;
            Edits edits;
            QStringList species; // dose (at the weight) and withdrawal are asked for each
            const char *weight;
            const char *shows; // in the answers once the edit has arrived
        } cases[] = {
            {"11",
             {{"route: внутрь\nindication: нематодозы\n", ""},
              {"frequency: 1 раз в сутки\nduration: 3 дня\n", ""},
              {"quote: Собакам при нематодозах — 10 мг на 1 кг массы тела внутрь, 1 раз в сутки, 3 дня.",
               "quote: Собакам — 10 мг на 1 кг массы тела."}},
             {"dog"},
             "20",
             "route\t\nindication\t\n"},
            {"12",
             {{"dose: 5-10", "dose: 5"}, {"quote: Собакам — 5–10", "quote: Собакам — 5"}},
             {"dog"},
             "20",
             "dose\t5\t5\tмг/кг"},
            {"13",
             {{"max_single: 30 мг\n", ""}, {", но не более 30 мг на одно введение.\n", ".\n"}},
             {"dog"},
             "20",
             "amount\t4.0\t4.0\tмл"},
            {"14", {{"substance: празиквантел\ndose", "dose"}}, {"cat"}, "10", "amount\t1\t1\tтаблетка"},
            {"15",
             {{"form: таблетка\n", ""}, {"fractions: 2\n", ""}},
             {"dog"},
             "15",
             "Отмерить точно нельзя"},
            {"16",
             {{"amount: 10 мг\nper: 1 мл", "amount: 1 %\nper: мл"}},
             {"dog"},
             "20",
             "amount\t2.0\t2.0\tмл"},
            {"17",
             {{"period: 3 d\nsource: special_conditions\nquote: Молоко — через 3 суток.",
               "period: не допускается\nsource: special_conditions\nquote: Молоко в пищу не допускается."}},
             {"cattle"},
             "",
             "milk\tне допускается\t-\n"},
            {"18", {{dogThenCat, catThenDog}}, {"dog", "cat"}, "20", "capped\t30\tмг"},
        };
        QMap<QByteArray, QByteArray> before, after;
        for (const auto &item : kItems)
            before.insert(item[0], item[1]);
        after = before;
        for (const auto &c : cases) {
            for (const auto &[from, to] : c.edits) {
                QVERIFY2(after[c.item].contains(from), c.item);
                after[c.item].replace(from, to);
            }
        }

        // Published, synced, edited, published again and synced; beside it a client of the
        // edited sources alone.
        QByteArray out, err;
        const auto publishAndServe = [&](const QString &name, const QMap<QByteArray, QByteArray> &items,
                                         QProcess &server) {
            const QString sources = m_dir.filePath(name);
            writeSources(sources, items);
            const QString content = m_dir.filePath(name + QStringLiteral(".sqlite"));
            const int code = runProgram(QStringLiteral("ramuxctl"),
                                        {QStringLiteral("publish"), sources, content}, &out, &err);
            if (code != 0)
                return QString::fromUtf8(err);
            return server.state() == QProcess::Running ? QString() : startServer(server, content);
        };
        const auto synced = [&](const QString &client, const QString &address) {
            if (!QFile::exists(client))
                runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("create"), client});
            return runProgram(
                QStringLiteral("ramuxctl"),
                {QStringLiteral("sync"), QStringLiteral("--db"), client, QStringLiteral("--server"), address},
                &out, &err);
        };
        QProcess edited, fresh;
        const QString editedAddress = publishAndServe(QStringLiteral("edited"), before, edited);
        QVERIFY2(editedAddress.startsWith(QLatin1String("http")), qPrintable(editedAddress));
        const QString client = m_dir.filePath(QStringLiteral("edited.rxd"));
        QCOMPARE(synced(client, editedAddress), 0);
        QCOMPARE(publishAndServe(QStringLiteral("edited"), after, edited), QString());
        QCOMPARE(synced(client, editedAddress), 0);
        const QString freshAddress = publishAndServe(QStringLiteral("fresh"), after, fresh);
        QVERIFY2(freshAddress.startsWith(QLatin1String("http")), qPrintable(freshAddress));
        const QString reference = m_dir.filePath(QStringLiteral("fresh.rxd"));
        QCOMPARE(synced(reference, freshAddress), 0);

        const auto answers = [&](const QString &db, const char *item, const QString &species,
                                 const char *weight) {
            QString text;
            const QString link = QStringLiteral("ITEM:") + QLatin1String(item);
            QList<QStringList> commands{{QStringLiteral("withdrawal"), link, QStringLiteral("--species"),
                                         species, QStringLiteral("--last"),
                                         QStringLiteral("01.03.2027 08:00")}};
            if (*weight)
                commands << QStringList{QStringLiteral("dose"),      link,
                                        QStringLiteral("--species"), species,
                                        QStringLiteral("--weight"),  QLatin1String(weight)};
            for (const QStringList &command : commands) {
                const int code =
                    runProgram(QStringLiteral("ramuxctl"), command + QStringList{"--db", db}, &out, &err);
                text += QString::number(code) + QLatin1Char('\n') + QString::fromUtf8(out + err);
            }
            return text;
        };
        const auto clientEqualsSources = [&](bool shows) {
            for (const auto &c : cases) {
                for (const QString &species : c.species) {
                    const QString got = answers(client, c.item, species, c.weight);
                    QCOMPARE(got, answers(reference, c.item, species, c.weight));
                    if (shows && species == c.species.first())
                        QVERIFY2(got.contains(QString::fromUtf8(c.shows)), qPrintable(got));
                }
            }
            Database a, b;
            a.open(client, schema::databasePassword());
            b.open(reference, schema::databasePassword());
            const AnimalIndex animals = loadAnimalIndex(a);
            QCOMPARE(animals.bySpecies, loadAnimalIndex(b).bySpecies);
            QCOMPARE(animals.withAnswers, loadAnimalIndex(b).withAnswers);
        };
        const auto storesAgree = [&] {
            Database a, b;
            a.open(client, schema::databasePassword());
            b.open(reference, schema::databasePassword());
            for (const QString &table : schema::structuredTables())
                QCOMPARE(dumpTable(a, table), dumpTable(b, table));
        };
        clientEqualsSources(true);
        storesAgree();

        // A store an older program wrote holds '' where NULL belongs: read alike at once, and
        // turned into NULL by the next run.
        {
            Database db;
            db.open(client, schema::databasePassword());
            db.exec(QStringLiteral(
                "UPDATE item_strengths SET form = coalesce(form, ''), substance = coalesce(substance, ''),"
                " per_amount = coalesce(per_amount, ''), fractions = coalesce(fractions, '');"
                "UPDATE item_doses SET route = coalesce(route, ''), indication = coalesce(indication, ''),"
                " substance = coalesce(substance, ''), dose_to = coalesce(dose_to, ''),"
                " frequency = coalesce(frequency, ''), duration = coalesce(duration, ''),"
                " max_single = coalesce(max_single, ''), max_single_unit = coalesce(max_single_unit, '');"
                "UPDATE item_withdrawals SET period = coalesce(period, ''), period_unit = "
                "coalesce(period_unit, '');"));
        }
        clientEqualsSources(false);
        QCOMPARE(synced(client, editedAddress), 0);
        storesAgree();

        for (QProcess *server : {&edited, &fresh}) {
            server->terminate();
            if (!server->waitForFinished(5000))
                server->kill();
        }
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
