// The exact decimal, the unit list and its one conversion, at the edges where a slip would
// turn milligrams into micrograms or 0.3 into 0.30000000000000004.
#include "answers/amounttext.h"
#include "answers/decimal.h"
#include "answers/dosecalc.h"
#include "answers/units.h"

#include <QtTest>

class TestDoseArithmetic : public QObject
{
    Q_OBJECT

private slots:
    void decimalParsesAndFormats_data();
    void decimalParsesAndFormats();
    void amountsAreWrittenAsPeopleActOnThem_data();
    void amountsAreWrittenAsPeopleActOnThem();
    void decimalRoundsInTheNamedDirection_data();
    void decimalRoundsInTheNamedDirection();
    void unitsConvertOnlyWithinTheirKind_data();
    void unitsConvertOnlyWithinTheirKind();
    void doseIsMeasuredOrRefused_data();
    void doseIsMeasuredOrRefused();
    void weightIsReadOrRefusedInWords_data();
    void weightIsReadOrRefusedInWords();
};

void TestDoseArithmetic::decimalParsesAndFormats_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("point");
    QTest::addColumn<QString>("comma");
    QTest::newRow("comma") << "2,5" << true << "2.5"
                           << "2,5";
    QTest::newRow("point") << "12.50" << true << "12.5"
                           << "12,5";
    QTest::newRow("whole") << "96" << true << "96"
                           << "96";
    QTest::newRow("zero") << "0" << true << "0"
                          << "0";
    QTest::newRow("negative") << "-3.25" << true << "-3.25"
                              << "-3,25";
    QTest::newRow("finest") << "0.000000001" << true << "0.000000001"
                            << "0,000000001";
    QTest::newRow("too fine") << "0.0000000001" << false << ""
                              << "";
    QTest::newRow("empty") << "" << false << ""
                           << "";
    QTest::newRow("bare separator") << "5." << false << ""
                                    << "";
    QTest::newRow("no whole part") << ".5" << false << ""
                                   << "";
    QTest::newRow("two separators") << "1.2.3" << false << ""
                                    << "";
    QTest::newRow("blank") << " 5" << false << ""
                           << "";
    QTest::newRow("exponent") << "1e3" << false << ""
                              << "";
    QTest::newRow("plus") << "+5" << false << ""
                          << "";
    QTest::newRow("arabic-indic digit") << QString::fromUtf8("٥") << false << ""
                                        << "";
    QTest::newRow("too large") << "99999999999" << false << ""
                               << "";
    QTest::newRow("many digits") << "123456789012345678901234567890" << false << ""
                                 << "";
}

void TestDoseArithmetic::decimalParsesAndFormats()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    const auto value = Decimal::parse(text);
    QCOMPARE(value.has_value(), valid);
    if (!valid)
        return;
    QFETCH(QString, point);
    QFETCH(QString, comma);
    QCOMPARE(value->toString(), point);
    QCOMPARE(value->toString(QLatin1Char(',')), comma);
}

void TestDoseArithmetic::amountsAreWrittenAsPeopleActOnThem_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to"); // empty: one value
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("written"); // "_" stands for the no-break space
    const auto row = [](const char *name, const char *from, const char *to, const char *unit,
                        const char *written) {
        QTest::newRow(name) << QString::fromUtf8(from) << QString::fromUtf8(to) << QString::fromUtf8(unit)
                            << QString::fromUtf8(written);
    };
    row("0,05", "0.05", "", "мл", "0,05 мл");
    row("0,5 with its leading zero", "0.5", "", "мл", "0,5 мл");
    row("1", "1", "", "таблетка", "1 таблетка");
    row("1,0 computed", "1.000", "", "мл", "1 мл");
    row("a fraction keeps its digits", "1.25", "", "мл", "1,25 мл");
    row("10", "10.0", "", "мл", "10 мл");
    row("999", "999", "", "мг", "999 мг");
    row("1 000", "1000", "", "мг", "1_000 мг");
    row("grouped whole part only", "1234.5678", "", "мкг", "1_234,5678 мкг");
    row("200 000", "200000", "", "МЕ", "200_000 МЕ");
    row("4 500 000", "4500000", "", "МЕ", "4_500_000 МЕ");
    row("range", "1.5", "2.0", "таблетки", "1,5–2 таблетки");
    row("grouped range", "100000", "200000", "МЕ", "100_000–200_000 МЕ");
    row("equal bounds are one value", "6", "6.0", "мл", "6 мл");
    row("zero, no unit", "0", "", "", "0");
}

