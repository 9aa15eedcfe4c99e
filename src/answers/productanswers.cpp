// Selecting a species' rows and computing each of them.
#include "answers/productanswers.h"

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
    QList<Strength> fitting;
    for (const Strength &s : strengths) {
        if (doseRowFitsStrength(row, s))
            fitting << s;
    }
    return fitting;
}

WithdrawalTable ProductAnswers::withdrawalTableFor(const Species &species) const
{
    return withdrawalTable(withdrawalsFor(species.id), species.food, !dosesFor(species.id).isEmpty());
}

QString noDoseForSpeciesText()
{
    return QStringLiteral("Для этого вида дозировка в инструкции не указана");
}

QList<DoseAnswer> computeDoses(const ProductAnswers &answers, qint64 speciesId,
                               std::optional<Decimal> weightKg, const QString &route,
                               const QString &indication, const std::optional<Strength> &strength)
{
    QList<DoseAnswer> out;
    const QList<DoseRow> rows = answers.dosesFor(speciesId);
    for (const DoseRow &row : rows) {
        if (!route.isEmpty() && row.route.compare(route.trimmed(), Qt::CaseInsensitive) != 0)
            continue;
        if (!indication.isEmpty() && !row.indication.contains(indication.trimmed(), Qt::CaseInsensitive))
            continue;
        DoseAnswer answer;
        answer.row = row;
        const QList<Strength> fitting = answers.strengthsFor(row);
        if (strength) // the form the user chose, or a refusal naming the row's substance
            answer.strength = strength;
        else if (!fitting.isEmpty())
            answer.strength = fitting.first();
        if (answer.strength)
            answer.result = computeDose(row, *answer.strength, weightKg);
        else
            answer.result.refusal = QStringLiteral("Для этой дозировки не указана форма выпуска");
        out << answer;
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
