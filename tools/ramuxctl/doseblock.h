// One computed dose row as the dose command prints it: species, route, indication, weight_kg,
// dose, form, amount, frequency, duration, rounded, capped, warning and source lines.
#pragma once

#include "answers/productanswers.h"

QString doseBlock(const Species &species, const DoseAnswer &answer, Decimal weight);
