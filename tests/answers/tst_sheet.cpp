// The treatment sheet through `ramuxctl sheet` and through the real window offscreen, against a
// client store filled by SQL: the combined withdrawal, refusals in words, the PDF, kept sheets
// across a republish and a sync, and the notes file.
#include "answers/sheet.h"
#include "answers/sheetprint.h"
#include "app/sheetwindow.h"
#include "db/keptsheets.h"
#include "db/notesfile.h"
#include "db/options.h"
#include "db/sheetsettings.h"
#include "db/schema.h"
#include "db/sqlitedb.h"
#include "text/cp1251.h"

#include <QComboBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextBrowser>
#include <QLineEdit>
#include <QListWidget>
#include <QPrinter>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const char *const kTables =
    "CREATE TABLE IF NOT EXISTS species (id INTEGER PRIMARY KEY, code TEXT, name TEXT, food INTEGER);"
    "CREATE TABLE IF NOT EXISTS item_strengths (id INTEGER PRIMARY KEY, item_id INTEGER, ord INTEGER, form TEXT,"
    " substance TEXT, amount TEXT, amount_unit TEXT, per_amount TEXT, per_unit TEXT, fractions INTEGER);"
    "CREATE TABLE IF NOT EXISTS item_doses (id INTEGER PRIMARY KEY, item_id INTEGER, ord INTEGER,"
    " species_id INTEGER, route TEXT, indication TEXT, substance TEXT, dose_from TEXT, dose_to TEXT,"
    " dose_unit TEXT, basis TEXT, frequency TEXT, duration TEXT, max_single TEXT, max_single_unit TEXT,"
    " source_field TEXT, source_quote TEXT);"
    "CREATE TABLE IF NOT EXISTS item_withdrawals (id INTEGER PRIMARY KEY, item_id INTEGER, ord INTEGER,"
    " species_id INTEGER, tissue TEXT, period TEXT, period_unit TEXT, forbidden INTEGER, source_field TEXT,"
    " source_quote TEXT);";

// Cattle: 1 and 2 the two products of the farm case, 3 forbids milk, 4 has no milk row.
// Dogs: 5, 6, 7 without withdrawal rows.
const char *const kRows =
    "INSERT INTO items (id, name) VALUES (1, 'Амоксил'), (2, 'Мелоксин'), (3, 'Запретин'), (4, 'Мясин'),"
    " (5, 'Альбен'), (6, 'Празик'), (7, 'Витам');"
    "INSERT INTO species VALUES (1, 'dog', 'собаки', 0), (3, 'cattle', 'крупный рогатый скот', 1);"
    "INSERT INTO item_strengths VALUES (1, 1, 1, 'суспензия', NULL, '150', 'мг', '1', 'мл', NULL),"
    " (2, 2, 1, 'раствор', NULL, '20', 'мг', '1', 'мл', NULL), (3, 3, 1, 'раствор', NULL, '50', 'мг', '1', 'мл', NULL),"
    " (4, 4, 1, 'раствор', NULL, '100', 'мг', '1', 'мл', NULL), (5, 5, 1, 'таблетка', NULL, '50', 'мг', NULL, 'таблетка', 2),"
    " (6, 6, 1, 'суспензия', NULL, '25', 'мг', '1', 'мл', NULL), (7, 7, 1, 'раствор', NULL, '1', 'мг', '1', 'мл', NULL);"
    "INSERT INTO item_doses (id, item_id, ord, species_id, route, indication, dose_from, dose_unit, basis,"
    " frequency, duration, source_field, source_quote) VALUES"
    " (1, 1, 1, 3, 'внутримышечно', NULL, '15', 'мг', 'kg', '1 раз в сутки', '3 дня', 'dose', 'КРС 15 мг/кг 3 дня'),"
    " (2, 2, 1, 3, 'подкожно', NULL, '0.5', 'мг', 'kg', 'однократно', NULL, 'dose', 'КРС 0,5 мг/кг'),"
    " (3, 3, 1, 3, 'внутривенно', NULL, '1', 'мг', 'kg', 'однократно', NULL, 'dose', 'КРС 1 мг/кг'),"
    " (4, 4, 1, 3, 'внутримышечно', NULL, '2', 'мг', 'kg', 'однократно', NULL, 'dose', 'КРС 2 мг/кг'),"
    " (5, 5, 1, 1, 'внутрь', NULL, '10', 'мг', 'kg', 'однократно', NULL, 'dose', 'собакам 10 мг/кг'),"
    " (6, 6, 1, 1, 'внутрь', NULL, '5', 'мг', 'kg', '1 раз в сутки', '3 дня', 'dose', 'собакам 5 мг/кг'),"
    " (7, 7, 1, 1, 'подкожно', NULL, '0.2', 'мг', 'kg', 'однократно', NULL, 'dose', 'собакам 0,2 мг/кг');"
    "INSERT INTO item_withdrawals VALUES (1, 1, 1, 3, 'milk', '3', 'd', 0, 'w', 'молоко — 3 суток'),"
    " (2, 1, 2, 3, 'meat', '28', 'd', 0, 'w', 'мясо — 28 суток'),"
    " (3, 2, 1, 3, 'milk', '5', 'd', 0, 'w', 'молоко — 5 суток'), (4, 2, 2, 3, 'meat', '15', 'd', 0, 'w', 'мясо — 15 суток'),"
    " (5, 3, 1, 3, 'milk', NULL, NULL, 1, 'w', 'молоко не допускается'), (6, 3, 2, 3, 'meat', '10', 'd', 0, 'w', 'мясо — 10 суток'),"
    " (7, 4, 1, 3, 'meat', '5', 'd', 0, 'w', 'мясо — 5 суток');";

