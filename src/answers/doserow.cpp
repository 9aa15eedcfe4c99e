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

const char kOfProduct[] = " препарата";
const char kOfSubstance[] = " вещества";

} // namespace

QString doseUnitColumn(const QString &unit, DoseOf of)
{
    switch (of) {
    case DoseOf::Product:
        return unit + QString::fromUtf8(kOfProduct);
    case DoseOf::Substance:
        return unit + QString::fromUtf8(kOfSubstance);
    case DoseOf::Unsaid:
        break;
    }
    return unit;
}

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
    if (from->isZero())
        return refuse(why, QStringLiteral("доза не может быть нулём"));
    row.from = *from;
    row.to = *from;
    if (!text.doseTo.isNull()) {
        const auto to = Decimal::parse(text.doseTo);
        if (!to || *to < *from)
            return refuse(why, QStringLiteral("доза «до» не число или меньше «от»: «%1»").arg(text.doseTo));
        row.to = *to;
        row.single = *to == *from;
    }
    QString unitWord = text.doseUnit;
    for (const auto &[suffix, of] : {std::make_pair(kOfProduct, DoseOf::Product),
                                     std::make_pair(kOfSubstance, DoseOf::Substance)}) {
        if (unitWord.endsWith(QString::fromUtf8(suffix))) {
            unitWord.chop(QString::fromUtf8(suffix).size());
            row.of = of;
        }
    }
    const auto unit = unitFromText(unitWord);
    if (!unit || *unit == Unit::Percent || (row.of != DoseOf::Unsaid && *unit != Unit::Gram))
        return refuse(why, QStringLiteral("неизвестная единица дозы «%1»").arg(text.doseUnit));
    row.unit = *unit;
    const auto basis = parseBasis(text.basis, &row.perKg);
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
        text = amountText(from, single ? from : to, unitName());
    } else {
        text = from.toString(separator);
        if (!single)
            text += QStringLiteral("–") + to.toString(separator);
        text += QLatin1Char(' ') + unitName();
    }
    switch (basis) {
    case Basis::Kg:
        if (perKg != Decimal::fromInt(1))
            return text + QStringLiteral(" на %1 кг").arg(perKg.toString(separator));
        return text + (of == DoseOf::Product ? QStringLiteral(" на 1 кг") : QStringLiteral("/кг"));
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

QString DoseRow::unitName() const
{
    return of == DoseOf::Product ? unitText(unit) + QString::fromUtf8(kOfProduct) : unitText(unit);
}
