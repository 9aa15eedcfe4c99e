// The real ramuxctl dose and withdrawal against a client store filled by SQL: the blocks, the
// refusals on stderr and the exit codes a script relies on.
#include "answers/answerstore.h"
#include "db/schema.h"
#include "db/sqlitedb.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// The four tables as the client keeps them; IF NOT EXISTS, since the store may create them.
const char *const kAnswerTables =
    "CREATE TABLE IF NOT EXISTS species (id INTEGER PRIMARY KEY, code TEXT, name TEXT, food INTEGER);"
    "CREATE TABLE IF NOT EXISTS item_strengths (id INTEGER PRIMARY KEY, item_id INTEGER, ord INTEGER, form "
    "TEXT,"
    " substance TEXT, amount TEXT, amount_unit TEXT, per_amount TEXT, per_unit TEXT, fractions INTEGER);"
    "CREATE TABLE IF NOT EXISTS item_doses (id INTEGER PRIMARY KEY, item_id INTEGER, ord INTEGER,"
    " species_id INTEGER, route TEXT, indication TEXT, substance TEXT, dose_from TEXT, dose_to TEXT,"
    " dose_unit TEXT, basis TEXT, frequency TEXT, duration TEXT, max_single TEXT, max_single_unit TEXT,"
    " source_field TEXT, source_quote TEXT);"
    "CREATE TABLE IF NOT EXISTS item_withdrawals (id INTEGER PRIMARY KEY, item_id INTEGER, ord INTEGER,"
    " species_id INTEGER, tissue TEXT, period TEXT, period_unit TEXT, forbidden INTEGER, source_field TEXT,"
    " source_quote TEXT);";

const char *const kRows =
    "INSERT INTO items (id, name) VALUES (1, 'Альбен'), (3, 'Окси'), (4, 'Медет'), (5, 'Вакц'), (6, 'Дуо');"
    "INSERT INTO species VALUES (1, 'dog', 'собаки', 0), (2, 'cat', 'кошки', 0), (3, 'cattle',"
    " 'крупный рогатый скот', 1), (4, 'rabbit', 'кролики', 0), (5, 'sheep', 'овцы', 1), (6, 'chicken', "
    "'куры', 1);"
    "INSERT INTO item_strengths VALUES (1, 1, 1, 'суспензия', NULL, '50', 'мг', '1', 'мл', NULL),"
    " (2, 1, 2, 'таблетка', NULL, '50', 'мг', NULL, 'таблетка', 2),"
    " (3, 3, 1, 'раствор', NULL, '10', '%', NULL, 'мл', NULL),"
    " (4, 4, 1, 'раствор', NULL, '100', 'мкг', '1', 'мл', NULL),"
    " (5, 6, 1, 'таблетка', NULL, '50', 'мг', NULL, 'таблетка', 1),"
    " (6, 6, 2, 'суспензия', NULL, '50', 'мг', '1', 'мл', NULL);"
    "INSERT INTO item_doses (id, item_id, ord, species_id, route, indication, substance, dose_from, dose_to,"
    " dose_unit, basis, frequency, duration, max_single, max_single_unit, source_field, source_quote) VALUES"
    " (1, 1, 1, 1, 'внутрь', 'нематодозы', NULL, '5', '10', 'мг', 'kg', '1 раз в сутки', '3 дня', NULL, NULL,"
    "  'dose', 'собакам 5–10 мг/кг')," // the instruction's own dash
    " (2, 1, 2, 2, 'внутрь', 'нематодозы', NULL, '0.1', NULL, 'мл', 'kg', NULL, NULL, NULL, NULL,"
    "  'dose', 'кошкам 1 мл на 10 кг'),"
    " (3, 1, 3, 3, 'внутрь', NULL, NULL, '3000', NULL, 'МЕ', 'kg', NULL, NULL, NULL, NULL, 'dose', '3000 "
    "МЕ/кг'),"
    " (4, 1, 4, 5, 'внутрь', NULL, NULL, '5', NULL, 'мг', 'kg', NULL, NULL, NULL, NULL, 'dose', 'овцам 5 "
    "мг/кг'),"
    " (5, 1, 5, 1, 'внутрь', 'цестодозы', 'празиквантел', '5', NULL, 'мг', 'kg', NULL, NULL, NULL, NULL,"
    "  'dose', 'празиквантел 5 мг/кг')," // its strength has not arrived: not offered
    " (6, 3, 1, 1, 'подкожно', NULL, NULL, '50', '150', 'мг', 'kg', NULL, NULL, NULL, NULL, 'dose', "
    "'50–150'),"
    " (7, 4, 1, 1, 'внутримышечно', NULL, NULL, '10', NULL, 'мг', 'kg', NULL, NULL, '0.5', 'мг', 'dose', "
    "'10'),"
    " (8, 5, 1, 1, 'внутримышечно', NULL, NULL, '1', NULL, 'мл', 'animal', NULL, NULL, NULL, NULL, 'dose', "
    "'1 мл на животное')," // no strength: the product's own measure
    " (9, 6, 1, 1, 'внутрь', NULL, NULL, '1', NULL, 'мл', '10 kg', NULL, NULL, NULL, NULL, 'dose', "
    "'1 мл на 10 кг');"
    "INSERT INTO item_withdrawals VALUES (1, 1, 2, 3, 'milk', '96', 'h', 0, 'withdrawal', 'молоко — 96 "
    "часов'),"
    " (2, 1, 1, 3, 'meat', '28', 'd', 0, 'withdrawal', 'мясо — 28 суток'),"
    " (3, 3, 1, 3, 'milk', '0', 'h', 0, 'withdrawal', 'молоко без ограничений'),"
    " (4, 3, 2, 3, 'meat', NULL, NULL, 1, 'withdrawal', 'не допускается'),"
    " (5, 3, 3, 6, 'eggs', '24', 'h', 0, 'withdrawal', 'яйца — 24 часа'),"
    " (6, 3, 4, 6, 'meat', '1', 'd', 0, 'withdrawal', 'мясо — 1 сутки');";

