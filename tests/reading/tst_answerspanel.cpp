// The panel below the product page, in the real window on a copy of the demo reference: shown
// only where the product has structured rows, the calculator computing as the user types, the
// withdrawal dates in two time zones, the state kept between starts, the quiet refresh after an
// update run, and what printing appends.
#include "readingfixture.h"

#include "app/answerspanel.h"
#include "app/readout.h"
#include "app/sheetwindow.h"
#include "update/datareloadevent.h"
#include "update/structuredchangedevent.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QToolButton>
#include <ctime>

namespace {

constexpr qint64 kPlain = 105; // "Амоксипор водорастворимый": no structured rows in the demo
constexpr qint64 kMade = 110; // rows written by the test below
constexpr qint64 kDemoRows = 150; // "Фенбендазол 10% суспензия": dogs, cats, cattle in the demo

const char kQuote[] = "Собакам — 5–10 мг на 1 кг массы тела внутримышечно, 2 раза в сутки.";

// A dog row 5–10 mg/kg with a 50 mg/ml strength; a cat row per litre of water; a pig row without
// withdrawal periods; cattle with milk 96 h and meat 28 d; sheep whose milk is forbidden.
QString madeRows()
{
    return QStringLiteral(
               "INSERT INTO item_strengths (id, item_id, ord, form, substance, amount, amount_unit, "
               "per_amount, "
               "per_unit, fractions) VALUES (90001, %1, 1, 'раствор', NULL, '50', 'мг', '1', 'мл', NULL);"
               "INSERT INTO item_doses (id, item_id, ord, species_id, route, indication, substance, "
               "dose_from, "
               "dose_to, dose_unit, basis, frequency, duration, max_single, max_single_unit, source_field, "
               "source_quote) VALUES "
               "(90011, %1, 1, 1, 'внутримышечно', NULL, NULL, '5', '10', 'мг', 'kg', '2 раза в сутки', '3 "
               "дня', "
               "NULL, NULL, 'dose', '%2'),"
               "(90012, %1, 2, 2, 'с водой', NULL, NULL, '2', NULL, 'мг', 'water_l', NULL, NULL, NULL, NULL, "
               "'dose', 'Кошкам — 2 мг на 1 л воды.'),"
               "(90013, %1, 3, 5, 'внутримышечно', NULL, NULL, '5', NULL, 'мг', 'kg', NULL, NULL, NULL, "
               "NULL, "
               "'dose', 'Свиньям — 5 мг на 1 кг.');"
               "INSERT INTO item_withdrawals (id, item_id, ord, species_id, tissue, period, period_unit, "
               "forbidden, source_field, source_quote) VALUES "
               "(90021, %1, 1, 3, 'meat', '28', 'd', 0, 'dose', 'Убой на мясо — через 28 суток.'),"
               "(90022, %1, 2, 3, 'milk', '96', 'h', 0, 'dose', 'Молоко — через 96 часов.'),"
               "(90023, %1, 3, 4, 'milk', NULL, NULL, 1, 'dose', 'Дойным овцам не применять.'),"
               "(90024, %1, 4, 4, 'meat', '0', 'h', 0, 'dose', 'Убой без ограничений.');")
        .arg(kMade)
        .arg(QString::fromUtf8(kQuote));
}

void setZone(const char *zone)
{
    qputenv("TZ", zone);
    tzset();
}

QString result(const AnswersPanel *panel)
{
    return panel->resultView()->accessibleDescription();
}

QString tables(const AnswersPanel *panel)
{
    return panel->withdrawalView()->accessibleDescription();
}

QString pdfText(const QString &pdf)
{
    return popplerOutput(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
}

} // namespace

class TestAnswersPanel : public QObject
{
    Q_OBJECT

private slots:
    void shownOnlyForProductsWithRows();
    void calculatesAsTheUserTypes();
    void wholeResultShowsAtTheFirstWindowSize();
    void withdrawalDatesInTwoZones();
    void keyboardAndCollapsedStateAcrossStarts();
    void structuredChangeRefreshesQuietly();
    void printsTheCalculationOnlyWhenMade();
};

void TestAnswersPanel::shownOnlyForProductsWithRows()
{
    DemoFixture f;
    // Rows for a species the store does not name open nothing.
    f.run(
        QStringLiteral("INSERT INTO item_strengths (id, item_id, ord, form, amount, amount_unit, per_unit) "
                       "VALUES (90101, %1, 1, 'раствор', '50', 'мг', 'мл');"
                       "INSERT INTO item_doses (id, item_id, ord, species_id, dose_from, dose_unit, basis, "
                       "source_field, source_quote) VALUES (90102, %1, 1, 77, '5', 'мг', 'kg', 'dose', 'x');")
            .arg(kPlain));
    auto w = f.start();
    AnswersPanel *panel = w->m_answers;
    QVERIFY(panel);
    selectNode(w->TreeView1, kDemoRows);
    QVERIFY(panel->isVisible());
    QVERIFY(w->btnDose->isVisible());
    QCOMPARE(panel->speciesLine()->text(),
             QStringLiteral("Виды животных: собаки, кошки, крупный рогатый скот"));
    QCOMPARE(panel->speciesBox()->count(), 3);
    QCOMPARE(panel->speciesBox()->currentText(), QStringLiteral("собаки"));
    // The default calculation: the first species, a hint where a weight is needed, no number.
    QCOMPARE(panel->weightEdit()->text(), QString());
    QVERIFY(result(panel).startsWith(QStringLiteral("Укажите массу тела в килограммах")));
    QVERIFY(!result(panel).contains(QStringLiteral("Отмерить")));
    QVERIFY(tables(panel).contains(QStringLiteral("крупный рогатый скот")));
    QVERIFY(!panel->formBox()->isVisible());  // one form
    QVERIFY(!panel->routeBox()->isVisible()); // one row for dogs

    // One species for the window: the filter's choice is the calculator's, and the calculator's
    // choice moves a narrowed filter but leaves "все" alone.
    w->SetAnimalChoice(QStringLiteral("cattle"));
    QCOMPARE(panel->speciesBox()->currentText(), QStringLiteral("крупный рогатый скот"));
    QTest::keyClick(panel->speciesBox(), Qt::Key_Up);
    QCOMPARE(panel->speciesBox()->currentText(), QStringLiteral("кошки"));
    QCOMPARE(w->AnimalChoice(), QStringLiteral("cat"));
    w->SetAnimalChoice(QString());
    QTest::keyClick(panel->speciesBox(), Qt::Key_Up);
    QCOMPARE(panel->speciesBox()->currentText(), QStringLiteral("собаки"));
    QCOMPARE(w->AnimalChoice(), QString());

    selectNode(w->TreeView1, kPlain);
    QVERIFY(!panel->isVisible());
    QVERIFY(!w->btnDose->isVisible());
    QTest::keyClick(w.get(), Qt::Key_R, Qt::ControlModifier);
    QVERIFY(!panel->isVisible());
    selectNode(w->TreeView1, kDemoRows);
    QVERIFY(panel->isVisible());
    w->ShowSearchResults(QStringLiteral("амокси"));
    QVERIFY(!panel->isVisible());
}

void TestAnswersPanel::calculatesAsTheUserTypes()
{
    DemoFixture f;
    f.run(madeRows());
    auto w = f.start();
    AnswersPanel *panel = w->m_answers;
    selectNode(w->TreeView1, kMade);
    QVERIFY(panel->isVisible());
    QCOMPARE(panel->speciesLine()->text(),
             QStringLiteral("Виды животных: собаки, кошки, крупный рогатый скот, "
                            "овцы и козы, свиньи"));
    // Only the species with dose rows can be calculated.
    QCOMPARE(panel->speciesBox()->count(), 3);

    QLineEdit *weight = panel->weightEdit();
    weight->setFocus();
    QTest::keyClicks(weight, QStringLiteral("12,5"));
    QCOMPARE(
        result(panel),
        QStringLiteral("Отмерить: 1,3–2,5 мл\nДействующего вещества: 62,5–125 мг\n"
                       "Кратность: 2 раза в сутки\nДлительность: 3 дня\n"
                       "Доза по инструкции: 5–10 мг/кг\nФорма: раствор, 50 мг в 1 мл\nИз инструкции: «") +
            QString::fromUtf8(kQuote) + QStringLiteral("»"));
    QVERIFY(
        panel->resultView()->toHtml().contains(QStringLiteral("font-weight:700;\">Отмерить: 1,3–2,5 мл")));
    QVERIFY(panel->resultView()->toPlainText().contains(QStringLiteral("1,3–2,5 мл")));
    QVERIFY(panel->resultView()->toPlainText().contains(QStringLiteral("внутримышечно, 2 раза в сутки")));
    weight->clear();
    QTest::keyClicks(weight, QStringLiteral("12.5")); // a point does as well
    QVERIFY(result(panel).contains(QStringLiteral("Отмерить: 1,3–2,5 мл")));

    // Refusals are words, never a number.
    for (const auto &[typed, words] : {std::pair{"0", "Масса тела должна быть от 0,01 до 2\u00a0000 кг"},
                                       std::pair{"2500", "Масса тела должна быть от 0,01 до 2\u00a0000 кг"},
                                       std::pair{"12 кг", "Масса тела — не число: «12 кг»"}}) {
        weight->clear();
        weight->insert(QString::fromUtf8(typed)); // as typed; the test keyboard has no Cyrillic
        QVERIFY2(result(panel).startsWith(QString::fromUtf8(words)), qPrintable(result(panel)));
        QVERIFY(!result(panel).contains(QStringLiteral("Отмерить")));
        QVERIFY(!result(panel).contains(QStringLiteral(" мл")));
    }
    weight->clear();
    QTest::keyClicks(weight, QStringLiteral("4"));
    panel->speciesBox()->setCurrentIndex(panel->speciesBox()->findText(QStringLiteral("кошки")));
    QCOMPARE(result(panel), QStringLiteral("Доза указана на 1 л воды и по массе тела не рассчитывается\n"
                                           "Из инструкции: «Кошкам — 2 мг на 1 л воды.»"));
    QCOMPARE(weight->text(), QStringLiteral("4")); // the weight stays when the species changes

    // A dose per animal with no strength ("1 мл на животное"): computed without a weight, never
    // with one that cannot be read.
    selectNode(w->TreeView1, 250);
    weight->clear();
    QVERIFY2(result(panel).contains(QStringLiteral("Отмерить: 1")), qPrintable(result(panel)));
    weight->insert(QStringLiteral("abc"));
    QVERIFY2(result(panel).startsWith(QStringLiteral("Масса тела — не число: «abc»")), qPrintable(result(panel)));
    QVERIFY(!result(panel).contains(QStringLiteral("Отмерить")));
}

void TestAnswersPanel::wholeResultShowsAtTheFirstWindowSize()
{
    DemoFixture f;
    f.run(madeRows());
    // A capped dose and a quote as long as instructions write them.
    f.run(QStringLiteral(
              "UPDATE item_doses SET max_single = '50', max_single_unit = 'мг', source_quote = 'Собакам — "
              "5–10 мг "
              "на 1 кг массы тела внутримышечно, 2 раза в сутки с интервалом 12 часов, 3 дня подряд; при "
              "тяжёлом "
              "течении курс продлевают до 5 дней. Разовая доза не должна превышать 50 мг независимо от массы "
              "тела. Щенкам до 3 месяцев и ослабленным животным препарат вводят под контролем ветеринарного "
              "врача, начиная с нижней границы дозы.' WHERE id = 90011;"
              "INSERT INTO item_strengths (id, item_id, ord, form, amount, amount_unit, per_unit) VALUES "
              "(90002, %1, 2, 'раствор', '100', 'мг', 'мл');"
              "INSERT INTO item_doses (id, item_id, ord, species_id, route, dose_from, dose_unit, basis, "
              "source_field, source_quote) VALUES (90014, %1, 4, 1, 'подкожно', '5', 'мг', 'kg', 'dose', "
              "'Подкожно — 5 мг на 1 кг.');")
              .arg(kMade));
    auto w = f.start();
    selectNode(w->TreeView1, kMade);
    QTest::keyClick(w.get(), Qt::Key_R, Qt::ControlModifier);
    QTRY_VERIFY(w->m_answers->weightEdit()->hasFocus());
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("12,5"));
    // The amount, the rest of the result and the quote beside it, all without scrolling.
    const Readout *shown = w->m_answers->resultView();
    const QWidget *body = w->m_answers->findChild<QScrollArea *>(QStringLiteral("AnswersBody"))->viewport();
    const auto inside = [&](const QWidget *area) {
        return area->rect().contains(QRect(shown->mapTo(area, QPoint(0, 0)), shown->size()));
    };
    QTRY_VERIFY(inside(body) && inside(w.get()));
    QVERIFY(
        result(w->m_answers).contains(QStringLiteral("Доза ограничена максимальной разовой дозой: 50 мг")));
    QVERIFY(result(w->m_answers).contains(QStringLiteral("Отмерить: 1 мл")));
}