void TestDoseArithmetic::amountsAreWrittenAsPeopleActOnThem()
{
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QString, unit);
    QFETCH(QString, written);
    const Decimal low = *Decimal::parse(from);
    const QString text = to.isEmpty() ? amountText(low, unit) : amountText(low, *Decimal::parse(to), unit);
    QCOMPARE(text, QString(written).replace(QLatin1Char('_'), QChar(0x00A0)));
}

void TestDoseArithmetic::decimalRoundsInTheNamedDirection_data()
{
    QTest::addColumn<QString>("op");
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<int>("rounding");
    QTest::addColumn<QString>("expected");
    const int down = int(Rounding::Down), up = int(Rounding::Up), half = int(Rounding::HalfUp);
    QTest::newRow("3 x 0.1 is 0.3") << "*"
                                    << "3"
                                    << "0.1" << down << "0.3";
    QTest::newRow("12.5 x 5") << "*"
                              << "12.5"
                              << "5" << down << "62.5";
    QTest::newRow("0.2 / 0.6 down") << "/"
                                    << "0.2"
                                    << "0.6" << down << "0.333333333";
    QTest::newRow("0.2 / 0.6 up") << "/"
                                  << "0.2"
                                  << "0.6" << up << "0.333333334";
    QTest::newRow("2 / 3 nearest") << "/"
                                   << "2"
                                   << "3" << half << "0.666666667";
    QTest::newRow("-2 / 3 down") << "/"
                                 << "-2"
                                 << "3" << down << "-0.666666667";
    QTest::newRow("below grid product up") << "*"
                                           << "0.000000001"
                                           << "0.5" << up << "0.000000001";
    QTest::newRow("below grid product down") << "*"
                                             << "0.000000001"
                                             << "0.5" << down << "0";
    QTest::newRow("step up") << "step"
                             << "0.3333"
                             << "0.1" << up << "0.4";
    QTest::newRow("step down") << "step"
                               << "2.5"
                               << "0.1" << down << "2.5";
    QTest::newRow("step tie") << "step"
                              << "1.25"
                              << "0.1" << half << "1.3";
    QTest::newRow("step below tie") << "step"
                                    << "1.249999999"
                                    << "0.1" << half << "1.2";
    QTest::newRow("halves down") << "step"
                                 << "2.4"
                                 << "0.5" << down << "2";
    QTest::newRow("halves up") << "step"
                               << "1.2"
                               << "0.5" << up << "1.5";
    QTest::newRow("divide by zero") << "/"
                                    << "1"
                                    << "0" << down << "";
    QTest::newRow("overflow") << "*"
                              << "9000000000"
                              << "2" << down << "";
}

void TestDoseArithmetic::decimalRoundsInTheNamedDirection()
{
    QFETCH(QString, op);
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(int, rounding);
    QFETCH(QString, expected);
    const Decimal x = *Decimal::parse(a), y = *Decimal::parse(b);
    const Rounding rule = Rounding(rounding);
    std::optional<Decimal> result;
    if (op == QLatin1String("*"))
        result = x.times(y, rule);
    else if (op == QLatin1String("/"))
        result = x.dividedBy(y, rule);
    else
        result = x.roundedTo(y, rule);
    QCOMPARE(result.has_value(), !expected.isEmpty());
    if (result)
        QCOMPARE(result->toString(), expected);
}

