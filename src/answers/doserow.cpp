// Dose rows checked into values.
#include "answers/doserow.h"

#include "answers/amounttext.h"

namespace {

std::optional<DoseRow> refuse(QString *why, const QString &reason)
{
    if (why)
        *why = reason;
    return std::nullopt;
}

} // namespace

std::optional<DoseRow> parseDoseRow(const DoseRowText &text, QString *why)
{
    DoseRow row;
    row.id = text.id;
    row.ord = text.ord;
    row.speciesId = text.speciesId;
    row.route = text.route;
    row.indication = text.indication;
    row.substance = text.substance;
    row.frequency = text.frequency;
    row.duration = text.duration;
    row.sourceField = text.sourceField;
    row.sourceQuote = text.sourceQuote;
    const auto from = Decimal::parse(text.doseFrom);
    if (!from || from->isNegative())
        return refuse(why, QStringLiteral("доза «от» не число: «%1»").arg(text.doseFrom));
    row.from = *from;
    row.to = *from;
    if (!text.doseTo.isNull()) {
        const auto to = Decimal::parse(text.doseTo);
        if (!to || *to < *from)
            return refuse(why, QStringLiteral("доза «до» не число или меньше «от»: «%1»").arg(text.doseTo));
        row.to = *to;
        row.single = *to == *from;
    }
    const auto unit = unitFromText(text.doseUnit);
    if (!unit || *unit == Unit::Percent)
        return refuse(why, QStringLiteral("неизвестная единица дозы «%1»").arg(text.doseUnit));
    row.unit = *unit;
    const auto basis = basisFromText(text.basis);
    if (!basis)
        return refuse(why, QStringLiteral("неизвестная основа дозы «%1»").arg(text.basis));
    row.basis = *basis;
    if (!text.maxSingle.isNull()) {
        const auto cap = Decimal::parse(text.maxSingle);
        const auto capUnit = unitFromText(text.maxSingleUnit);
        if (!cap || *cap <= Decimal() || !capUnit || *capUnit == Unit::Percent)
            return refuse(why, QStringLiteral("максимальная разовая доза записана с ошибкой: «%1 %2»")
                                   .arg(text.maxSingle, text.maxSingleUnit));
        row.maxSingle = *cap;
        row.maxSingleUnit = *capUnit;
    }
    return row;
}

QString DoseRow::describe(QChar separator) const
{
    QString text;
    if (separator == QLatin1Char(',')) {
        text = amountText(from, single ? from : to, unitText(unit));
    } else {
        text = from.toString(separator);
        if (!single)
            text += QStringLiteral("–") + to.toString(separator);
        text += QLatin1Char(' ') + unitText(unit);
    }
    switch (basis) {
    case Basis::Kg:
        return text + QStringLiteral("/кг");
    case Basis::Animal:
        return text + QStringLiteral(" на животное");
    case Basis::WaterLitre:
        return text + QStringLiteral(" на 1 л воды");
    case Basis::FeedKg:
        return text + QStringLiteral(" на 1 кг корма");
    case Basis::Hive:
        return text + QStringLiteral(" на улей");
    case Basis::SquareMetre:
        return text + QStringLiteral(" на 1 м²");
    }
    return text;
}