void TestAnswersPanel::withdrawalDatesInTwoZones()
{
    DemoFixture f;
    f.run(madeRows());
    for (const char *zone : {"Europe/Moscow", "Europe/Berlin"}) {
        setZone(zone);
        auto w = f.start();
        AnswersPanel *panel = w->m_answers;
        selectNode(w->TreeView1, kMade);
        QLineEdit *last = panel->lastDoseEdit();
        QVERIFY(tables(panel).contains(QStringLiteral("молоко: 96 ч\n")));
        QTest::keyClicks(last, QStringLiteral("01.03.2027 08:00"));
        QCOMPARE(tables(panel), QStringLiteral("крупный рогатый скот\n"
                                               "мясо: 28 сут., можно использовать с 29.03.2027 08:00\n"
                                               "молоко: 96 ч, можно использовать с 05.03.2027 08:00\n"
                                               "овцы и козы\n"
                                               "мясо: 0, можно использовать с 01.03.2027 08:00\n"
                                               "молоко: не допускается\n"
                                               "свиньи\nСроки ожидания: нет данных"));
        QVERIFY(panel->lastDoseNote()->text().isEmpty());
        // Across the spring clock change hours are elapsed hours, days keep the clock time.
        last->clear();
        QTest::keyClicks(last, QStringLiteral("27.03.2027 08:00"));
        const bool berlin = qstrcmp(zone, "Europe/Berlin") == 0;
        QVERIFY(
            tables(panel).contains(QStringLiteral("мясо: 28 сут., можно использовать с 24.04.2027 08:00")));
        QVERIFY2(tables(panel).contains(QStringLiteral("молоко: 96 ч, можно использовать с 31.03.2027 %1")
                                            .arg(berlin ? QStringLiteral("09:00") : QStringLiteral("08:00"))),
                 qPrintable(tables(panel)));
        // 02:30 comes twice in Berlin on 31.10.2027: the later one counts, never 01:30, in words too.
        last->clear();
        QTest::keyClicks(last, QStringLiteral("31.10.2027 02:30"));
        QVERIFY2(
            tables(panel).contains(QStringLiteral("молоко: 96 ч, можно использовать с 04.11.2027 02:30")),
            qPrintable(tables(panel)));
        QCOMPARE(panel->lastDoseNote()->text().startsWith(QStringLiteral("В этот час часы переводят назад")),
                 berlin);
        last->clear();
        QTest::keyClicks(last, QStringLiteral("1.3.2027"));
        QCOMPARE(panel->lastDoseNote()->text(), lastDoseFormatHint());
        QVERIFY(tables(panel).contains(QStringLiteral("молоко: 96 ч\n")));
    }
    setZone("UTC");
}

