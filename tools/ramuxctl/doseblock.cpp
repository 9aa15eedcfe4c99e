// The block of tab-separated lines one computed dose row prints, shared by the dose and sheet
// commands so both say the same keys.
#include "doseblock.h"

#include "answerargs.h"

namespace {

QString line(const QString &key, const QStringList &values)
{
    QString text = key;
    for (const QString &value : values)
        text += QLatin1Char('\t') + field(value);
    return text + QLatin1Char('\n');
}

QString doseUnit(const DoseRow &row)
{
    if (row.basis == Basis::Kg && row.perKg != Decimal::fromInt(1))
        return row.unitName() + QStringLiteral("/%1 кг").arg(row.perKg.toString(QLatin1Char('.')));
    return row.unitName() + (row.basis == Basis::Kg ? QStringLiteral("/кг") : QStringLiteral("/животное"));
}

} // namespace

QString doseBlock(const Species &species, const DoseAnswer &answer, const std::optional<Decimal> &weight)
{
    const QChar point = QLatin1Char('.');
    const DoseRow &row = answer.row;
    const DoseResult &r = answer.result;
    const auto measured = [&](Decimal v) {
        return isCountable(r.measuredUnit) ? v.toString(point)
                                           : v.toFixed(r.measuredDigits, Rounding::HalfUp, point);
    };
    QString out = line(QStringLiteral("species"), {species.code, species.name});
    out += line(QStringLiteral("route"), {row.route});
    out += line(QStringLiteral("indication"), {row.indication});
    out += line(QStringLiteral("weight_kg"), {weight ? weight->toString(point) : QString()});
    out += line(QStringLiteral("dose"), {row.from.toString(point), row.to.toString(point), doseUnit(row)});
    out += line(QStringLiteral("form"), {answer.strength ? answer.strength->describe(point) : QString()});
    out += line(QStringLiteral("amount"),
                {measured(r.measuredFrom), measured(r.measuredTo), unitText(r.measuredUnit)});
    out += line(QStringLiteral("frequency"), {row.frequency});
    out += line(QStringLiteral("duration"), {row.duration});
    if (r.rounded) {
        QStringList computed{r.computedFrom.toString(point)};
        if (r.computedTo != r.computedFrom)
            computed << r.computedTo.toString(point);
        out += line(QStringLiteral("rounded"), computed);
    }
    if (r.capped)
        out += line(QStringLiteral("capped"), {r.cap.toString(point), unitText(r.capUnit)});
    for (const QString &warning : r.warnings)
        out += line(QStringLiteral("warning"), {warning});
    out += line(QStringLiteral("source"), {row.sourceQuote});
    return out;
}