struct Run
{
    int code = -1;
    QString out;
    QString err;
};

QString packed(const QString &html)
{
    return QStringLiteral("<HTML>%1</HTML>").arg(QString::fromLatin1(encodeCp1251Html(html).toBase64()));
}

QString pdfText(const QString &pdf)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
    if (!p.waitForFinished(30000))
        return {};
    return QString::fromUtf8(p.readAllStandardOutput()).simplified();
}

} // namespace

class TestSheet : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sheetCommand_data();
    void sheetCommand();
    void windowPrintsAndKeepsSheets();

private:
    Run run(const QStringList &args);
    QTemporaryDir m_dir;
    QString m_tool;
    QString m_db;
};

void TestSheet::initTestCase()
{
    qputenv("TZ", "Europe/Berlin");
    m_tool = qEnvironmentVariable("RAMUX_BIN_DIR") + QStringLiteral("/ramuxctl");
    m_db = m_dir.filePath(QStringLiteral("client.rxd"));
    schema::createDatabaseFile(m_db);
    Database db;
    db.open(m_db, schema::databasePassword());
    db.exec(QString::fromUtf8(kTables));
    db.exec(QString::fromUtf8(kRows));
}

Run TestSheet::run(const QStringList &args)
{
    QProcess p;
    p.start(m_tool, QStringList{QStringLiteral("sheet")} + args + QStringList{QStringLiteral("--db"), m_db});
    Run r;
    if (!p.waitForFinished(30000))
        return r;
    r.code = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

void TestSheet::sheetCommand_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QStringList>("absent");
    const QStringList cow{"--species", "cattle", "--weight", "450"};
    const QStringList two{"--item", "ITEM:1", "--last", "01.03.2027 08:00", "--item", "ITEM:2", "--last",
                          "03.03.2027 20:00"};
    QTest::newRow("latest date per tissue") << cow + two << 0
        << QStringList{"item\tITEM:1\tАмоксил\nspecies\tcattle", "amount\t45.0\t45.0\tмл\n",
                       "\n\nitem\tITEM:2\tМелоксин\n", "combined\tmeat\t28 сут.\t29.03.2027 08:00\tITEM:1\n",
                       "combined\tmilk\t5 сут.\t08.03.2027 20:00\tITEM:2\n"}
        << QStringList{"eggs", "honey", "refused"};
    QTest::newRow("no time, no date") << cow + QStringList{"--item", "ITEM:1", "--item", "ITEM:2"} << 0
        << QStringList{"combined\tmeat\t28 сут.\t-\tITEM:1\n", "combined\tmilk\t5 сут.\t-\tITEM:2\n"} << QStringList{};
    QTest::newRow("forbidden wins") << cow + two + QStringList{"--item", "ITEM:3"} << 0
        << QStringList{"combined\tmilk\tне допускается\t-\tITEM:3\n"} << QStringList{"08.03.2027"};
    QTest::newRow("a line without milk") << cow + two + QStringList{"--item", "ITEM:4"} << 0
        << QStringList{"combined\tmilk\tнет данных: Мясин\t-\tITEM:4\n", "combined\tmeat\t28 сут.\t-\tITEM:1\n"}
        << QStringList{"08.03.2027"};
    QTest::newRow("weight out of range") << QStringList{"--species", "cattle", "--weight", "2500"} + two << 3
        << QStringList{"item\tITEM:1\tАмоксил\nrefused\tМасса тела должна быть от 0,01 до 2\u00A0000 кг\n"}
        << QStringList{"amount", "combined", "мл"};
    QTest::newRow("a product not in the reference") << cow + QStringList{"--item", "ITEM:1", "--item", "ITEM:99"} << 3
        << QStringList{"item\tITEM:99\tITEM:99\nrefused\t(нет в справочнике)\n", "combined\tmilk\tнет данных: ITEM:99"}
        << QStringList{};
    QTest::newRow("usage") << QStringList{"--species", "cattle", "--item", "ITEM:1"} << 2 << QStringList{}
                           << QStringList{"item"};
    QTest::newRow("bad time") << cow + QStringList{"--item", "ITEM:1", "--last", "32.01.2027 08:00"} << 2
                              << QStringList{} << QStringList{"item"};
}

