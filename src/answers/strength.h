// One form of a product and how much active substance each measured unit of it holds.
#pragma once

#include "answers/decimal.h"
#include "answers/units.h"

#include <QString>
#include <optional>

// The item_strengths columns as stored, before any of them is trusted.
struct StrengthText
{
    qint64 id = 0;
    qint64 itemId = 0;
    int ord = 0;
    QString form;
    QString substance; // null: not named
    QString amount;
    QString amountUnit;
    QString perAmount; // null: 1 (and always for a percentage)
    QString perUnit;
    std::optional<qint64> fractions;
};

struct Strength
{
    qint64 id = 0;
    int ord = 0;
    QString form;
    QString substance;
    // As written: 10 % stays 10 %, so the text shown matches the instruction.
    Decimal amount;
    Unit amountUnit = Unit::Milligram;
    Decimal perAmount = Decimal::fromInt(1);
    Unit perUnit = Unit::Millilitre; // the measured form: мл, г or a countable word
    int fractions = 1;               // countable forms: 1 whole, 2 halves, 4 quarters

    // The substance per `perAmount` of the form with a percentage resolved (10 % per мл is
    // 100 мг per 1 мл; per г it is w/w, 100 мг per 1 г).
    Decimal substanceAmount() const;
    Unit substanceUnit() const;
    // The smallest amount of the form that can be measured: 0.1 мл, 0.1 г, a tablet's allowed
    // fraction, one whole capsule, pipette or dose.
    Decimal measureStep() const;
    // "суспензия, альбендазол 25 мг в 1 мл", "таблетка, 50 мг", "раствор, 10 % (100 мг в 1 мл)";
    // a comma writes the numbers for people (amountText), a point as plain digits.
    QString describe(QChar separator = QLatin1Char(',')) const;
};

// Checks every column; none with the reason in `why` when a value is missing, not a number,
// not in the unit list, not positive, or when a percentage is not per мл or per г.
std::optional<Strength> parseStrength(const StrengthText &text, QString *why = nullptr);
