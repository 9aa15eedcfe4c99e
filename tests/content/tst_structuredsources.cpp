// The structured blocks of the sources: every refusal names its file and line and leaves the
// content file as it was; rows keep their ids across publishes; export gives the files back.
#include "content/contentdb.h"
#include "content/publish.h"
#include "content/sourcewrite.h"
#include "db/sqlitedb.h"
#include "sync/syncprocess.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Line numbers below are those of this text; the refusal cases name them.
const char *const kItem = R"(id: 101
name: Тестовый препарат
groups: 1
== dose
<p><b>Собакам</b> — 5–10&nbsp;мг на 1 кг массы тела, не более 5&nbsp;000 мг на одно введение, 2 раза в сутки.</p>
<p>Кошкам — 0,5 мл на 1 кг массы тела однократно, котятам — 1 мл на 10 кг.</p>
== special_conditions
<p>Убой на мясо — через 28 суток. Молоко — через 96 часов.</p>
== strengths
form: суспензия
amount: 50 мг
per: 1 мл

form: таблетка
amount: 50 мг
per: 1 таблетка
fractions: 2
== doses
species: dog
route: внутрь
dose: 5-10
unit: мг
basis: kg
max_single: 5000 мг
source: dose
quote: Собакам — 5–10 мг на 1 кг массы тела, не более 5 000 мг

species: cat
dose: 0.5
unit: мл
basis: kg
source: dose
quote: Кошкам — 0,5 мл на 1 кг массы тела однократно, котятам — 1 мл на 10 кг
== withdrawal
species: cattle
tissue: meat
period: 28 d
source: special_conditions
quote: Убой на мясо — через 28 суток.

species: cattle
tissue: milk
period: 96 h
source: special_conditions
quote: Молоко — через 96 часов.
)";

const char *const kSpecies = "1\tdog\tсобаки\t0\n2\tcat\tкошки\t0\n3\tcattle\tкрупный рогатый скот\t1\n";

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The item text with line `line` (1-based) replaced; "N: text" entries of `more` replace line N too.
QByteArray withLine(int line, const QString &text, const QStringList &more = {})
{
    QStringList lines = QString::fromUtf8(kItem).split(QLatin1Char('\n'));
    lines[line - 1] = text;
    for (const QString &entry : more)
        lines[entry.section(QLatin1Char(':'), 0, 0).toInt() - 1] = entry.section(QLatin1Char(':'), 1).mid(1);
    return lines.join(QLatin1Char('\n')).toUtf8();
}

// Rows of the four tables with their stamps: what a refused publish must leave alone.
QStringList structuredRows(const QString &content)
{
    Database db;
    db.open(content, QByteArray());
    QStringList out;
    for (const QString &table : schema::structuredTables())
        out << table << dumpTable(db, table);
    Statement tombs =
        db.prepare(QStringLiteral("SELECT tbl, id, last_update FROM tombstones ORDER BY tbl, id"));
    while (tombs.step())
        out << QStringLiteral("tomb %1 %2 %3").arg(tombs.text(0)).arg(tombs.int64(1)).arg(tombs.int64(2));
    return out;
}

QStringList countsOf(const PublishReport &report)
{
    QStringList lines;
    for (const TableChanges &t : report.tables) {
        if (t.added + t.changed + t.deleted > 0)
            lines << QStringLiteral("%1 %2 %3 %4").arg(t.table).arg(t.added).arg(t.changed).arg(t.deleted);
    }
    return lines;
}

} // namespace