void TestAnswersPanel::keyboardAndCollapsedStateAcrossStarts()
{
    DemoFixture f;
    {
        auto w = f.start();
        selectNode(w->TreeView1, kDemoRows);
        AnswersPanel *panel = w->m_answers;
        QVERIFY(!panel->isCollapsed());
        panel->toggleButton()->click();
        QVERIFY(panel->isCollapsed());
        QVERIFY(!panel->weightEdit()->isVisible());
        w->close();
    }
    auto w = f.start();
    selectNode(w->TreeView1, kDemoRows);
    AnswersPanel *panel = w->m_answers;
    QVERIFY(panel->isCollapsed());
    QVERIFY(!panel->weightEdit()->isVisible());
    // Ctrl+R opens the panel with the focus in the weight, from another page too.
    w->ChangePage(w->tbGroups);
    QTest::keyClick(w.get(), Qt::Key_R, Qt::ControlModifier);
    QCOMPARE(w->PageControl1->currentWidget(), w->tsDrugs);
    QVERIFY(!panel->isCollapsed());
    QTRY_VERIFY(panel->weightEdit()->hasFocus());
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("20"));
    QVERIFY(result(panel).contains(QStringLiteral("Отмерить: 10 мл")));
    // The result is the next stop, read out with its words; then the last dose.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), panel->resultView());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), panel->lastDoseEdit());
    // The strip's button does the same.
    panel->toggleButton()->click();
    QVERIFY(panel->isCollapsed());
    w->btnDose->click();
    QVERIFY(!panel->isCollapsed());
    QVERIFY(panel->weightEdit()->hasFocus());
    // The treatment sheet: Ctrl+L and the strip open it; the panel's button adds the calculation.
    QTest::keyClick(w.get(), Qt::Key_L, Qt::ControlModifier);
    QVERIFY(w->m_sheet->isVisible());
    w->m_sheet->close();
    w->btnSheet->click();
    QVERIFY(w->m_sheet->isVisible());
    w->m_sheet->close();
    panel->toSheetButton()->click();
    QVERIFY(w->m_sheet->isVisible());
    QCOMPARE(w->m_sheet->composition().lines.size(), 1);
    QVERIFY(w->m_sheet->composition().lines.first().sentence().contains(QStringLiteral("10 мл")));
    w->close();
    auto again = f.start();
    QVERIFY(!again->m_answers->isCollapsed());
}

