// Numbers for people: the shortest exact digits, grouped by thousands.
#include "answers/amounttext.h"

namespace {

const QChar kNoBreakSpace(0x00A0);

QString grouped(Decimal value)
{
    QString text = value.toString(QLatin1Char(','));
    const bool negative = text.startsWith(QLatin1Char('-'));
    const qsizetype begin = negative ? 1 : 0;
    qsizetype end = text.indexOf(QLatin1Char(','));
    if (end < 0)
        end = text.size();
    // From 1 000 on, every three whole digits from the right.
    for (qsizetype at = end - 3; at > begin; at -= 3)
        text.insert(at, kNoBreakSpace);
    return text;
}

QString withUnit(const QString &number, const QString &unit)
{
    return unit.isEmpty() ? number : number + QLatin1Char(' ') + unit;
}

} // namespace

QString amountText(Decimal value, const QString &unit)
{
    return withUnit(grouped(value), unit);
}

QString amountText(Decimal from, Decimal to, const QString &unit)
{
    if (from == to)
        return amountText(from, unit);
    return withUnit(grouped(from) + QStringLiteral("–") + grouped(to), unit);
}
