// The words of the product panel: a dose calculation and the withdrawal tables as lines of text,
// for the screen, for screen readers and for paper alike. No widgets.
#pragma once

#include "answers/productanswers.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// One calculation as the user set it up, with what came of it.
struct DoseCalculation
{
    QString speciesName;
    QString routeChoice; // the chosen row ("внутримышечно, телята") or empty for every row
    QString weightText;  // as typed
    QString formText;    // the chosen form, empty when the product has one
    WeightInput weight;
    QList<DoseAnswer> answers;

    // Whether the user has made a calculation worth printing: a weight and a number shown.
    bool made() const;
};

// One answer of a calculation as the panel shows it.
struct DoseBlock
{
    QString title;     // the row's route and indication, when several rows are shown
    QStringList lines; // the result, or the refusal as one line
    QString quote;     // the instruction's words the row restates
    bool refused = false;
    bool hint = false; // a refusal that only asks for the weight
};

// The row's result, or why there is none; a per-kg row waiting for a weight gets the weight's
// own word instead of a number.
QList<DoseBlock> doseBlocks(const DoseCalculation &calculation);

// One tissue of a species' withdrawal table.
struct WithdrawalLine
{
    QString tissue;  // "молоко"
    QString period;  // "96 ч", "не допускается"
    QString release; // "05.03.2027 08:00", "не допускается" or "—" without a last dose
    QString quote;
    bool dated = false; // release is a date and time
};

struct WithdrawalSection
{
    QString speciesName;
    bool noData = false; // "Сроки ожидания: нет данных"
    QList<WithdrawalLine> lines;
};

// Every species of the product that has a withdrawal table (or lacks one it needs), in the
// order of `species`.
QList<WithdrawalSection> withdrawalSections(const ProductAnswers &answers, const QList<Species> &species,
                                            const std::optional<QDateTime> &lastDose);

QString noWithdrawalDataText(); // "Сроки ожидания: нет данных"
QString lastDoseFormatHint();   // why a last-dose time was not taken

// Plain text of a calculation (the accessible description of the result).
QString doseBlocksText(const QList<DoseBlock> &blocks);
// The HTML of the result beside its quotes, for the panel's result label.
QString doseBlocksHtml(const QList<DoseBlock> &blocks);
// The HTML of the withdrawal tables, and their plain text for screen readers.
QString withdrawalSectionsHtml(const QList<WithdrawalSection> &sections);
QString withdrawalSectionsText(const QList<WithdrawalSection> &sections);

// What printing appends after the page: the calculation with its inputs when one was made, the
// withdrawal dates when a last dose was given, and the "data as of" line; empty otherwise.
QString printedAnswersHtml(const DoseCalculation &calculation, const QList<WithdrawalSection> &withdrawals,
                           const QString &lastDoseText, const QString &dataAsOf);
