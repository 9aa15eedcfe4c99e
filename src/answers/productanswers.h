// A product's structured rows as checked values, and what the calculator and the withdrawal
// table take from them for one species. Pure: the store reader fills it.
#pragma once

#include "answers/dosecalc.h"
#include "answers/doserow.h"
#include "answers/strength.h"
#include "answers/withdrawal.h"

#include <QList>
#include <QString>
#include <optional>

struct Species
{
    qint64 id = 0;
    QString code; // "dog"
    QString name; // "собаки"
    bool food = false;
};

// The species named by its code or its Russian name, letter case aside.
std::optional<Species> findSpecies(const QList<Species> &species, const QString &codeOrName);

struct ProductAnswers
{
    qint64 itemId = 0;
    QList<Strength> strengths; // in the source's order
    QList<DoseRow> doses;      // only rows doseRowProblem() finds nothing wrong with
    QList<WithdrawalRow> withdrawals;

    bool isEmpty() const { return doses.isEmpty() && withdrawals.isEmpty(); }
    // Species with a dose or withdrawal row, in the order of first appearance.
    QList<qint64> speciesIds() const;
    QList<DoseRow> dosesFor(qint64 speciesId) const;
    QList<WithdrawalRow> withdrawalsFor(qint64 speciesId) const;
    // The strengths a row may be given with, in the source's order (chooseStrength()).
    QList<Strength> strengthsFor(const DoseRow &row) const;
    WithdrawalTable withdrawalTableFor(const Species &species) const;
};

// One calculation for the window or the command line: the row, the strength used and the result.
struct DoseAnswer
{
    DoseRow row;
    std::optional<Strength> strength; // none when the row has no strength to be given with
    DoseResult result;
};

// Every row of the species that fits the route and indication (empty: any; compared without
// regard to letter case; the indication as a part of the row's), each computed with the
// strength chooseStrength() gives for it and `strength` (the user's choice, used where it
// applies). A row in the product's own measure without a strength is measured as written. No
// rows: one refusal "Для этого вида дозировка в инструкции не указана".
QList<DoseAnswer> computeDoses(const ProductAnswers &answers, qint64 speciesId,
                               std::optional<Decimal> weightKg, const QString &route = {},
                               const QString &indication = {},
                               const std::optional<Strength> &strength = std::nullopt);

// The same for a weight as typed, the one entry of the window, the command line and the web
// reader: a weight that cannot be read refuses every row; none (an empty text) refuses the rows
// per kg with "Укажите массу тела в килограммах" and computes those per animal.
QList<DoseAnswer> answerDoses(const ProductAnswers &answers, qint64 speciesId, const QString &weightText,
                              const QString &route = {}, const QString &indication = {},
                              std::optional<qint64> strengthId = std::nullopt);

QString noDoseForSpeciesText(); // "Для этого вида дозировка в инструкции не указана"