void TestAnswersPanel::structuredChangeRefreshesQuietly()
{
    DemoFixture f;
    f.run(madeRows());
    auto w = f.start();
    AnswersPanel *panel = w->m_answers;
    selectNode(w->TreeView1, kMade);
    QTest::keyClicks(panel->weightEdit(), QStringLiteral("12,5"));
    QVERIFY(result(panel).contains(QStringLiteral("Отмерить: 1,3–2,5 мл")));
    w->TreeView1->currentItem()->setData(0, Qt::UserRole + 7, QStringLiteral("the same node"));
    const QString page = w->m_productView->Html();

    f.run(QStringLiteral("UPDATE item_doses SET dose_to = '8' WHERE id = 90011;"));
    QCoreApplication::postEvent(w.get(), new StructuredDataChangedEvent);
    QTRY_VERIFY(result(panel).contains(QStringLiteral("Отмерить: 1,3–2 мл")));
    QCOMPARE(panel->weightEdit()->text(), QStringLiteral("12,5"));
    QCOMPARE(w->TreeView1->currentItem()->data(0, Qt::UserRole + 7).toString(),
             QStringLiteral("the same node"));
    QCOMPARE(w->m_productView->Html(), page);
    QVERIFY(f.errors.isEmpty());

    // Rows gone: the panel goes with them; rows back after a full reload: it comes back.
    f.run(QStringLiteral(
              "DELETE FROM item_doses WHERE item_id = %1; DELETE FROM item_withdrawals WHERE item_id = %1;")
              .arg(kMade));
    QCoreApplication::postEvent(w.get(), new StructuredDataChangedEvent);
    QTRY_VERIFY(!panel->isVisible());
    f.run(madeRows().section(QLatin1Char(';'), 1));
    DataReloadEvent reload;
    QCoreApplication::sendEvent(w.get(), &reload);
    QTRY_VERIFY(panel->isVisible());
    QVERIFY(result(panel).startsWith(QStringLiteral("Укажите массу тела")) ||
            result(panel).contains(QStringLiteral("Отмерить: 1,3–2,5 мл")));
}