void TestSheet::sheetCommand()
{
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QStringList, present);
    QFETCH(QStringList, absent);
    const Run r = run(args);
    QCOMPARE(r.code, code);
    for (const QString &text : present)
        QVERIFY2(r.out.contains(text), qPrintable(r.out + QStringLiteral("\n-- wanted: ") + text));
    for (const QString &text : absent)
        QVERIFY2(!r.out.contains(text), qPrintable(r.out + QStringLiteral("\n-- unwanted: ") + text));
    if (code == 3)
        QVERIFY(r.err.contains(QStringLiteral("ITEM:")));
    if (QTest::currentDataTag() == QByteArray("weight out of range")) {
        // The printout of a refused sheet carries words only: no amount, no date of release.
        const QString pdf = m_dir.filePath(QStringLiteral("refused.pdf"));
        QCOMPARE(run(args + QStringList{"--pdf", pdf}).code, 3);
        const QString text = pdfText(pdf);
        QVERIFY2(text.contains(QRegularExpression(QStringLiteral("Масса тела должна быть от 0,01 до 2[\\x{00A0} ]000 кг"))),
                 qPrintable(text));
        QVERIFY2(!text.contains(QStringLiteral("мл")) && !text.contains(QStringLiteral("2027")), qPrintable(text));
    }
}

