// The exact decimal, the unit list and its one conversion, at the edges where a slip would
// turn milligrams into micrograms or 0.3 into 0.30000000000000004.
#include "answers/decimal.h"
#include "answers/units.h"

#include <QtTest>

class TestDoseArithmetic : public QObject
{
    Q_OBJECT

private slots:
    void decimalParsesAndFormats_data();
    void decimalParsesAndFormats();
    void decimalRoundsInTheNamedDirection_data();
    void decimalRoundsInTheNamedDirection();
    void unitsConvertOnlyWithinTheirKind_data();
    void unitsConvertOnlyWithinTheirKind();
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

QTEST_GUILESS_MAIN(TestDoseArithmetic)
#include "tst_dosearithmetic.moc"
