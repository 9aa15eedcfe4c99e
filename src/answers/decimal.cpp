// The exact decimal: parsing, formatting and checked arithmetic on 128-bit intermediates.
#include "answers/decimal.h"

#include <algorithm>
#include <limits>

namespace {

using Wide = __int128;

constexpr qint64 Max = std::numeric_limits<qint64>::max();
constexpr qint64 Min = std::numeric_limits<qint64>::min();

std::optional<Decimal> narrow(Wide value)
{
    if (value > Wide(Max) || value < Wide(Min))
        return std::nullopt;
    return Decimal::fromRaw(qint64(value));
}

// n / d settled by the rule; d is not zero.
Wide divide(Wide n, Wide d, Rounding rounding)
{
    if (d < 0) {
        n = -n;
        d = -d;
    }
    Wide q = n / d; // truncates towards zero
    const Wide rem = n % d;
    switch (rounding) {
    case Rounding::Down:
        if (rem < 0)
            --q;
        break;
    case Rounding::Up:
        if (rem > 0)
            ++q;
        break;
    case Rounding::HalfUp: {
        const Wide twice = (rem < 0 ? -rem : rem) * 2;
        if (twice >= d)
            q += n < 0 ? -1 : 1;
        break;
    }
    }
    return q;
}

qint64 powerOfTen(int exponent)
{
    qint64 p = 1;
    for (int i = 0; i < exponent; ++i)
        p *= 10;
    return p;
}

// `value` counts 10^-digits steps.
QString format(Wide value, int digits, QChar separator)
{
    const bool negative = value < 0;
    unsigned __int128 magnitude = negative ? (unsigned __int128)(-value) : (unsigned __int128)value;
    QString reversed;
    int position = 0;
    do {
        if (digits > 0 && position == digits)
            reversed += separator;
        reversed += QLatin1Char(char('0' + int(magnitude % 10)));
        magnitude /= 10;
        ++position;
    } while (magnitude != 0 || position <= digits);
    if (negative)
        reversed += QLatin1Char('-');
    std::reverse(reversed.begin(), reversed.end());
    return reversed;
}

} // namespace

std::optional<Decimal> Decimal::parse(const QString &text)
{
    qsizetype i = 0;
    const qsizetype size = text.size();
    const bool negative = size > 0 && text.at(0) == QLatin1Char('-');
    if (negative)
        ++i;
    Wide whole = 0;
    int wholeDigits = 0;
    for (; i < size && text.at(i) >= QLatin1Char('0') && text.at(i) <= QLatin1Char('9'); ++i) {
        whole = whole * 10 + (text.at(i).unicode() - '0');
        if (++wholeDigits > 19) // beyond any representable value; stop before the sum can wrap
            return std::nullopt;
    }
    if (wholeDigits == 0)
        return std::nullopt;
    Wide fraction = 0;
    int fractionDigits = 0;
    if (i < size) {
        if (text.at(i) != QLatin1Char('.') && text.at(i) != QLatin1Char(','))
            return std::nullopt;
        for (++i; i < size && text.at(i) >= QLatin1Char('0') && text.at(i) <= QLatin1Char('9'); ++i) {
            if (++fractionDigits > Digits)
                return std::nullopt;
            fraction = fraction * 10 + (text.at(i).unicode() - '0');
        }
        if (fractionDigits == 0 || i < size)
            return std::nullopt;
    }
    Wide raw = whole * One + fraction * powerOfTen(Digits - fractionDigits);
    return narrow(negative ? -raw : raw);
}

QString Decimal::toString(QChar separator) const
{
    QString text = format(m_raw, Digits, separator);
    if (!isWhole()) {
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
    } else {
        text.chop(Digits + 1);
    }
    return text;
}

QString Decimal::toFixed(int digits, Rounding rounding, QChar separator) const
{
    digits = qBound(0, digits, Digits);
    return format(divide(m_raw, powerOfTen(Digits - digits), rounding), digits, separator);
}

std::optional<Decimal> Decimal::plus(Decimal other) const
{
    return narrow(Wide(m_raw) + other.m_raw);
}

std::optional<Decimal> Decimal::minus(Decimal other) const
{
    return narrow(Wide(m_raw) - other.m_raw);
}

std::optional<Decimal> Decimal::times(Decimal other, Rounding rounding) const
{
    return narrow(divide(Wide(m_raw) * other.m_raw, One, rounding));
}

std::optional<Decimal> Decimal::dividedBy(Decimal other, Rounding rounding) const
{
    if (other.m_raw == 0)
        return std::nullopt;
    return narrow(divide(Wide(m_raw) * One, other.m_raw, rounding));
}

std::optional<Decimal> Decimal::roundedTo(Decimal step, Rounding rounding) const
{
    if (step.m_raw <= 0)
        return std::nullopt;
    return narrow(divide(m_raw, step.m_raw, rounding) * step.m_raw);
}