void TestSheet::windowPrintsAndKeepsSheets()
{
    Database db;
    db.open(m_db, schema::databasePassword());
    SheetWindow window(db, nullptr);
    window.showSheet();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    // A dog on three products: three sentences with their quotes, no withdrawal table.
    window.speciesBox()->setCurrentIndex(window.speciesBox()->findText(QStringLiteral("собаки")));
    window.weightEdit()->setText(QStringLiteral("12"));
    for (qint64 item : {5, 6, 7})
        window.addLine(item, SheetChoice{});
    sheetsettings::save(db, {QStringLiteral("Клиника «Лесная»"), QStringLiteral("Врач Орлова А. П."), false, false});
    const QString pdf = m_dir.filePath(QStringLiteral("dog.pdf"));
    QVERIFY(window.writePdf(pdf));
    const QString text = pdfText(pdf);
    for (const char *part : {"Альбен: ≈ 2,5 таблетки (расчёт: 2,4 таблетки) внутрь, однократно", "«собакам 10 мг/кг»",
                             "Празик: 2,4 мл внутрь, 1 раз в сутки, 3 дня", "«собакам 5 мг/кг»",
                             "Витам: 2,4 мл подкожно, однократно", "«собакам 0,2 мг/кг»"})
        QVERIFY2(text.contains(QString::fromUtf8(part)), qPrintable(text));
    QVERIFY(!text.contains(QStringLiteral("Сроки ожидания")));
    QVERIFY(text.startsWith(QStringLiteral("Клиника «Лесная» Врач Орлова А. П. Лист назначения")));
    QVERIFY(!text.contains(demoNoticeText()));

    // Through the printer: the instruction's own sections once ticked, and the demo notice once
    // the stored greeting says the content is the demo.
    Statement sections = db.prepare(QStringLiteral("UPDATE items SET side_effects = ?1, storage_instructions = ?2 WHERE id = 6"));
    sections.bind(1, packed(QStringLiteral("<p>Редко &mdash; рвота.</p>")));
    sections.bind(2, packed(QStringLiteral("<p>Хранить при 5&ndash;25 °C.</p>")));
    sections.run();
    sheetsettings::save(db, {QString(), QString(), true, true});
    storeSplash(db, packed(QStringLiteral("<p class=\"notice demo-content\">Демонстрация</p>")));
    window.reload(); // as after a start or a sync that brought the greeting
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(m_dir.filePath(QStringLiteral("printed.pdf")));
    window.printTo(printer);
    const QString printed = pdfText(printer.outputFileName());
    for (const QString &part : {QStringLiteral("Побочные действия Празик Редко — рвота."),
                                QStringLiteral("Условия хранения Празик Хранить при 5–25 °C."), demoNoticeText()})
        QVERIFY2(printed.contains(part), qPrintable(printed));
    QVERIFY(printed.startsWith(QStringLiteral("Лист назначения")));

    // Printing kept the sheet; a republish puts a new row before the chosen one, a sync deletes
    // a product: the line keeps its choice, the gone product keeps its quote without a number.
    const QString id = window.keptId();
    QVERIFY(!id.isEmpty());
    window.moveLine(2, -2); // reordered: Витам, Альбен, Празик
    window.keepSheet();
    db.exec(QStringLiteral(
        "UPDATE item_doses SET ord = 2 WHERE id = 6;"
        "INSERT INTO item_doses (id, item_id, ord, species_id, route, indication, dose_from, dose_unit, basis,"
        " frequency, duration, source_field, source_quote) VALUES (60, 6, 1, 1, 'внутрь', 'цестодозы', '20', 'мг',"
        " 'kg', 'однократно', NULL, 'dose', 'собакам 20 мг/кг при цестодозах');"
        "UPDATE item_doses SET dose_from = '0.4' WHERE id = 7;"
        "DELETE FROM items WHERE id = 5; DELETE FROM item_doses WHERE item_id = 5;"));
    window.addLine(1, SheetChoice{}); // to be replaced by the reopened sheet
    QVERIFY(window.openKept(id));
    const SheetComposition &sheet = window.composition();
    QCOMPARE(sheet.lines.size(), 3);
    QCOMPARE(sheet.lines.at(0).sentence(), QStringLiteral("Витам: 4,8 мл подкожно, однократно"));
    QCOMPARE(sheet.lines.at(1).sentence(), QStringLiteral("Альбен (нет в справочнике): (нет в справочнике)"));
    QCOMPARE(sheet.lines.at(1).quote, QStringLiteral("собакам 10 мг/кг"));
    QCOMPARE(sheet.lines.at(2).sentence(), QStringLiteral("Празик: 2,4 мл внутрь, 1 раз в сутки, 3 дня"));
    const QString preview = window.preview()->toPlainText();
    QVERIFY2(preview.contains(QStringLiteral("изменилось после печати: было 2,4 мл подкожно, однократно")),
             qPrintable(preview));
    QCOMPARE(preview.count(QStringLiteral("изменилось после печати")), 1);

    // The weight changed: every line computed again at once, and a weight out of range refuses all.
    window.weightEdit()->setText(QStringLiteral("2500"));
    for (const SheetLine &line : window.composition().lines)
        QVERIFY(!line.computed());
    QVERIFY(!window.html(true).contains(QStringLiteral(" мл ")));

    // Copied for another animal: the same lines, the patient cleared, a sheet of its own when kept.
    window.copyKeptForAnotherAnimal(id);
    QVERIFY(window.keptId().isEmpty());
    QCOMPARE(window.lineList()->count(), 3);
    QVERIFY(window.weightEdit()->text().isEmpty());
    window.keepSheet();
    QCOMPARE(keptsheets::all(db).size(), 2);

    // The notes file carries the sheets; the later `changed` wins; a file without `sheets` reads.
    const QByteArray exported = notesfile::exportNotes(db);
    QJsonObject root = QJsonDocument::fromJson(exported).object();
    QCOMPARE(root.value(QStringLiteral("version")).toInt(), 1);
    QJsonArray sheets = root.value(QStringLiteral("sheets")).toArray();
    QCOMPARE(sheets.size(), 2);
    QJsonObject first = sheets.at(0).toObject();
    const QString firstId = first.value(QStringLiteral("id")).toString();
    first.insert(QStringLiteral("owner"), QStringLiteral("Петров"));
    first.insert(QStringLiteral("changed"), QStringLiteral("2000-01-01T00:00:00Z"));
    QJsonObject later = sheets.at(1).toObject();
    const QString laterId = later.value(QStringLiteral("id")).toString();
    later.insert(QStringLiteral("owner"), QStringLiteral("Сидоров"));
    later.insert(QStringLiteral("changed"), QStringLiteral("2999-01-01T00:00:00Z"));
    root.insert(QStringLiteral("sheets"), QJsonArray{first, later});
    notesfile::importNotes(db, QJsonDocument(root).toJson());
    QVERIFY(keptsheets::find(db, firstId)->owner != QStringLiteral("Петров"));
    QCOMPARE(keptsheets::find(db, laterId)->owner, QStringLiteral("Сидоров"));
    root.remove(QStringLiteral("sheets"));
    notesfile::importNotes(db, QJsonDocument(root).toJson());
    QCOMPARE(keptsheets::all(db).size(), 2);
    window.deleteKept(laterId);
    QCOMPARE(keptsheets::all(db).size(), 1);
}

QTEST_MAIN(TestSheet)
#include "tst_sheet.moc"
