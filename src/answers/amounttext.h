// How a number a person acts on is written, on every surface that shows one: no trailing zero
// after a whole number ("6", never "6,0", which is read as 60), a leading zero ("0,5"), a comma,
// thousands grouped by a no-break space from 1 000 on, a space before the unit. Machine outputs
// (ramuxctl's fields) keep Decimal::toString.
#pragma once

#include "answers/decimal.h"

#include <QString>

// "0,05", "6", "1,3", "200 000"; with a unit "6 мл". A range with its en dash: "1,5–2 таблетки";
// equal bounds are one value.
QString amountText(Decimal value, const QString &unit = QString());
QString amountText(Decimal from, Decimal to, const QString &unit = QString());