void TestDoseArithmetic::unitsConvertOnlyWithinTheirKind_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("expected"); // empty: refused
    QTest::newRow("g to mcg") << "0.5"
                              << "г"
                              << "мкг"
                              << "500000";
    QTest::newRow("mcg to mg") << "10"
                               << "мкг"
                               << "мг"
                               << "0.01";
    QTest::newRow("mg to g") << "62.5"
                             << "мг"
                             << "г"
                             << "0.0625";
    QTest::newRow("IU stays IU") << "3000"
                                 << "МЕ"
                                 << "МЕ"
                                 << "3000";
    QTest::newRow("IU to mg") << "3000"
                              << "МЕ"
                              << "мг"
                              << "";
    QTest::newRow("ml to mg") << "1"
                              << "мл"
                              << "мг"
                              << "";
    QTest::newRow("tablet to bolus") << "1"
                                     << "таблетка"
                                     << "болюс"
                                     << "";
    QTest::newRow("tablet to tablet") << "1.5"
                                      << "таблетка"
                                      << "таблетка"
                                      << "1.5";
    QTest::newRow("percent to percent") << "10"
                                        << "%"
                                        << "%"
                                        << "";
    QTest::newRow("finer than grid in g") << "0.000000001"
                                          << "мг"
                                          << "г"
                                          << "";
}

void TestDoseArithmetic::unitsConvertOnlyWithinTheirKind()
{
    QFETCH(QString, value);
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QString, expected);
    const auto fromUnit = unitFromText(from), toUnit = unitFromText(to);
    QVERIFY(fromUnit && toUnit);
    QCOMPARE(unitText(*fromUnit), from);
    const auto converted = convert(*Decimal::parse(value), *fromUnit, *toUnit);
    QCOMPARE(converted.has_value(), !expected.isEmpty());
    if (converted)
        QCOMPARE(converted->toString(), expected);
    QVERIFY(!unitFromText(QStringLiteral("mg")));
    QVERIFY(!unitFromText(QStringLiteral("МГ")));
}

