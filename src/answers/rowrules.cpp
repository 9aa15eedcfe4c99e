// The dose row rules shared by publishing and the clients.
#include "answers/rowrules.h"

#include <QStringList>

namespace {

bool sameSubstance(const DoseRow &row, const Strength &strength)
{
    return row.substance.isEmpty() || row.substance == strength.substance;
}

// Mass and МЕ count substance, unless the row says the г are the product's.
bool isSubstanceDose(const DoseRow &row)
{
    const UnitKind kind = unitKind(row.unit);
    return (kind == UnitKind::Mass || kind == UnitKind::IU) && row.of != DoseOf::Product;
}

QString unitsOf(const QList<Strength> &strengths)
{
    QStringList out;
    for (const Strength &s : strengths) {
        const QString text = unitText(s.amountUnit) + QLatin1Char('/') + unitText(s.perUnit);
        if (!out.contains(text))
            out << text;
    }
    return out.join(QStringLiteral(", "));
}

QString fail(const char **key, const char *which, const QString &why)
{
    if (key)
        *key = which;
    return why;
}

} // namespace

bool doseRowUnitFits(const DoseRow &row, const Strength &strength)
{
    const bool asSubstance = convertible(row.unit, strength.substanceUnit());
    const bool asProduct = convertible(row.unit, strength.perUnit);
    switch (row.of) {
    case DoseOf::Product:
        return asProduct;
    case DoseOf::Substance:
        return asSubstance;
    case DoseOf::Unsaid:
        break;
    }
    return asSubstance || asProduct;
}

QString doseRowProblem(const DoseRow &row, const QList<Strength> &strengths, const char **key)
{
    QStringList substances;
    QList<Strength> matching;
    for (const Strength &s : strengths) {
        if (!s.substance.isEmpty() && !substances.contains(s.substance))
            substances << s.substance;
        if (sameSubstance(row, s))
            matching << s;
    }
    if (!row.substance.isEmpty() && matching.isEmpty())
        return fail(key, "substance",
                    QStringLiteral("у препарата нет силы действия для вещества \"%1\"").arg(row.substance));
    if (row.substance.isEmpty() && substances.size() > 1)
        return fail(
            key, "substance",
            QStringLiteral("у препарата несколько веществ (%1): строка дозы называет своё (substance)")
                .arg(substances.join(QStringLiteral(", "))));
    if (row.unit == Unit::Gram && row.of == DoseOf::Unsaid) {
        for (const Strength &s : matching) {
            if (s.perUnit == Unit::Gram)
                return fail(key, "unit",
                            QStringLiteral("доза в г, а сила действия указана на г: укажите of: product "
                                           "(г препарата) или of: substance (г вещества)"));
        }
    }
    bool fits = false;
    for (const Strength &s : matching)
        fits = fits || doseRowUnitFits(row, s);
    if (!fits && (isSubstanceDose(row) || !matching.isEmpty())) {
        if (matching.isEmpty())
            return fail(key, "unit",
                        QStringLiteral("доза в %1 — количество вещества: нужна сила действия препарата, "
                                       "в которую она пересчитывается")
                            .arg(row.unitName()));
        return fail(key, "unit",
                    QStringLiteral("единица дозы %1 несовместима с силой действия препарата (%2)")
                        .arg(row.unitName(), unitsOf(matching)));
    }
    if (row.maxSingle && !convertible(row.maxSingleUnit, row.unit))
        return fail(key, "max_single",
                    QStringLiteral("единицы наибольшей разовой дозы (%1) и дозы (%2) несовместимы")
                        .arg(unitText(row.maxSingleUnit), unitText(row.unit)));
    return QString();
}

StrengthChoice chooseStrength(const DoseRow &row, const QList<Strength> &strengths,
                              std::optional<qint64> chosenId)
{
    StrengthChoice choice;
    for (const Strength &s : strengths) {
        if (sameSubstance(row, s) && doseRowUnitFits(row, s))
            choice.applicable << s;
    }
    for (const Strength &s : choice.applicable) {
        if (chosenId && s.id == *chosenId)
            choice.used = s;
    }
    if (!choice.used && !choice.applicable.isEmpty())
        choice.used = choice.applicable.first();
    return choice;
}
