// Withdrawal periods per species and tissue, and the date from which milk, meat, eggs or honey
// may be used after the last dose. Absence is "нет данных", never 0.
#pragma once

#include "answers/decimal.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

enum class Tissue { Meat, Milk, Eggs, Honey };
// Days are calendar days at the same clock time; hours are elapsed hours.
enum class PeriodUnit { Hours, Days };

// "meat", "milk", "eggs", "honey"; anything else is none.
std::optional<Tissue> tissueFromText(const QString &text);
QString tissueText(Tissue tissue);
QString tissueName(Tissue tissue); // "мясо", "молоко", "яйца", "мёд"
// "h", "d"; anything else is none.
std::optional<PeriodUnit> periodUnitFromText(const QString &text);

// The item_withdrawals columns as stored, before any of them is trusted.
struct WithdrawalRowText
{
    qint64 id = 0;
    qint64 itemId = 0;
    int ord = 0;
    qint64 speciesId = 0;
    QString tissue;
    QString period;
    QString periodUnit;
    std::optional<qint64> forbidden;
    QString sourceField;
    QString sourceQuote;
};

struct WithdrawalRow
{
    qint64 id = 0;
    int ord = 0;
    qint64 speciesId = 0;
    Tissue tissue = Tissue::Meat;
    bool forbidden = false; // "не допускается": no period
    Decimal period;
    PeriodUnit unit = PeriodUnit::Days;
    QString sourceField;
    QString sourceQuote;

    // "96 ч", "28 сут.", "0", "не допускается"; a comma writes the number for people (amountText),
    // a point as plain digits.
    QString periodText(QChar separator = QLatin1Char(',')) const;
    // The first moment the tissue may be used; none for "не допускается" or an invalid time.
    // A fraction of a second is waited out in full.
    std::optional<QDateTime> releaseAfter(const QDateTime &lastDose) const;
};

// Checks every column; none with the reason in `why` for an unknown tissue or unit, a negative
// or missing period, or a period given together with "не допускается".
std::optional<WithdrawalRow> parseWithdrawalRow(const WithdrawalRowText &text, QString *why = nullptr);

// What a species' withdrawal section shows: its rows in tissue order, or "нет данных" for a
// food-producing species that has dose rows and no withdrawal row; nothing otherwise.
struct WithdrawalTable
{
    bool noData = false;
    QList<WithdrawalRow> rows;
};
WithdrawalTable withdrawalTable(QList<WithdrawalRow> rowsOfSpecies, bool foodProducing, bool hasDoseRows);

QString noDataText(); // "нет данных"

// "DD.MM.YYYY HH:MM" in local time; none for anything else or a time the clock skips.
std::optional<QDateTime> parseLastDose(const QString &text);
// "05.03.2027 08:00"; a moment inside a minute is shown as the next minute, never earlier.
QString formatDateTime(const QDateTime &moment);