struct Run
{
    int code = -1;
    QString out;
    QString err;
};

} // namespace

class TestDoseCommands : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void doseBlocksAndRefusals();
    void withdrawalLinesAndReleaseDates();
    void olderDatabaseHasNoAnswers();
    void speciesOfProductsCountOnlyOfferedRows();

private:
    Run run(const QStringList &args, const QString &db = {});
    QTemporaryDir m_dir;
    QString m_tool;
    QString m_db;
};

void TestDoseCommands::initTestCase()
{
    m_tool = qEnvironmentVariable("RAMUX_BIN_DIR") + QStringLiteral("/ramuxctl");
    if (!QFile::exists(m_tool))
        QSKIP("ramuxctl is not built");
    m_db = m_dir.filePath(QStringLiteral("client.rxd"));
    schema::createDatabaseFile(m_db);
    Database db;
    db.open(m_db, schema::databasePassword());
    db.exec(QString::fromUtf8(kAnswerTables));
    db.exec(QString::fromUtf8(kRows));
}

Run TestDoseCommands::run(const QStringList &args, const QString &db)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TZ"), QStringLiteral("Europe/Berlin")); // a zone with a clock change
    p.setProcessEnvironment(env);
    p.start(m_tool, args + QStringList{QStringLiteral("--db"), db.isEmpty() ? m_db : db});
    Run r;
    if (!p.waitForFinished(30000))
        return r;
    r.code = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

