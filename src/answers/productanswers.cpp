// Selecting a species' rows and computing each of them.
#include "answers/productanswers.h"

#include "answers/rowrules.h"

#include <functional>

std::optional<Species> findSpecies(const QList<Species> &species, const QString &codeOrName)
{
    const QString wanted = codeOrName.trimmed();
    for (const Species &s : species) {
        if (s.code.compare(wanted, Qt::CaseInsensitive) == 0 ||
            s.name.compare(wanted, Qt::CaseInsensitive) == 0)
            return s;
    }
    return std::nullopt;
}

QList<qint64> ProductAnswers::speciesIds() const
{
    QList<qint64> ids;
    for (const DoseRow &row : doses) {
        if (!ids.contains(row.speciesId))
            ids << row.speciesId;
    }
    for (const WithdrawalRow &row : withdrawals) {
        if (!ids.contains(row.speciesId))
            ids << row.speciesId;
    }
    return ids;
}

QList<DoseRow> ProductAnswers::dosesFor(qint64 speciesId) const
{
    QList<DoseRow> rows;
    for (const DoseRow &row : doses) {
        if (row.speciesId == speciesId)
            rows << row;
    }
    return rows;
}

QList<WithdrawalRow> ProductAnswers::withdrawalsFor(qint64 speciesId) const
{
    QList<WithdrawalRow> rows;
    for (const WithdrawalRow &row : withdrawals) {
        if (row.speciesId == speciesId)
            rows << row;
    }
    return rows;
}

QList<Strength> ProductAnswers::strengthsFor(const DoseRow &row) const
{
    return chooseStrength(row, strengths).applicable;
}

WithdrawalTable ProductAnswers::withdrawalTableFor(const Species &species) const
{
    return withdrawalTable(withdrawalsFor(species.id), species.food, !dosesFor(species.id).isEmpty());
}

QString noDoseForSpeciesText()
{
    return QStringLiteral("Для этого вида дозировка в инструкции не указана");
}

namespace {

// A row in the product's own measure without a strength: "2 мл на животное" is measured as
// written, whole when it is counted.
Strength ownMeasure(const DoseRow &row)
{
    Strength s;
    s.amount = Decimal::fromInt(1);
    s.amountUnit = row.unit;
    s.perUnit = row.unit;
    return s;
}

DoseAnswer answerRow(const ProductAnswers &answers, const DoseRow &row, std::optional<Decimal> weightKg,
                     std::optional<qint64> strengthId)
{
    DoseAnswer answer;
    answer.row = row;
    answer.strength = chooseStrength(row, answers.strengths, strengthId).used;
    if (answer.strength) {
        answer.result = computeDose(row, *answer.strength, weightKg);
    } else if (doseRowProblem(row, {}).isEmpty()) {
        answer.result = computeDose(row, ownMeasure(row), weightKg);
        answer.result.substanceFrom.reset(); // no strength: nothing known of the substance
        answer.result.substanceTo.reset();
    } else {
        answer.result.refusal = QStringLiteral("Для этой дозировки не указана форма выпуска");
    }
    return answer;
}

QList<DoseAnswer> answerRows(const ProductAnswers &answers, qint64 speciesId, const QString &route,
                             const QString &indication,
                             const std::function<DoseAnswer(const DoseRow &)> &answerOne)
{
    QList<DoseAnswer> out;
    const QList<DoseRow> rows = answers.dosesFor(speciesId);
    for (const DoseRow &row : rows) {
        if (!route.isEmpty() && row.route.compare(route.trimmed(), Qt::CaseInsensitive) != 0)
            continue;
        if (!indication.isEmpty() && !row.indication.contains(indication.trimmed(), Qt::CaseInsensitive))
            continue;
        out << answerOne(row);
    }
    if (out.isEmpty()) {
        DoseAnswer none;
        none.result.refusal =
            rows.isEmpty() ? noDoseForSpeciesText()
                           : QStringLiteral("Для этого вида с таким путём введения или показанием дозировка "
                                            "в инструкции не указана");
        out << none;
    }
    return out;
}

} // namespace

QList<DoseAnswer> computeDoses(const ProductAnswers &answers, qint64 speciesId,
                               std::optional<Decimal> weightKg, const QString &route,
                               const QString &indication, const std::optional<Strength> &strength)
{
    const std::optional<qint64> chosen = strength ? std::optional<qint64>(strength->id) : std::nullopt;
    return answerRows(answers, speciesId, route, indication,
                      [&](const DoseRow &row) { return answerRow(answers, row, weightKg, chosen); });
}

QList<DoseAnswer> answerDoses(const ProductAnswers &answers, qint64 speciesId, const QString &weightText,
                              const QString &route, const QString &indication,
                              std::optional<qint64> strengthId)
{
    const WeightInput weight = parseWeight(weightText);
    const bool typed = !weightText.trimmed().isEmpty();
    return answerRows(answers, speciesId, route, indication, [&](const DoseRow &row) {
        if (!weight.kg && (typed || row.basis == Basis::Kg)) {
            // A weight that cannot be read is never taken for none, not even for a dose per animal.
            DoseAnswer refused = answerRow(answers, row, std::nullopt, strengthId);
            refused.result = DoseResult();
            refused.result.refusal = weight.refusal;
            return refused;
        }
        return answerRow(answers, row, weight.kg, strengthId);
    });
}
