// The dose calculation: a dose row, a strength and a body weight give the amount of substance
// and what to measure out, or a refusal in words. Never a number that was guessed.
#pragma once

#include "answers/decimal.h"
#include "answers/doserow.h"
#include "answers/strength.h"

#include <QString>
#include <QStringList>
#include <optional>

// A body weight typed by a person: "12,5" or "12.5", 0,01 to 2000 kg.
struct WeightInput
{
    std::optional<Decimal> kg;
    QString refusal; // set when kg is none
};
WeightInput parseWeight(const QString &text);

struct DoseResult
{
    QString refusal; // non-empty: nothing was computed, and this says why
    bool ok() const { return refusal.isEmpty(); }

    // Substance for this animal (after a cap), in the strength's substance unit or, for a dose
    // written in the measured form (мл/кг), none.
    std::optional<Decimal> substanceFrom;
    std::optional<Decimal> substanceTo;
    Unit substanceUnit = Unit::Milligram;

    // What to measure out, on the form's grid (0,1 мл; 0,01 мл under 0,1 мл; tablet fractions).
    Decimal measuredFrom;
    Decimal measuredTo; // equal to measuredFrom for one value
    Unit measuredUnit = Unit::Millilitre;
    int measuredDigits = 1; // fraction digits the measured values are written with

    // Set when the measured value is the nearest step to a computed value that is not on the
    // grid (a single dose, or a range with no step inside it): the computed value(s).
    bool rounded = false;
    Decimal computedFrom;
    Decimal computedTo;

    // Set when the maximum single dose lowered the result.
    bool capped = false;
    Decimal cap;
    Unit capUnit = Unit::Milligram;

    bool perAnimal = false; // the dose does not depend on the weight
    QStringList warnings;   // the window's wording, e.g. the volume under 0,1 мл

    // "1,3–2,5 мл", "≈ 1,3 мл (расчёт: 1,25 мл)", "1,5–2 таблетки", "6 мл": a comma writes the
    // numbers for people (amountText), a point as plain digits.
    QString measuredText(QChar separator = QLatin1Char(',')) const;
    // "62,5–125 мг", "200 000 МЕ", or empty when the substance is not known.
    QString substanceText() const;
};

// Which strengths a row refers to: the same substance, or every strength when the row names none.
bool doseRowFitsStrength(const DoseRow &row, const Strength &strength);
// Whether the dose unit can be given with this strength: convertible to its substance unit, or
// written in its measured form. Publishing refuses rows where this fails.
bool doseUnitFitsStrength(Unit doseUnit, const Strength &strength);

// The calculation. `weightKg` may be none for a per-animal row; a per-kg row without a weight, a
// basis that is not computed, units that do not fit, or a step further than 10 % from the
// computed amount are refusals.
DoseResult computeDose(const DoseRow &row, const Strength &strength, std::optional<Decimal> weightKg);

// A count written with its word: "1 таблетка", "2 таблетки", "5 таблеток", "1,5 таблетки";
// other units are written as they are.
QString unitWordFor(Unit unit, Decimal value);