void TestDoseArithmetic::doseIsMeasuredOrRefused_data()
{
    // A case: "weight | dose from | to | unit | basis | cap" against "strength | form unit | fractions".
    QTest::addColumn<QString>("weight");
    QTest::addColumn<QString>("dose");     // "from|to|unit|basis|max|max unit" (empty to: single)
    QTest::addColumn<QString>("strength"); // "amount|unit|per amount|per unit|fractions"
    QTest::addColumn<QString>("measured"); // the window's text, or empty when refused
    QTest::addColumn<QString>("substance");
    QTest::addColumn<QString>("refusalOrWarning");

    QTest::newRow("dog 12.5 kg, 5-10 mg/kg, 50 mg/ml") << "12.5"
                                                       << "5|10|мг|kg||"
                                                       << "50|мг||мл|"
                                                       << "1,3–2,5 мл"
                                                       << "62,5–125 мг"
                                                       << "";
    QTest::newRow("20 kg, 0.01-0.03 mg/kg, 0.6 mg/ml: 0.33 rounds up inside") << "20"
                                                                              << "0.01|0.03|мг|kg||"
                                                                              << "0.6|мг||мл|"
                                                                              << "0,4–1 мл"
                                                                              << "0,2–0,6 мг"
                                                                              << "";
    QTest::newRow("1 ml per 10 kg at 12.5 kg, a single value") << "12.5"
                                                               << "0.1||мл|kg||"
                                                               << "50|мг|1|мл|"
                                                               << "≈ 1,3 мл (расчёт: 1,25 мл)"
                                                               << "62,5 мг"
                                                               << "";
    QTest::newRow("1 ml per 10 kg written as it stands") << "12.5"
                                                        << "1||мл|10 kg||"
                                                        << "50|мг|1|мл|"
                                                        << "≈ 1,3 мл (расчёт: 1,25 мл)"
                                                        << "62,5 мг"
                                                        << "";
    QTest::newRow("0.5 g of a 10 % powder per kg is 5 g, not 50") << "10"
                                                                  << "0.5||г препарата|kg||"
                                                                  << "100|мг|1|г|"
                                                                  << "5 г"
                                                                  << "500 мг"
                                                                  << "";
    QTest::newRow("10 kg, 10 ug/kg, 100 ug/ml") << "10"
                                                << "10||мкг|kg||"
                                                << "100|мкг||мл|"
                                                << "1 мл"
                                                << "100 мкг"
                                                << "";
    QTest::newRow("the same row mis-published as mg/kg hits the 0.5 mg cap")
        << "10"
        << "10||мг|kg|0.5|мг"
        << "100|мкг||мл|"
        << "5 мл"
        << "0,5 мг"
        << "Доза ограничена максимальной разовой дозой: 0,5 мг";
    QTest::newRow("12 kg, 5-10 mg/kg, 50 mg tablets in halves: never 2.5") << "12.0"
                                                                           << "5|10|мг|kg||"
                                                                           << "50|мг||таблетка|2"
                                                                           << "1,5–2 таблетки"
                                                                           << "60–120 мг"
                                                                           << "";
    QTest::newRow("10 % is 100 mg/ml: 4 kg at 50-150 mg/kg") << "4"
                                                             << "50|150|мг|kg||"
                                                             << "10|%||мл|"
                                                             << "2–6 мл"
                                                             << "200–600 мг"
                                                             << "";
    QTest::newRow("10 % w/w powder is 100 mg/g") << "4"
                                                 << "50||мг|kg||"
                                                 << "10|%||г|"
                                                 << "2 г"
                                                 << "200 мг"
                                                 << "";
    QTest::newRow("3 kg x 0.1 ml/kg is 0.3 ml exactly") << "3"
                                                        << "0.1||мл|kg||"
                                                        << "50|мг||мл|"
                                                        << "0,3 мл"
                                                        << "15 мг"
                                                        << "";
    QTest::newRow("25 mg in 5 ml") << "10"
                                   << "5||мг|kg||"
                                   << "25|мг|5|мл|"
                                   << "10 мл"
                                   << "50 мг"
                                   << "";
    QTest::newRow("g dose against a mg strength") << "500"
                                                  << "0.01||г|kg||"
                                                  << "100|мг||мл|"
                                                  << "50 мл"
                                                  << "5 г"
                                                  << "";
    QTest::newRow("IU dose against a mg strength is refused")
        << "10"
        << "3000||МЕ|kg||"
        << "50|мг||мл|"
        << ""
        << ""
        << "Единицы дозы и концентрации несовместимы: МЕ и мг";
    QTest::newRow("per animal does not depend on weight") << "500"
                                                          << "1||таблетка|animal||"
                                                          << "50|мг||таблетка|2"
                                                          << "1 таблетка"
                                                          << "50 мг"
                                                          << "Доза на животное: от массы тела не зависит";
    QTest::newRow("per litre of water is not computed")
        << "10"
        << "1||г|water_l||"
        << "100|мг||г|"
        << ""
        << ""
        << "Доза указана на 1 л воды и по массе тела не рассчитывается";
    QTest::newRow("per hive is not computed") << "10"
                                              << "1||пипетка|hive||"
                                              << "1|мл||пипетка|"
                                              << ""
                                              << ""
                                              << "Доза указана на улей и по массе тела не рассчитывается";
    QTest::newRow("a volume under 0.1 ml is measured in hundredths, with a warning")
        << "0.5"
        << "0.1||мг|kg||"
        << "1|мг||мл|"
        << "0,05 мл"
        << "0,05 мг"
        << "Объём меньше 0,1 мл: обычным шприцем его точно не отмерить";
    QTest::newRow("a single 0.6 tablet of whole tablets is refused")
        << "3"
        << "10||мг|kg||"
        << "50|мг||таблетка|1"
        << ""
        << ""
        << "Отмерить точно нельзя: по расчёту нужно 0,6 таблетки, а ближайшее, что можно отмерить, — 1 "
           "таблетка (разница больше 10 %)";
    QTest::newRow("a range with no step inside gives the nearest one within 10 %")
        << "4.4"
        << "10|11|мг|kg||"
        << "50|мг||таблетка|"
        << "≈ 1 таблетка (расчёт: 0,88–0,968 таблетки)"
        << "44–48,4 мг"
        << "";
    QTest::newRow("a range with no step within 10 % is refused")
        << "3"
        << "10|11|мг|kg||"
        << "50|мг||таблетка|"
        << ""
        << ""
        << "Отмерить точно нельзя: по расчёту нужно 0,6–0,66 таблетки, а ближайшее, что можно отмерить, — 1 "
           "таблетка";
    QTest::newRow("a cap in millilitres") << "40"
                                          << "0.1||мл|kg|2|мл"
                                          << "50|мг||мл|"
                                          << "2 мл"
                                          << "100 мг"
                                          << "Доза ограничена максимальной разовой дозой: 2 мл";
    QTest::newRow("a range capped at its upper end only")
        << "12.5"
        << "5|10|мг|kg|100|мг"
        << "50|мг||мл|"
        << "1,3–2 мл"
        << "62,5–100 мг"
        << "Доза ограничена максимальной разовой дозой: 100 мг";
    QTest::newRow("rounding up would pass the cap: the largest quarter under it")
        << "10.3"
        << "7||мг|kg|72.5|мг"
        << "25|мг||таблетка|4"
        << "≈ 2,75 таблетки (расчёт: 2,884 таблетки)"
        << "72,1 мг"
        << "Доза ограничена максимальной разовой дозой: 72,5 мг";
    QTest::newRow("the half under the cap is too far: refused, never 1.5")
        << "10"
        << "7||мг|kg|72.5|мг"
        << "50|мг||таблетка|2"
        << ""
        << ""
        << "Отмерить точно нельзя: по расчёту нужно 1,4 таблетки, а ближайшее, что можно отмерить, не "
           "превышая максимальной разовой дозы, — 1 таблетка (разница больше 10 %)";
    QTest::newRow("15 % away is refused")
        << "4.25"
        << "10||мг|kg||"
        << "50|мг||таблетка|1"
        << ""
        << ""
        << "Отмерить точно нельзя: по расчёту нужно 0,85 таблетки, а "
           "ближайшее, что можно отмерить, — 1 таблетка (разница больше 10 %)";
    QTest::newRow("numbers of the row past the limits blame the row, never the weight")
        << "2000"
        << "9000000||мг|kg||"
        << "1|мг||мл|"
        << ""
        << ""
        << "Расчёт выходит за пределы допустимых чисел: проверьте данные препарата (доза ";
    QTest::newRow("a cap in an unrelated unit is refused")
        << "40"
        << "1||мг|kg|2|МЕ"
        << "50|мг||мл|"
        << ""
        << ""
        << "Единицы максимальной разовой дозы и дозы несовместимы: МЕ и мг";
    QTest::newRow("a per-kg dose without a weight is refused")
        << ""
        << "5|10|мг|kg||"
        << "50|мг||мл|"
        << ""
        << ""
        << "Масса тела должна быть от 0,01 до 2\u00a0000 кг";
    QTest::newRow("a single value below the grid stays one value") << "0.333333333"
                                                                   << "0.5||мг|kg||"
                                                                   << "0.1|мг||мл|"
                                                                   << "≈ 1,7 мл (расчёт: 1,6667 мл)"
                                                                   << "0,1667 мг"
                                                                   << "";
    QTest::newRow("a capsule is whole") << "7"
                                        << "10|20|мг|kg||"
                                        << "100|мг||капсула|"
                                        << "1 капсула"
                                        << "70–140 мг"
                                        << "";
}

