// When a dose row can be given with a product's strengths: the one rule that publishing and
// every client apply, so that what a client would leave out is never published.
#pragma once

#include "answers/doserow.h"
#include "answers/strength.h"

#include <QList>
#include <QString>
#include <optional>

// Why the row cannot be given with these strengths (the product's, in the source's order), or
// an empty text when it can. `key` gets the row's key the fault belongs to ("unit", ...).
// A dose in the product's own measure (мл, a countable form, г of the product) needs no
// strength; a dose of substance (мкг, мг, г, МЕ) needs one it converts to.
QString doseRowProblem(const DoseRow &row, const QList<Strength> &strengths, const char **key = nullptr);

// Whether the row's unit can be measured out with this strength, as substance or as product.
bool doseRowUnitFits(const DoseRow &row, const Strength &strength);

// For a row and the form the user chose (none: the row's own): the strengths the row may be given
// with, in the source's order, and the one used: the chosen one when it applies, else the first
// that fits. Never depends on the weight, so the form shown does not change while typing.
struct StrengthChoice
{
    QList<Strength> applicable;
    std::optional<Strength> used;
};
StrengthChoice chooseStrength(const DoseRow &row, const QList<Strength> &strengths,
                              std::optional<qint64> chosenId = std::nullopt);
