// Strength rows checked into values, percentages resolved, and the measuring step of each form.
#include "answers/strength.h"

#include "answers/amounttext.h"

namespace {

std::optional<Strength> refuse(QString *why, const QString &reason)
{
    if (why)
        *why = reason;
    return std::nullopt;
}

} // namespace

std::optional<Strength> parseStrength(const StrengthText &text, QString *why)
{
    Strength s;
    s.id = text.id;
    s.ord = text.ord;
    s.form = text.form.trimmed();
    s.substance = text.substance;
    const auto amount = Decimal::parse(text.amount);
    if (!amount || *amount <= Decimal())
        return refuse(why,
                      QStringLiteral("содержание вещества не указано или не число: «%1»").arg(text.amount));
    s.amount = *amount;
    const auto amountUnit = unitFromText(text.amountUnit);
    const auto perUnit = unitFromText(text.perUnit);
    if (!amountUnit)
        return refuse(why, QStringLiteral("неизвестная единица «%1»").arg(text.amountUnit));
    if (!perUnit || *perUnit == Unit::Percent || unitKind(*perUnit) == UnitKind::IU)
        return refuse(why, QStringLiteral("неизвестная единица формы «%1»").arg(text.perUnit));
    s.amountUnit = *amountUnit;
    s.perUnit = *perUnit;
    if (s.amountUnit == Unit::Percent) {
        if (s.perUnit != Unit::Millilitre && s.perUnit != Unit::Gram)
            return refuse(why, QStringLiteral("процент указан не на мл и не на г"));
        if (!text.perAmount.isNull())
            return refuse(why, QStringLiteral("у процентного содержания не бывает количества формы"));
    } else if (!text.perAmount.isNull()) {
        const auto per = Decimal::parse(text.perAmount);
        if (!per || *per <= Decimal())
            return refuse(why, QStringLiteral("количество формы не число: «%1»").arg(text.perAmount));
        s.perAmount = *per;
    }
    if (isCountable(s.perUnit) && text.fractions) {
        const qint64 f = *text.fractions;
        if (f != 1 && f != 2 && f != 4)
            return refuse(why, QStringLiteral("делимость таблетки может быть 1, 2 или 4, а не %1").arg(f));
        if (s.perUnit != Unit::Tablet && s.perUnit != Unit::Bolus && f != 1)
            return refuse(why, QStringLiteral("%1 не делится").arg(unitText(s.perUnit)));
        s.fractions = int(f);
    }
    return s;
}

Decimal Strength::substanceAmount() const
{
    if (amountUnit == Unit::Percent) // 1 % = 10 мг per 1 мл (w/v) or per 1 г (w/w)
        return amount.times(Decimal::fromInt(10), Rounding::Down).value_or(Decimal());
    return amount;
}

Unit Strength::substanceUnit() const
{
    return amountUnit == Unit::Percent ? Unit::Milligram : amountUnit;
}

Decimal Strength::measureStep() const
{
    switch (perUnit) {
    case Unit::Millilitre:
    case Unit::Gram:
        return Decimal::fromRaw(Decimal::One / 10);
    case Unit::Tablet:
    case Unit::Bolus:
        return Decimal::fromRaw(Decimal::One / fractions);
    default:
        return Decimal::fromInt(1);
    }
}

QString Strength::describe(QChar separator) const
{
    const auto number = [separator](Decimal value) {
        return separator == QLatin1Char(',') ? amountText(value) : value.toString(separator);
    };
    QString text = form;
    if (!text.isEmpty())
        text += QStringLiteral(", ");
    if (!substance.isEmpty())
        text += substance + QLatin1Char(' ');
    text += number(amount) + QLatin1Char(' ') + unitText(amountUnit);
    if (amountUnit == Unit::Percent) {
        text += QStringLiteral(" (%1 мг в 1 %2)").arg(number(substanceAmount()), unitText(perUnit));
    } else if (!isCountable(perUnit) || perAmount != Decimal::fromInt(1)) {
        text += QStringLiteral(" в %1 %2").arg(number(perAmount), unitText(perUnit));
    }
    if (perUnit == Unit::Tablet || perUnit == Unit::Bolus) {
        if (fractions == 2)
            text += QStringLiteral(", делится пополам");
        else if (fractions == 4)
            text += QStringLiteral(", делится на четыре части");
    }
    return text;
}