void TestDoseCommands::doseBlocksAndRefusals()
{
    const QString item1 = QStringLiteral("ITEM:1");
    const auto dose = [&](const QStringList &more) {
        return run(QStringList{QStringLiteral("dose"), item1} + more);
    };

    // The dog's row with the suspension (the first form); the praziquantel row waits for its strength.
    Run r = dose({"--species", "dog", "--weight", "12,5"});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, QString::fromUtf8("species\tdog\tсобаки\nroute\tвнутрь\nindication\tнематодозы\n"
                                      "weight_kg\t12.5\ndose\t5\t10\tмг/кг\nform\tсуспензия, 50 мг в 1 мл\n"
                                      "amount\t1.3\t2.5\tмл\nfrequency\t1 раз в сутки\nduration\t3 дня\n"
                                      "source\tсобакам 5–10 мг/кг\n"));

    // Halved tablets: 1.5 to 2, never 2.5; the Russian name finds the species as well.
    r = dose({"--species", "Собаки", "--weight", "12.0", "--form", "2"});
    QCOMPARE(r.code, 0);
    QVERIFY2(r.out.contains(QString::fromUtf8("\namount\t1.5\t2\tтаблетка\n")), qPrintable(r.out));
    QVERIFY(r.out.contains(QString::fromUtf8("form\tтаблетка, 50 мг, делится пополам\n")));

    // One value between two steps: shown rounded, the computed value beside it.
    r = dose({"--species", "cat", "--weight", "12.5"});
    QCOMPARE(r.code, 0);
    QVERIFY2(r.out.contains(QString::fromUtf8("amount\t1.3\t1.3\tмл\n")), qPrintable(r.out));
    QVERIFY(r.out.contains(QStringLiteral("\nrounded\t1.25\n")));

    // 10 % is 100 mg/ml; a mis-published mg row is held at the cap and says so.
    r = run({"dose", "ITEM:3", "--species", "dog", "--weight", "4"});
    QCOMPARE(r.code, 0);
    QVERIFY2(r.out.contains(QString::fromUtf8("amount\t2.0\t6.0\tмл\n")), qPrintable(r.out));
    r = run({"dose", "ITEM:4", "--species", "dog", "--weight", "10"});
    QCOMPARE(r.code, 0);
    QVERIFY2(r.out.contains(QString::fromUtf8("amount\t5.0\t5.0\tмл\n")), qPrintable(r.out));
    QVERIFY(r.out.contains(QString::fromUtf8("\ncapped\t0.5\tмг\n")));

    // Per 10 kg as the label writes it, with the form that fits (the suspension, not the first form).
    r = run({"dose", "ITEM:6", "--species", "dog", "--weight", "12,5"});
    QCOMPARE(r.code, 0);
    QVERIFY2(r.out.contains(QString::fromUtf8("\ndose\t1\t1\tмл/10 кг\nform\tсуспензия, 50 мг в 1 мл\n"
                                              "amount\t1.3\t1.3\tмл\n")),
             qPrintable(r.out));
    QVERIFY(r.out.contains(QStringLiteral("\nrounded\t1.25\n")));
    // A dose per animal needs no weight and no strength; an unreadable weight is still refused.
    r = run({"dose", "ITEM:5", "--species", "dog", "--weight", ""});
    QCOMPARE(r.code, 0);
    QVERIFY2(r.out.contains(QString::fromUtf8("\namount\t1.0\t1.0\tмл\n")), qPrintable(r.out));
    r = run({"dose", "ITEM:5", "--species", "dog", "--weight", "12 кг"});
    QCOMPARE(r.code, 3);
    QVERIFY2(r.err.contains(QString::fromUtf8("Масса тела — не число: «12 кг»")), qPrintable(r.err));

    // Refusals: words on stderr, nothing on stdout, exit 3.
    const struct
    {
        QStringList args;
        const char *reason;
    } refused[] = {
        {{"--species", "rabbit", "--weight", "2"}, "Для этого вида дозировка в инструкции не указана"},
        // МЕ against strengths in мг: not offered, as publishing would refuse it
        {{"--species", "cattle", "--weight", "400"}, "Для этого вида дозировка в инструкции не указана"},
        {{"--species", "dog", "--weight", "3000"}, "Масса тела должна быть от 0,01 до 2\u00a0000 кг"},
        {{"--species", "dog", "--weight", "abc"}, "Масса тела — не число"},
        {{"--species", "dog", "--weight", "12", "--route", "подкожно"},
         "Для этого вида с таким путём введения или показанием дозировка в инструкции не указана"},
        {{"--species", "horse", "--weight", "400"}, "Вид «horse» в справочнике не найден"},
    };
    for (const auto &c : refused) {
        r = dose(c.args);
        QCOMPARE(r.code, 3);
        QVERIFY(r.out.isEmpty());
        QVERIFY2(r.err.contains(QString::fromUtf8(c.reason)), qPrintable(r.err));
    }

    // A product the store does not have is named as such, by both commands.
    for (const QStringList &args : {QStringList{"dose", "ITEM:99999", "--species", "dog", "--weight", "5"},
                                    QStringList{"withdrawal", "ITEM:99999", "--species", "dog"}}) {
        r = run(args);
        QCOMPARE(r.code, 3);
        QVERIFY(r.out.isEmpty());
        QCOMPARE(r.err, QString::fromUtf8("Препарата ITEM:99999 в справочнике нет\n"));
    }

    // Usage errors: exit 2.
    QCOMPARE(dose({"--species", "dog"}).code, 2);
    QCOMPARE(run({"dose", "SECT:1", "--species", "dog", "--weight", "5"}).code, 2);
    QCOMPARE(dose({"--species", "dog", "--weight", "5", "--form", "7"}).code, 2);
    QCOMPARE(dose({"--species", "dog", "--weight", "5", "--form", "x"}).code, 2);
}

