// Release dates after the last dose in a zone with a clock change: calendar days keep the clock
// time, elapsed hours do not; "не допускается" and "нет данных" never turn into a number.
#include "answers/withdrawal.h"

#include <QtTest>
#include <ctime>

class TestWithdrawal : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void releaseDateFollowsTheUnit_data();
    void releaseDateFollowsTheUnit();
    void brokenRowsAreRefused_data();
    void brokenRowsAreRefused();
    void absenceIsNoDataNeverZero();
    void lastDoseIsReadAsTyped();
};

void TestWithdrawal::initTestCase()
{
    // Summer time starts on 28.03.2027 at 02:00 here: that night has 23 hours.
    qputenv("TZ", "Europe/Berlin");
    tzset();
    const QDateTime before(QDate(2027, 3, 27), QTime(8, 0));
    QCOMPARE(before.secsTo(QDateTime(QDate(2027, 3, 28), QTime(8, 0))), 23 * 3600);
}

void TestWithdrawal::releaseDateFollowsTheUnit_data()
{
    QTest::addColumn<QString>("tissue");
    QTest::addColumn<QString>("period"); // empty with forbidden
    QTest::addColumn<QString>("unit");
    QTest::addColumn<bool>("forbidden");
    QTest::addColumn<QString>("last");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("release"); // empty: none
    QTest::newRow("milk 96 h") << "milk"
                               << "96"
                               << "h" << false << "01.03.2027 08:00"
                               << "96 ч"
                               << "05.03.2027 08:00";
    QTest::newRow("meat 28 d") << "meat"
                               << "28"
                               << "d" << false << "01.03.2027 08:00"
                               << "28 сут."
                               << "29.03.2027 08:00";
    QTest::newRow("zero hours shows 0") << "milk"
                                        << "0"
                                        << "h" << false << "01.03.2027 08:00"
                                        << "0"
                                        << "01.03.2027 08:00";
    QTest::newRow("forbidden stays forbidden") << "milk"
                                               << ""
                                               << "" << true << "01.03.2027 08:00"
                                               << "не допускается"
                                               << "";
    QTest::newRow("24 h across the clock change") << "eggs"
                                                  << "24"
                                                  << "h" << false << "27.03.2027 08:00"
                                                  << "24 ч"
                                                  << "28.03.2027 09:00";
    QTest::newRow("1 d across the clock change") << "eggs"
                                                 << "1"
                                                 << "d" << false << "27.03.2027 08:00"
                                                 << "1 сут."
                                                 << "28.03.2027 08:00";
    QTest::newRow("back in autumn") << "honey"
                                    << "48"
                                    << "h" << false << "30.10.2027 12:00"
                                    << "48 ч"
                                    << "01.11.2027 11:00";
    QTest::newRow("half a day is elapsed time") << "meat"
                                                << "1.5"
                                                << "d" << false << "27.03.2027 08:00"
                                                << "1,5 сут."
                                                << "28.03.2027 20:00";
    QTest::newRow("a part of an hour is waited out") << "milk"
                                                     << "0.001"
                                                     << "h" << false << "01.03.2027 08:00"
                                                     << "0,001 ч"
                                                     << "01.03.2027 08:01";
}

void TestWithdrawal::releaseDateFollowsTheUnit()
{
    QFETCH(QString, tissue);
    QFETCH(QString, period);
    QFETCH(QString, unit);
    QFETCH(bool, forbidden);
    QFETCH(QString, last);
    QFETCH(QString, shown);
    QFETCH(QString, release);
    WithdrawalRowText text;
    text.tissue = tissue;
    text.period = period.isEmpty() ? QString() : period;
    text.periodUnit = unit.isEmpty() ? QString() : unit;
    text.forbidden = forbidden ? 1 : 0;
    QString why;
    const auto row = parseWithdrawalRow(text, &why);
    QVERIFY2(row, qPrintable(why));
    QCOMPARE(row->periodText(), shown);
    const auto lastDose = parseLastDose(last);
    QVERIFY(lastDose);
    const auto released = row->releaseAfter(*lastDose);
    QCOMPARE(released.has_value(), !release.isEmpty());
    if (released) {
        QCOMPARE(formatDateTime(*released), release);
        QVERIFY(*released >= *lastDose);
    }
}

void TestWithdrawal::brokenRowsAreRefused_data()
{
    QTest::addColumn<QString>("tissue");
    QTest::addColumn<QString>("period");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<int>("forbidden");
    QTest::newRow("negative period") << "meat"
                                     << "-1"
                                     << "d" << 0;
    QTest::newRow("period without unit") << "meat"
                                         << "5"
                                         << "" << 0;
    QTest::newRow("no period") << "meat"
                               << ""
                               << "d" << 0;
    QTest::newRow("unknown unit") << "meat"
                                  << "5"
                                  << "w" << 0;
    QTest::newRow("unknown tissue") << "wool"
                                    << "5"
                                    << "d" << 0;
    QTest::newRow("forbidden with a period") << "milk"
                                             << "5"
                                             << "d" << 1;
    QTest::newRow("absurdly long") << "meat"
                                   << "1000000"
                                   << "d" << 0;
}

void TestWithdrawal::brokenRowsAreRefused()
{
    QFETCH(QString, tissue);
    QFETCH(QString, period);
    QFETCH(QString, unit);
    QFETCH(int, forbidden);
    WithdrawalRowText text;
    text.tissue = tissue;
    text.period = period.isEmpty() ? QString() : period;
    text.periodUnit = unit.isEmpty() ? QString() : unit;
    text.forbidden = forbidden;
    QString why;
    QVERIFY(!parseWithdrawalRow(text, &why));
    QVERIFY(!why.isEmpty());
}

void TestWithdrawal::absenceIsNoDataNeverZero()
{
    QVERIFY(withdrawalTable({}, true, true).noData);
    QVERIFY(!withdrawalTable({}, false, true).noData); // a dog: nothing to wait for
    QVERIFY(!withdrawalTable({}, true, false).noData); // no dose for the species either
    QCOMPARE(noDataText(), QStringLiteral("нет данных"));

    WithdrawalRow milk, meat;
    milk.tissue = Tissue::Milk;
    milk.period = Decimal::fromInt(96);
    milk.unit = PeriodUnit::Hours;
    meat.tissue = Tissue::Meat;
    meat.period = Decimal::fromInt(28);
    const WithdrawalTable table = withdrawalTable({milk, meat}, true, true);
    QVERIFY(!table.noData);
    QCOMPARE(table.rows.size(), 2);
    QCOMPARE(table.rows.at(0).tissue, Tissue::Meat);
    QCOMPARE(tissueName(table.rows.at(1).tissue), QStringLiteral("молоко"));
}

void TestWithdrawal::lastDoseIsReadAsTyped()
{
    QVERIFY(parseLastDose(QStringLiteral("01.03.2027 08:00")));
    QVERIFY(!parseLastDose(QStringLiteral("1.3.2027 8:00")));
    QVERIFY(!parseLastDose(QStringLiteral("31.02.2027 08:00")));
    QVERIFY(!parseLastDose(QStringLiteral("01.03.2027")));
    QVERIFY(!parseLastDose(QStringLiteral("28.03.2027 02:30"))); // the clock skips this half hour
}

QTEST_GUILESS_MAIN(TestWithdrawal)
#include "tst_withdrawal.moc"
