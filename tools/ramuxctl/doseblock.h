// One computed dose row as the dose command prints it: species, route, indication, weight_kg,
// dose, form, amount, frequency, duration, rounded, capped, warning and source lines.
#pragma once

#include "answers/productanswers.h"

// A weight of none (a per-animal row asked without one) prints an empty weight_kg.
QString doseBlock(const Species &species, const DoseAnswer &answer, const std::optional<Decimal> &weight);
