// Composing a sheet: every amount through the calculator, every date through the withdrawal
// rows, and the rule that no tissue gets a date the lines do not all support.
#include "answers/sheet.h"

#include <QRegularExpression>

namespace {

QString joined(const QStringList &parts)
{
    QStringList kept;
    for (const QString &part : parts) {
        if (!part.trimmed().isEmpty())
            kept << part.trimmed();
    }
    return kept.join(QStringLiteral(", "));
}

// "3 дня", "5–7 дней", "10 суток": a course of more than one day.
bool namesSeveralDays(const QString &duration)
{
    static const QRegularExpression days(
        QStringLiteral("(\\d+)(?:\\s*[–-]\\s*(\\d+))?\\s*(?:дн|дня|дней|сут)"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    auto it = days.globalMatch(duration);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        const int last = (m.captured(2).isEmpty() ? m.captured(1) : m.captured(2)).toInt();
        if (last > 1)
            return true;
    }
    return false;
}

std::optional<Strength> chosenStrength(const ProductAnswers &answers, const QString &form)
{
    const QString wanted = form.trimmed();
    for (const Strength &s : answers.strengths) {
        if (s.describe() == wanted)
            return s;
    }
    for (const Strength &s : answers.strengths) {
        if (s.form.compare(wanted, Qt::CaseInsensitive) == 0)
            return s;
    }
    return std::nullopt;
}

// Comparable lengths for choosing which line to name before any time is given.
qint64 periodHours(const WithdrawalRow &row)
{
    const qint64 whole = row.period.raw() / Decimal::One;
    return row.unit == PeriodUnit::Days ? whole * 24 : whole;
}

const WithdrawalRow *rowFor(const SheetLine &line, Tissue tissue)
{
    for (const WithdrawalRow &row : line.withdrawals) {
        if (row.tissue == tissue)
            return &row;
    }
    return nullptr;
}

QList<CombinedTissue> combine(const QList<SheetLine> &lines, bool foodProducing)
{
    QList<CombinedTissue> out;
    for (Tissue tissue : {Tissue::Meat, Tissue::Milk, Tissue::Eggs, Tissue::Honey}) {
        QList<std::pair<const SheetLine *, const WithdrawalRow *>> having;
        const SheetLine *lacking = nullptr;
        for (const SheetLine &line : lines) {
            if (const WithdrawalRow *row = rowFor(line, tissue))
                having.append({&line, row});
            else if (!lacking)
                lacking = &line;
        }
        if (having.isEmpty())
            continue;
        CombinedTissue c;
        c.tissue = tissue;
        const auto setBy = [&c](const SheetLine &line, const WithdrawalRow &row) {
            c.itemId = line.itemId;
            c.productName = line.name;
            c.period = row.periodText();
            c.quote = row.sourceQuote;
        };
        const auto forbidding = std::find_if(having.cbegin(), having.cend(),
                                             [](const auto &p) { return p.second->forbidden; });
        if (forbidding != having.cend()) {
            setBy(*forbidding->first, *forbidding->second);
            c.state = CombinedTissue::State::Forbidden;
        } else if (foodProducing && lacking) {
            // Another line's date would be a guess for this product.
            c.state = CombinedTissue::State::NoData;
            c.itemId = lacking->itemId;
            c.productName = lacking->name;
            c.period = noDataForProductText(lacking->name);
        } else {
            bool allDated = true;
            for (const auto &[line, row] : having) {
                const auto release = line->lastDose ? row->releaseAfter(*line->lastDose) : std::nullopt;
                if (!release) {
                    allDated = false;
                    break;
                }
                if (!c.release || *release > *c.release) {
                    c.release = release;
                    setBy(*line, *row);
                }
            }
            if (!allDated) {
                c.release.reset();
                const auto longest = std::max_element(having.cbegin(), having.cend(), [](const auto &a, const auto &b) {
                    return periodHours(*a.second) < periodHours(*b.second);
                });
                setBy(*longest->first, *longest->second);
            }
        }
        out << c;
    }
    return out;
}

} // namespace

QString productGoneText()
{
    return QStringLiteral("(нет в справочнике)");
}

QString countsFromLastDoseText()
{
    return QStringLiteral("Срок ожидания отсчитывается от последнего введения курса");
}

QString noDataForProductText(const QString &product)
{
    return QStringLiteral("нет данных: %1").arg(product);
}

QString SheetLine::resultText() const
{
    if (!computed())
        return refusal;
    const DoseRow &row = dose->row;
    return joined({dose->result.measuredText() + QLatin1Char(' ') + row.route, row.frequency, row.duration});
}

QString SheetLine::sentence() const
{
    const QString shownName = inReference ? name : name + QLatin1Char(' ') + productGoneText();
    return QStringLiteral("%1: %2").arg(shownName, resultText());
}

bool SheetComposition::allComputed() const
{
    return std::all_of(lines.cbegin(), lines.cend(), [](const SheetLine &l) { return l.computed(); });
}

DoseAnswer chooseSheetDose(const ProductAnswers &answers, qint64 speciesId, const QString &weightText,
                           const SheetChoice &choice)
{
    std::optional<Strength> strength;
    if (!choice.form.trimmed().isEmpty()) {
        strength = chosenStrength(answers, choice.form);
        if (!strength) {
            DoseAnswer gone;
            gone.result.refusal = QStringLiteral("Выбранной формы выпуска в инструкции больше нет");
            return gone;
        }
    }
    // The panel's own entry: the same weight reading and the same choice of strength.
    const QList<DoseAnswer> fitting = answerDoses(answers, speciesId, weightText, choice.route, choice.indication,
                                                  strength ? std::optional<qint64>(strength->id) : std::nullopt);
    // The indication is matched as a part by the calculator; a kept choice names the row's own.
    for (const DoseAnswer &answer : fitting) {
        if (answer.row.indication.compare(choice.indication.trimmed(), Qt::CaseInsensitive) == 0)
            return answer;
    }
    return fitting.first();
}

SheetComposition composeSheet(const SheetPatient &patient, const QList<SheetLineInput> &inputs)
{
    SheetComposition sheet;
    sheet.patient = patient;
    const WeightInput weight = parseWeight(patient.weightText);
    sheet.weightKg = weight.kg;
    for (const SheetLineInput &in : inputs) {
        SheetLine line;
        line.itemId = in.itemId;
        line.name = in.name;
        line.inReference = in.inReference;
        line.lastDose = in.lastDose;
        line.quote = in.lastQuote;
        if (!in.inReference) {
            line.refusal = productGoneText();
        } else {
            line.withdrawals = in.answers.withdrawalsFor(patient.species.id);
            const DoseAnswer answer = chooseSheetDose(in.answers, patient.species.id, patient.weightText, in.choice);
            if (answer.row.id != 0) {
                line.dose = answer;
                line.quote = answer.row.sourceQuote;
                line.severalDays = namesSeveralDays(answer.row.duration + QLatin1Char(' ') + answer.row.frequency);
            }
            // A wrong weight is named before anything the rows would say.
            line.refusal = !weight.kg ? weight.refusal : answer.result.refusal;
        }
        sheet.lines << line;
    }
    if (!weight.kg || sheet.lines.isEmpty())
        return sheet;
    sheet.combined = combine(sheet.lines, patient.species.food);
    sheet.noWithdrawalData = patient.species.food && sheet.combined.isEmpty();
    return sheet;
}
