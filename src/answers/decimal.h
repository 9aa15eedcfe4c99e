// An exact decimal for doses, strengths, weights and periods: never binary floating point, so
// 3 kg x 0.1 ml/kg is 0.3 ml. A signed 64-bit count of 10^-9 steps; every operation that could
// leave the grid or the range says so instead of wrapping.
#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

// How a result that falls between two representable steps is settled. Each use names its rule.
enum class Rounding {
    Down,   // towards minus infinity (floor)
    Up,     // towards plus infinity (ceiling)
    HalfUp, // to the nearest, a tie away from zero
};

class Decimal final
{
public:
    static constexpr int Digits = 9;          // fraction digits kept
    static constexpr qint64 One = 1000000000; // 10^Digits

    constexpr Decimal() = default;
    static constexpr Decimal fromInt(qint64 whole) { return fromRaw(whole * One); }
    static constexpr Decimal fromRaw(qint64 raw)
    {
        Decimal d;
        d.m_raw = raw;
        return d;
    }
    qint64 raw() const { return m_raw; }

    // "12", "2.5", "2,5", "-3", "0.000000001". Digits on both sides of the separator, ASCII
    // digits only, at most Digits fraction digits, no exponent, no blanks. Anything else: none.
    static std::optional<Decimal> parse(const QString &text);

    // The shortest text (trailing fraction zeros dropped): "0.3", "12", "1.25".
    QString toString(QChar separator = QLatin1Char('.')) const;
    // Exactly `digits` fraction digits, rounded by `rounding`: toFixed(1) of 2 is "2.0".
    QString toFixed(int digits, Rounding rounding, QChar separator = QLatin1Char('.')) const;

    // Checked arithmetic: none when the result leaves the range. Products and quotients that
    // fall between two steps are rounded by the rule given.
    std::optional<Decimal> plus(Decimal other) const;
    std::optional<Decimal> minus(Decimal other) const;
    std::optional<Decimal> times(Decimal other, Rounding rounding) const;
    // None also for a zero divisor.
    std::optional<Decimal> dividedBy(Decimal other, Rounding rounding) const;
    // The value on the grid of `step` (a positive step such as 0.1 or 0.5) by the rule given.
    std::optional<Decimal> roundedTo(Decimal step, Rounding rounding) const;

    bool isZero() const { return m_raw == 0; }
    bool isNegative() const { return m_raw < 0; }
    bool isWhole() const { return m_raw % One == 0; }

    friend bool operator==(Decimal a, Decimal b) { return a.m_raw == b.m_raw; }
    friend bool operator!=(Decimal a, Decimal b) { return a.m_raw != b.m_raw; }
    friend bool operator<(Decimal a, Decimal b) { return a.m_raw < b.m_raw; }
    friend bool operator<=(Decimal a, Decimal b) { return a.m_raw <= b.m_raw; }
    friend bool operator>(Decimal a, Decimal b) { return a.m_raw > b.m_raw; }
    friend bool operator>=(Decimal a, Decimal b) { return a.m_raw >= b.m_raw; }

private:
    qint64 m_raw = 0;
};
