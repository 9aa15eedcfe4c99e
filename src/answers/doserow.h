// One dosing row of a product: species x route x indication, its dose and the words it restates.
#pragma once

#include "answers/decimal.h"
#include "answers/units.h"

#include <QString>
#include <optional>

// The item_doses columns as stored, before any of them is trusted.
struct DoseRowText
{
    qint64 id = 0;
    qint64 itemId = 0;
    int ord = 0;
    qint64 speciesId = 0;
    QString route;
    QString indication;
    QString substance; // null: every strength of the product
    QString doseFrom;
    QString doseTo; // null: a single value
    QString doseUnit;
    QString basis;
    QString frequency;
    QString duration;
    QString maxSingle; // null: no cap
    QString maxSingleUnit;
    QString sourceField;
    QString sourceQuote;
};

// What a dose in г is of, when the product itself is measured in г too (a powder).
enum class DoseOf { Unsaid, Product, Substance };

// How the dose unit column carries `of`: "г препарата", "г вещества". Programs that read only
// the plain unit list take these for an unknown unit and leave the row out.
QString doseUnitColumn(const QString &unit, DoseOf of);

struct DoseRow
{
    qint64 id = 0;
    int ord = 0;
    qint64 speciesId = 0;
    QString route;
    QString indication;
    QString substance;
    Decimal from;
    Decimal to; // equal to from for a single value
    bool single = true;
    Unit unit = Unit::Milligram;
    DoseOf of = DoseOf::Unsaid;
    Basis basis = Basis::Kg;
    Decimal perKg = Decimal::fromInt(1); // Kg: the dose is per this many kg of body weight
    QString frequency;
    QString duration;
    std::optional<Decimal> maxSingle;
    Unit maxSingleUnit = Unit::Milligram;
    QString sourceField;
    QString sourceQuote;

    // "5–10 мг/кг", "1 таблетка на животное", "2 г на 1 л воды" (a comma: the numbers written for
    // people by amountText; a point: the command line's plain digits).
    QString describe(QChar separator = QLatin1Char(',')) const;
    // "мг", "г препарата": the unit as a person reads it.
    QString unitName() const;
};

// Checks every column; none with the reason in `why` for a missing, zero or negative number,
// from above to, a unit outside the list (or a percentage), an unknown basis or a broken cap.
// Publishing calls it on every row it writes, so what it refuses is never published.
std::optional<DoseRow> parseDoseRow(const DoseRowText &text, QString *why = nullptr);