void TestAnswersPanel::printsTheCalculationOnlyWhenMade()
{
    DemoFixture f;
    f.run(madeRows());
    auto w = f.start();
    AnswersPanel *panel = w->m_answers;
    selectNode(w->TreeView1, kMade);
    const QString plain = f.dir.filePath(QStringLiteral("plain"));
    const QString made = f.dir.filePath(QStringLiteral("made"));
    QString file = plain;
    setPdfFileDialogFunction([&](QWidget *, const QString &) { return file; });

    // Nothing made: the page as the command line writes it.
    w->PdfButton->click();
    const QString cli = f.dir.filePath(QStringLiteral("cli.pdf"));
    QProcess ctl;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    ctl.setProcessEnvironment(env);
    ctl.start(qEnvironmentVariable("RAMUX_BIN_DIR") + QStringLiteral("/ramuxctl"),
              {QStringLiteral("page"), QStringLiteral("ITEM:%1").arg(kMade), QStringLiteral("--db"), f.path,
               QStringLiteral("--pdf"), cli});
    QVERIFY(ctl.waitForFinished(60000));
    QCOMPARE(ctl.exitCode(), 0);
    QCOMPARE(pdfText(plain + QStringLiteral(".pdf")), pdfText(cli));
    QVERIFY(!pdfText(cli).contains(QStringLiteral("Расчёт дозы")));

    QTest::keyClicks(panel->weightEdit(), QStringLiteral("20.0"));
    QTest::keyClicks(panel->lastDoseEdit(), QStringLiteral("01.03.2027 08:00"));
    file = made;
    w->PdfButton->click();
    const QString text = pdfText(made + QStringLiteral(".pdf")).simplified();
    QVERIFY(text.startsWith(pdfText(cli).simplified().left(200)));
    // The amount first, then what it was computed from; whole numbers without a trailing zero.
    QVERIFY(text.indexOf(QStringLiteral("Отмерить: 2–4 мл Действующего вещества: 100–200 мг")) > 0);
    QVERIFY(text.indexOf(QStringLiteral("Отмерить")) < text.indexOf(QStringLiteral("Доза по инструкции")));
    for (const QString &part :
         {QStringLiteral("Расчёт дозы"), QStringLiteral("Вид животного: собаки"),
          QStringLiteral("Масса тела: 20 кг"), QStringLiteral("внутримышечно"), QString::fromUtf8(kQuote),
          QStringLiteral("Последнее введение: 01.03.2027 08:00"), QStringLiteral("29.03.2027 08:00"),
          QStringLiteral("05.03.2027 08:00"), w->DataStatus->text()})
        QVERIFY2(text.contains(part.simplified()), qPrintable(part));
    // The screen's page is the composed page all the same.
    QVERIFY(!w->m_productView->Html().contains(QStringLiteral("Расчёт дозы")));
}

QTEST_MAIN(TestAnswersPanel)
#include "tst_answerspanel.moc"