void TestDoseCommands::withdrawalLinesAndReleaseDates()
{
    Run r = run({"withdrawal", "ITEM:1", "--species", "cattle", "--last", "01.03.2027 08:00"});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, QString::fromUtf8("meat\t28 сут.\t29.03.2027 08:00\nmilk\t96 ч\t05.03.2027 08:00\n"));
    QVERIFY2(r.err.isEmpty(), qPrintable(r.err));
    // 02:30 comes twice when the clock goes back: the later one counts (never 01:30), in words too.
    r = run({"withdrawal", "ITEM:1", "--species", "cattle", "--last", "31.10.2027 02:30"});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, QString::fromUtf8("meat\t28 сут.\t28.11.2027 02:30\nmilk\t96 ч\t04.11.2027 02:30\n"));
    QCOMPARE(r.err, QString::fromUtf8("В этот час часы переводят назад, и 02:30 наступает дважды; сроки "
                                      "отсчитаны от второго, более позднего раза\n"));
    r = run({"withdrawal", "ITEM:1", "--species", "cattle"});
    QCOMPARE(r.out, QString::fromUtf8("meat\t28 сут.\t-\nmilk\t96 ч\t-\n"));

    // Zero stays 0 and releases at once; "не допускается" never gets a date.
    r = run({"withdrawal", "ITEM:3", "--species", "cattle", "--last", "01.03.2027 08:00"});
    QCOMPARE(r.out, QString::fromUtf8("meat\tне допускается\t-\nmilk\t0\t01.03.2027 08:00\n"));

    // Across the spring clock change: a calendar day keeps 08:00, 24 elapsed hours end at 09:00.
    r = run({"withdrawal", "ITEM:3", "--species", "chicken", "--last", "27.03.2027 08:00"});
    QCOMPARE(r.out, QString::fromUtf8("meat\t1 сут.\t28.03.2027 08:00\neggs\t24 ч\t28.03.2027 09:00\n"));

    // A food-producing species dosed without a period: no data, never 0.
    r = run({"withdrawal", "ITEM:1", "--species", "sheep", "--last", "01.03.2027 08:00"});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, QString::fromUtf8("meat\tнет данных\t-\nmilk\tнет данных\t-\neggs\tнет данных\t-\n"
                                      "honey\tнет данных\t-\n"));

    r = run({"withdrawal", "ITEM:1", "--species", "dog"});
    QCOMPARE(r.code, 3);
    QVERIFY(r.out.isEmpty());
    QVERIFY2(r.err.contains(QString::fromUtf8("сроки ожидания в инструкции не указаны")), qPrintable(r.err));
    QCOMPARE(run({"withdrawal", "ITEM:1", "--species", "cattle", "--last", "1.3.2027"}).code, 2);
    QCOMPARE(run({"withdrawal", "ITEM:1"}).code, 2);
}

void TestDoseCommands::olderDatabaseHasNoAnswers()
{
    const QString older = m_dir.filePath(QStringLiteral("older.rxd"));
    schema::createDatabaseFile(older);
    {
        Database db;
        db.open(older, schema::databasePassword());
        db.exec(QStringLiteral("DROP TABLE IF EXISTS species; DROP TABLE IF EXISTS item_strengths;"
                               "DROP TABLE IF EXISTS item_doses; DROP TABLE IF EXISTS item_withdrawals;"
                               "INSERT INTO items (id, name) VALUES (1, 'Альбен');"));
    }
    Run r = run({"dose", "ITEM:1", "--species", "dog", "--weight", "5"}, older);
    QCOMPARE(r.code, 3);
    QVERIFY2(r.err.contains(QString::fromUtf8("нет структурированных данных")), qPrintable(r.err));
    r = run({"withdrawal", "ITEM:1", "--species", "dog"}, older);
    QCOMPARE(r.code, 3);
}

void TestDoseCommands::speciesOfProductsCountOnlyOfferedRows()
{
    Database db;
    db.open(m_db, schema::databasePassword());
    QVERIFY(hasAnswerTables(db));
    QStringList codes;
    for (const Species &s : speciesOfProduct(db, 1))
        codes << s.code;
    QCOMPARE(codes, QStringList({"dog", "cat", "cattle", "sheep"}));
    const ProductAnswers answers = loadProductAnswers(db, 1);
    QCOMPARE(answers.strengths.size(), 2);
    QCOMPARE(answers.doses.size(), 3); // the praziquantel row waits for its strength, МЕ never fits
    QCOMPARE(productsWithSpecies(db, 1), QSet<qint64>({1, 3, 4, 5, 6}));
    QCOMPARE(productsWithSpecies(db, 2), QSet<qint64>({1})); // not item 4: its cat row waits too
    QCOMPARE(productsWithSpecies(db, 6), QSet<qint64>({3}));
    QVERIFY(productsWithSpecies(db, 4).isEmpty());
    QVERIFY(speciesOfProduct(db, 4).size() == 1);
}

QTEST_GUILESS_MAIN(TestDoseCommands)
#include "tst_dosecommands.moc"
