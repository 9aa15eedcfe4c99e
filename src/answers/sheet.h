// A treatment sheet: one patient, several products, each computed as the calculator computes it,
// the withdrawal combined per tissue across the products, and the owner's plain sentences.
// Pure: the lines arrive with their products' rows already read.
#pragma once

#include "answers/productanswers.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

// The calculator's choice, kept by its content: a republish may move rows and give them new ids.
struct SheetChoice
{
    QString route;      // empty: the first row of the species
    QString indication; // empty: any
    QString form;       // a strength as Strength::describe() writes it; empty: the row's first
};

struct SheetPatient
{
    Species species;
    QString weightText; // as typed
    QString name;       // the animal or the group
    QString owner;
    QDate date;
};

// One product as the sheet was given it, with its rows as read today.
struct SheetLineInput
{
    qint64 itemId = 0;
    QString name;         // the reference's name, or the last one known
    bool inReference = true; // false: a sync has deleted the product since
    ProductAnswers answers;
    SheetChoice choice;
    std::optional<QDateTime> lastDose;
    QString lastQuote; // what the line quoted when it was kept, for a product gone since
};

struct SheetLine
{
    qint64 itemId = 0;
    QString name;
    bool inReference = true;
    std::optional<DoseAnswer> dose; // set when a row was chosen (computed or refused)
    QString refusal;                // non-empty: no number for this line, and this says why
    QString quote;                  // the instruction's words the line restates
    QList<WithdrawalRow> withdrawals; // of the patient's species
    std::optional<QDateTime> lastDose;
    bool severalDays = false; // the duration names several days: dates count from the last dose

    bool computed() const { return refusal.isEmpty(); }
    // "Амоксициллин: ≈ 1,3 мл (расчёт: 1,25 мл) внутримышечно, 1 раз в сутки, 3 дня", or the
    // product's name with its refusal.
    QString sentence() const;
    // The amount and how it is given, without the name: what a kept sheet compares.
    QString resultText() const;
};

// One tissue of the combined withdrawal.
struct CombinedTissue
{
    Tissue tissue = Tissue::Meat;
    enum class State { Period, Forbidden, NoData } state = State::Period;
    QString period;                   // the setting line's period, "не допускается" or "нет данных: X"
    std::optional<QDateTime> release; // none until every line with this tissue has its last dose
    qint64 itemId = 0;                // the product that sets it
    QString productName;
    QString quote;
};

struct SheetComposition
{
    SheetPatient patient;
    std::optional<Decimal> weightKg;
    QList<SheetLine> lines;
    QList<CombinedTissue> combined; // in tissue order
    bool noWithdrawalData = false;  // "Сроки ожидания: нет данных"

    bool allComputed() const;
};

// The choice applied to a product's rows for the species: the first row that fits the route
// and indication (letter case aside) with the chosen strength. The one place a line's row and
// strength are decided.
DoseAnswer chooseSheetDose(const ProductAnswers &answers, qint64 speciesId, const QString &weightText,
                           const SheetChoice &choice);

// Lines in the order given. A weight that is refused refuses every line with its words and
// leaves the withdrawal out, so nothing on the sheet is a number computed from it.
SheetComposition composeSheet(const SheetPatient &patient, const QList<SheetLineInput> &lines);

QString productGoneText();        // "(нет в справочнике)"
QString countsFromLastDoseText(); // what a line of several days says about its dates
QString noDataForProductText(const QString &product); // "нет данных: <product>"