void TestDoseArithmetic::doseIsMeasuredOrRefused()
{
    QFETCH(QString, weight);
    QFETCH(QString, dose);
    QFETCH(QString, strength);
    QFETCH(QString, measured);
    QFETCH(QString, substance);
    QFETCH(QString, refusalOrWarning);
    const QStringList d = dose.split(QLatin1Char('|'));
    const QStringList s = strength.split(QLatin1Char('|'));
    const auto nullIfEmpty = [](const QString &t) { return t.isEmpty() ? QString() : t; };

    DoseRowText rowText;
    rowText.doseFrom = d[0];
    rowText.doseTo = nullIfEmpty(d[1]);
    rowText.doseUnit = d[2];
    rowText.basis = d[3];
    rowText.maxSingle = nullIfEmpty(d[4]);
    rowText.maxSingleUnit = nullIfEmpty(d[5]);
    QString why;
    const auto row = parseDoseRow(rowText, &why);
    QVERIFY2(row, qPrintable(why));
    StrengthText strengthText;
    strengthText.form = QStringLiteral("форма");
    strengthText.amount = s[0];
    strengthText.amountUnit = s[1];
    strengthText.perAmount = nullIfEmpty(s[2]);
    strengthText.perUnit = s[3];
    if (!s[4].isEmpty())
        strengthText.fractions = s[4].toInt();
    const auto parsed = parseStrength(strengthText, &why);
    QVERIFY2(parsed, qPrintable(why));

    const DoseResult result =
        computeDose(*row, *parsed, weight.isEmpty() ? std::nullopt : Decimal::parse(weight));
    if (measured.isEmpty()) {
        QVERIFY2(!result.ok(), qPrintable(result.measuredText()));
        QVERIFY2(result.refusal.startsWith(refusalOrWarning), qPrintable(result.refusal));
        QVERIFY(result.measuredText().isEmpty());
        return;
    }
    QVERIFY2(result.ok(), qPrintable(result.refusal));
    QCOMPARE(result.measuredText(), measured);
    QCOMPARE(result.substanceText(), substance);
    QCOMPARE(result.capped, refusalOrWarning.contains(QStringLiteral("ограничена")));
    if (refusalOrWarning.isEmpty())
        QVERIFY2(result.warnings.isEmpty(), qPrintable(result.warnings.join(QLatin1Char('|'))));
    else
        QVERIFY2(result.warnings.contains(refusalOrWarning),
                 qPrintable(result.warnings.join(QLatin1Char('|'))));
    // The same result on the command line's terms: a point, and never past the cap or the range.
    QVERIFY(!result.measuredText(QLatin1Char('.')).contains(QLatin1Char(',')) ||
            result.measuredText(QLatin1Char('.')).contains(QStringLiteral("расчёт")));
    if (row->basis == Basis::Animal) {
        const DoseResult light = computeDose(*row, *parsed, Decimal::parse(QStringLiteral("0.5")));
        QCOMPARE(light.measuredText(), measured);
        QVERIFY(light.perAnimal);
    }
}