class TestStructuredSources : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_count = 0;

    QString sources(const QByteArray &item = kItem, const QByteArray &species = kSpecies)
    {
        const QString dir = m_dir.filePath(QStringLiteral("src%1").arg(++m_count));
        writeFile(dir + QStringLiteral("/sections.tsv"), "1\t0\tГруппа\n");
        for (const char *list : {"/vendors.tsv", "/distributors.tsv", "/dealers.tsv"})
            writeFile(dir + QLatin1String(list), QByteArray());
        writeFile(dir + QStringLiteral("/animals.tsv"), species);
        writeFile(dir + QStringLiteral("/items/101.txt"), item);
        return dir;
    }
    QString contentPath() { return m_dir.filePath(QStringLiteral("c%1.sqlite").arg(++m_count)); }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void validBlocksArePublishedAsRows()
    {
        const QString content = contentPath();
        const PublishReport report = publishSources(sources(), content, {});
        QVERIFY2(report.errors.isEmpty(), qPrintable(report.errors.join(QLatin1Char('\n'))));
        QCOMPARE(countsOf(report).filter(QStringLiteral("item_")),
                 (QStringList{QStringLiteral("item_strengths 2 0 0"), QStringLiteral("item_doses 2 0 0"),
                              QStringLiteral("item_withdrawals 2 0 0")}));
        Database db;
        db.open(content, QByteArray());
        // Numbers with a point, the range and the cap split into their columns, NULL where unsaid.
        QCOMPARE(
            dumpTable(db, QStringLiteral("item_doses"), {QStringLiteral("last_update")}).value(0),
            QStringLiteral("integer:1|integer:101|integer:1|integer:1|text:внутрь|null:|null:|text:5|text:10|"
                           "text:мг|text:kg|null:|null:|text:5000|text:мг|text:dose|"
                           "text:Собакам — 5–10 мг на 1 кг массы тела, не более 5 000 мг"));
        QCOMPARE(
            dumpTable(db, QStringLiteral("item_withdrawals"), {QStringLiteral("last_update")}).value(1),
            QStringLiteral("integer:2|integer:101|integer:2|integer:3|text:milk|text:96|text:h|integer:0|"
                           "text:special_conditions|text:Молоко — через 96 часов."));
        QCOMPARE(dumpTable(db, QStringLiteral("item_strengths"), {QStringLiteral("last_update")}).value(1),
                 QStringLiteral("integer:2|integer:101|integer:2|text:таблетка|null:|text:50|text:мг|text:1|"
                                "text:таблетка|integer:2"));
    }

    void faultsAreRefusedWithFileAndLine_data()
    {
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QStringList>("more");
        auto add = [](const char *name, int line, const char *text, int errorLine, const char *what,
                      const QStringList &more = {}) {
            QTest::newRow(name)
                << line << QString::fromUtf8(text)
                << QStringLiteral("items/101.txt:%1: %2").arg(errorLine).arg(QString::fromUtf8(what)) << more;
        };
        add("unit outside the list", 22, "unit: mg", 22, "единица \"mg\" не из списка");
        add("percent as a dose unit", 22, "unit: %", 22, "единица \"%\" не из списка");
        add("IU against mg", 30, "unit: МЕ", 30,
            "единица дозы МЕ несовместима с силой действия препарата (мг/мл, мг/таблетка)");
        add("from above to", 21, "dose: 10-5", 21, "доза \"от\" больше дозы \"до\": 10 > 5");
        add("negative dose", 21, "dose: -5", 21, "доза пишется как \"5\" или \"5-10\", без знака");
        add("species not in the list", 28, "species: rabbit", 28, "вида \"rabbit\" нет в animals.tsv");
        add("negative period", 37, "period: -28 d", 37, "срок ожидания не может быть отрицательным: -28");
        add("period without unit", 37, "period: 28", 37, "срок ожидания без единицы");
        add("period in weeks", 43, "period: 96 w", 43, "единица срока \"w\": h (часы) или d (сутки)");
        add("quote not in the text", 39, "quote: Убой на мясо — через 30 суток.", 39,
            "цитаты нет в разделе special_conditions");
        add("number not in the quote", 29, "dose: 0.6", 33, "в цитате нет «0,6 мл»");
        add("number only inside another", 29, "dose: 5", 33, "в цитате нет «5 мл»");
        add("period not in the quote", 43, "period: 72 h", 45, "в цитате нет «72 ч»");
        // Quotes read as quantities: the number with its unit, the basis after it, whole words.
        add("per 10 kg read as per kg", 29, "dose: 10", 33, "в цитате нет «10 мл»");
        add("per 10 kg written per kg", 29, "dose: 1", 33,
            "в цитате доза «1 мл» на 10 кг, а в строке — на 1 кг");
        add("per kg written per 10 kg", 31, "basis: 10 kg", 33,
            "в цитате доза «0,5 мл» на 1 кг, а в строке — на 10 кг");
        add("days quoted, hours written", 37, "period: 28 h", 39,
            "в цитате срок в сутках, а в строке — в часах");
        add("quote cut from a number", 33, "quote: 5 мл на 1 кг", 33, "цитаты нет в разделе dose");
        add("thousands are one number", 24, "max_single: 5 мг", 26, "в цитате нет «5 мг»");
        add("range end is no single dose", 21, "dose: 5", 26, "в цитате нет «5 мг»");
        add("quote inside a comment", 8, "<p><!-- Убой на мясо — через 28 суток. > --> Молоко — через 96 часов.</p>",
            39, "цитаты нет в разделе special_conditions");
        add("prohibition not quoted", 43, "period: не допускается", 45, "в цитате нет запрета");
        // One definition of a usable row: what a client would leave out is refused here.
        add("zero dose", 29, "dose: 0", 29, "доза не может быть нулём");
        add("zero cap", 24, "max_single: 0 мг", 24, "максимальная разовая доза записана с ошибкой");
        add("zero amount", 11, "amount: 0 мг", 11, "содержание вещества не указано или не число");
        add("per in МЕ", 12, "per: 1 МЕ", 12, "единица формы «МЕ» не из списка");
        add("capsules are not divided", 16, "per: 1 капсула", 17, "делят только таблетки и болюсы");
        add("beyond the decimal type", 29, "dose: 9999999999", 29, "доза: \"9999999999\" не число");
        add("period over ten years", 37, "period: 3651 d", 37, "срок ожидания больше 3650 суток");
        add("two substances, row names none", 10, "substance: альбендазол", 19,
            "у препарата несколько веществ (альбендазол, празиквантел)", {"14: substance: празиквантел"});
        add("grams against a strength per gram", 22, "unit: г", 22,
            "доза в г, а сила действия указана на г: укажите of: product",
            {"16: per: 1 г", "17: substance: альбендазол"});
        add("cap unit of another kind", 24, "max_single: 1 мл", 24,
            "единицы наибольшей разовой дозы (мл) и дозы (мг) несовместимы");
        add("fractions of three", 17, "fractions: 3", 17,
            "деление таблетки: 1 (только целиком), 2 (пополам) или 4");
        add("quote from a missing section", 25, "source: effect", 25, "у препарата нет раздела effect");
        add("unknown key", 20, "rout: внутрь", 20, "неизвестный ключ rout в разделе doses");
        add("tissue outside the four", 36, "tissue: wool", 36,
            "продукция \"wool\": meat, milk, eggs или honey");
        add("missing quote", 33, "", 28, "нет ключа quote");
        add("substance no strength has", 20, "substance: окситоцин", 20,
            "у препарата нет силы действия для вещества");
    }

    void faultsAreRefusedWithFileAndLine()
    {
        QFETCH(int, line);
        QFETCH(QString, text);
        QFETCH(QString, error);
        QFETCH(QStringList, more);
        const QString content = contentPath();
        const PublishReport report = publishSources(sources(withLine(line, text, more)), content, {});
        QVERIFY2(!report.errors.isEmpty() && report.errors.first().startsWith(error),
                 qPrintable(report.errors.join(QLatin1Char('\n'))));
        QVERIFY(!report.applied);
        QVERIFY(!QFileInfo::exists(content)); // a new file is not left behind
    }

    void speciesFileFaultsNameTheirLine()
    {
        const PublishReport report =
            publishSources(sources(kItem, "1\tdog\tсобаки\t0\n2\tDog\tкошки\t0\n"), contentPath(), {});
        QVERIFY2(report.errors.contains(
                     QStringLiteral("animals.tsv:2: код вида \"Dog\": строчные латинские буквы, цифры и _")),
                 qPrintable(report.errors.join(QLatin1Char('\n'))));
    }

    void changedQuoteThatNoLongerOccursChangesNothing()
    {
        const QString content = contentPath();
        QVERIFY(publishSources(sources(), content, {}).errors.isEmpty());
        const QStringList before = structuredRows(content);
        // The editor rewrites the text but not the row restating it.
        const QByteArray edited =
            QString::fromUtf8(kItem)
                .replace(QStringLiteral("через 28 суток. Молоко"), QStringLiteral("через 30 суток. Молоко"))
                .toUtf8();
        const PublishReport report = publishSources(sources(edited), content, {});
        QCOMPARE(report.errors,
                 QStringList{QStringLiteral("items/101.txt:39: цитаты нет в разделе special_conditions: "
                                            "\"Убой на мясо — через 28 суток.\"")});
        QVERIFY(!report.applied);
        QCOMPARE(structuredRows(content), before);
    }

    void rowsKeepTheirIdsAndDeletedRowsLeaveTombstones()
    {
        const QString content = contentPath();
        QVERIFY(publishSources(sources(), content, {}).errors.isEmpty());
        Database db;
        db.open(content, QByteArray());
        const QStringList first = dumpTable(db, QStringLiteral("item_doses"));

        // A changed route is one update of that row, under its id.
        PublishReport report =
            publishSources(sources(withLine(20, QStringLiteral("route: под кожу"))), content, {});
        QCOMPARE(countsOf(report), QStringList{QStringLiteral("item_doses 0 1 0")});
        const QStringList second = dumpTable(db, QStringLiteral("item_doses"));
        QCOMPARE(second.size(), 2);
        QVERIFY(second.at(0).startsWith(QLatin1String("integer:1|")) &&
                second.at(0).contains(QStringLiteral("под кожу")));
        QCOMPARE(second.at(1), first.at(1));

        // The cat row taken out: a tombstone, and the dog row untouched.
        QStringList lines =
            QString::fromUtf8(withLine(20, QStringLiteral("route: под кожу"))).split(QLatin1Char('\n'));
        lines.erase(lines.begin() + 26, lines.begin() + 33); // the blank line and the cat row
        report = publishSources(sources(lines.join(QLatin1Char('\n')).toUtf8()), content, {});
        QCOMPARE(countsOf(report), QStringList{QStringLiteral("item_doses 0 0 1")});
        QCOMPARE(dumpTable(db, QStringLiteral("item_doses")), QStringList{second.at(0)});
        Statement tomb =
            db.prepare(QStringLiteral("SELECT count(*) FROM tombstones WHERE tbl = 'item_doses' AND id = 2"));
        QVERIFY(tomb.step());
        QCOMPARE(tomb.int64(0), qint64(1));

        // Export gives the sources back byte for byte, and publishing it changes nothing.
        const QString exported = m_dir.filePath(QStringLiteral("export%1").arg(++m_count));
        const SourceFiles files = renderSources(ContentDatabase(content).readAll());
        QVERIFY2(files.errors.isEmpty() && files.warnings.isEmpty(),
                 qPrintable(files.errors.join(QLatin1Char('\n'))));
        writeSourceFiles(files, exported);
        QCOMPARE(readFile(exported + QStringLiteral("/items/101.txt")),
                 lines.join(QLatin1Char('\n')).toUtf8());
        QCOMPARE(readFile(exported + QStringLiteral("/animals.tsv")), QByteArray(kSpecies));
        report = publishSources(exported, content, {});
        QVERIFY(report.errors.isEmpty());
        QCOMPARE(countsOf(report), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestStructuredSources)
#include "tst_structuredsources.moc"
