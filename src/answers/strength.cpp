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
    // The product is measured in мл, in г or counted; nothing else holds an amount.
    if (!perUnit || (*perUnit != Unit::Millilitre && *perUnit != Unit::Gram && !isCountable(*perUnit)))
        return refuse(why, QStringLiteral("единица формы «%1» не из списка (мл, г, таблетка, болюс, "
                                          "капсула, пипетка, доза)")
                               .arg(text.perUnit));
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
    if (text.fractions) {
        const qint64 f = *text.fractions;
        if (f != 1 && f != 2 && f != 4)
            return refuse(why, QStringLiteral("деление таблетки: 1 (только целиком), 2 (пополам) или 4 (на "
                                              "четыре части), а не %1")
                                   .arg(f));
        if (!isDivisible(s.perUnit) && f != 1)
            return refuse(why, QStringLiteral("делят только таблетки и болюсы; %1 не делится")
                                   .arg(unitText(s.perUnit)));
        if (!isCountable(s.perUnit))
            return refuse(why, QStringLiteral("деление указывают только для таблеток и болюсов"));
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
    case Unit::Bolus: // the only divisible forms
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