void TestDoseArithmetic::weightIsReadOrRefusedInWords_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("kg"); // empty: refused
    QTest::addColumn<QString>("refusal");
    QTest::newRow("comma") << "12,5"
                           << "12.5"
                           << "";
    QTest::newRow("point and blanks") << " 12.5 "
                                      << "12.5"
                                      << "";
    QTest::newRow("lightest") << "0,01"
                              << "0.01"
                              << "";
    QTest::newRow("heaviest") << "2000"
                              << "2000"
                              << "";
    QTest::newRow("too light") << "0,009"
                               << ""
                               << "Масса тела должна быть от 0,01 до 2\u00a0000 кг";
    QTest::newRow("too heavy") << "2000,1"
                               << ""
                               << "Масса тела должна быть от 0,01 до 2\u00a0000 кг";
    QTest::newRow("negative") << "-5"
                              << ""
                              << "Масса тела должна быть от 0,01 до 2\u00a0000 кг";
    QTest::newRow("zero") << "0"
                          << ""
                          << "Масса тела должна быть от 0,01 до 2\u00a0000 кг";
    QTest::newRow("word") << "двенадцать"
                          << ""
                          << "Масса тела — не число: «двенадцать»";
    QTest::newRow("with unit") << "12 кг"
                               << ""
                               << "Масса тела — не число: «12 кг»";
    QTest::newRow("empty") << "  "
                           << ""
                           << "Укажите массу тела в килограммах";
}

void TestDoseArithmetic::weightIsReadOrRefusedInWords()
{
    QFETCH(QString, text);
    QFETCH(QString, kg);
    QFETCH(QString, refusal);
    const WeightInput input = parseWeight(text);
    QCOMPARE(input.kg.has_value(), !kg.isEmpty());
    if (input.kg)
        QCOMPARE(input.kg->toString(), kg);
    else
        QVERIFY2(input.refusal.startsWith(refusal), qPrintable(input.refusal));
}

QTEST_GUILESS_MAIN(TestDoseArithmetic)
#include "tst_dosearithmetic.moc"
