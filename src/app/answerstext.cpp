// The panel's words. Numbers and refusals come from the dose arithmetic; this file only arranges
// them, so the screen, the screen reader and the printed page say the same.
#include "app/answerstext.h"

#include "answers/amounttext.h"

namespace {

QString esc(const QString &text)
{
    return text.toHtmlEscaped();
}

QString rowPlace(const DoseRow &row)
{
    QStringList parts;
    for (const QString &part : {row.route, row.indication}) {
        if (!part.trimmed().isEmpty())
            parts << part.trimmed();
    }
    return parts.join(QStringLiteral(", "));
}

QString quoted(const QString &quote)
{
    return QStringLiteral("Из инструкции: «%1»").arg(quote);
}

QString linesHtml(const QStringList &lines)
{
    QStringList escaped;
    for (const QString &line : lines)
        escaped << esc(line);
    return escaped.join(QStringLiteral("<br/>"));
}

QString blockHtml(const DoseBlock &block, bool withTitle)
{
    QString html;
    if (withTitle && !block.title.isEmpty())
        html += QStringLiteral("<b>%1</b><br/>").arg(esc(block.title));
    if (block.hint) {
        html += QStringLiteral("<i>%1</i>").arg(linesHtml(block.lines));
    } else if (!block.lines.isEmpty()) {
        // The amount to measure out, or why there is none, is what the eye looks for first: a
        // result's first line weighs as much as a refusal.
        html += QStringLiteral("<b>%1</b>").arg(esc(block.lines.first()));
        if (block.lines.size() > 1)
            html += QStringLiteral("<br/>") + linesHtml(block.lines.mid(1));
    }
    return html;
}

} // namespace

bool DoseCalculation::made() const
{
    if (!weight.kg)
        return false;
    for (const DoseAnswer &answer : answers) {
        if (answer.result.ok())
            return true;
    }
    return false;
}

QList<DoseBlock> doseBlocks(const DoseCalculation &calculation)
{
    QList<DoseBlock> blocks;
    for (const DoseAnswer &answer : calculation.answers) {
        DoseBlock block;
        const bool hasRow = answer.row.id != 0;
        if (hasRow) {
            block.title = rowPlace(answer.row);
            block.quote = answer.row.sourceQuote;
        }
        const DoseResult &r = answer.result;
        if (hasRow && !r.ok() && !calculation.weight.kg && r.refusal == calculation.weight.refusal) {
            // Nothing to compute yet: the weight's own word, never a number.
            block.refused = true;
            block.hint = calculation.weightText.trimmed().isEmpty();
            block.lines << calculation.weight.refusal;
        } else if (!r.ok()) {
            block.refused = true;
            block.lines << r.refusal;
        } else {
            // What to draw up first; what it was computed from after the cap or the warning.
            block.lines << QStringLiteral("Отмерить: %1").arg(r.measuredText());
            const QString substance = r.substanceText();
            if (!substance.isEmpty())
                block.lines << QStringLiteral("Действующего вещества: %1").arg(substance);
            if (!answer.row.frequency.trimmed().isEmpty())
                block.lines << QStringLiteral("Кратность: %1").arg(answer.row.frequency.trimmed());
            if (!answer.row.duration.trimmed().isEmpty())
                block.lines << QStringLiteral("Длительность: %1").arg(answer.row.duration.trimmed());
            block.lines << r.warnings;
            block.lines << QStringLiteral("Доза по инструкции: %1").arg(answer.row.describe());
            if (answer.strength)
                block.lines << QStringLiteral("Форма: %1").arg(answer.strength->describe());
        }
        blocks << block;
    }
    return blocks;
}

QList<WithdrawalSection> withdrawalSections(const ProductAnswers &answers, const QList<Species> &species,
                                            const std::optional<QDateTime> &lastDose)
{
    QList<WithdrawalSection> sections;
    for (const Species &s : species) {
        const WithdrawalTable table = answers.withdrawalTableFor(s);
        if (!table.noData && table.rows.isEmpty())
            continue;
        WithdrawalSection section;
        section.speciesName = s.name;
        section.noData = table.noData;
        for (const WithdrawalRow &row : table.rows) {
            WithdrawalLine line;
            line.tissue = tissueName(row.tissue);
            line.period = row.periodText();
            line.quote = row.sourceQuote;
            if (row.forbidden) {
                line.release = row.periodText();
            } else if (lastDose) {
                const std::optional<QDateTime> release = row.releaseAfter(*lastDose);
                line.dated = release.has_value();
                line.release = release ? formatDateTime(*release) : QStringLiteral("—");
            } else {
                line.release = QStringLiteral("—");
            }
            section.lines << line;
        }
        sections << section;
    }
    return sections;
}

QString noWithdrawalDataText()
{
    return QStringLiteral("Сроки ожидания: %1").arg(noDataText());
}

QString lastDoseFormatHint()
{
    return QStringLiteral("Дата и время — как 01.03.2027 08:00; время, которого не было при переводе "
                          "часов, не подходит");
}

QString doseBlocksText(const QList<DoseBlock> &blocks)
{
    QStringList parts;
    for (const DoseBlock &block : blocks) {
        QStringList lines;
        if (blocks.size() > 1 && !block.title.isEmpty())
            lines << block.title;
        lines << block.lines;
        if (!block.quote.isEmpty())
            lines << quoted(block.quote);
        parts << lines.join(QLatin1Char('\n'));
    }
    return parts.join(QStringLiteral("\n\n"));
}

QString doseBlocksHtml(const QList<DoseBlock> &blocks)
{
    QString html = QStringLiteral("<table width=\"100%\" cellspacing=\"0\" cellpadding=\"3\">");
    for (const DoseBlock &block : blocks) {
        html += QStringLiteral("<tr><td width=\"50%\" valign=\"top\">%1</td>")
                    .arg(blockHtml(block, blocks.size() > 1));
        html += QStringLiteral("<td width=\"50%\" valign=\"top\">%1</td></tr>")
                    .arg(block.quote.isEmpty() ? QString()
                                               : QStringLiteral("<i>%1</i>").arg(esc(quoted(block.quote))));
    }
    return html + QStringLiteral("</table>");
}

QString withdrawalSectionsHtml(const QList<WithdrawalSection> &sections)
{
    QString html;
    for (const WithdrawalSection &section : sections) {
        html += QStringLiteral("<p><b>%1</b></p>").arg(esc(section.speciesName));
        if (section.noData) {
            html += QStringLiteral("<p>%1</p>").arg(esc(noWithdrawalDataText()));
            continue;
        }
        html += QStringLiteral(
            "<table cellspacing=\"0\" cellpadding=\"3\" border=\"1\" width=\"100%\">"
            "<tr><th align=\"left\">Продукция</th><th align=\"left\">Срок ожидания</th>"
            "<th align=\"left\">Можно использовать с</th><th align=\"left\">Из инструкции</th></tr>");
        for (const WithdrawalLine &line : section.lines)
            html += QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td><td><i>%4</i></td></tr>")
                        .arg(esc(line.tissue), esc(line.period), esc(line.release), esc(line.quote));
        html += QStringLiteral("</table>");
    }
    return html;
}

QString withdrawalSectionsText(const QList<WithdrawalSection> &sections)
{
    QStringList plain;
    for (const WithdrawalSection &section : sections) {
        plain << section.speciesName;
        if (section.noData)
            plain << noWithdrawalDataText();
        for (const WithdrawalLine &line : section.lines)
            plain << (line.dated ? QStringLiteral("%1: %2, можно использовать с %3")
                                       .arg(line.tissue, line.period, line.release)
                                 : QStringLiteral("%1: %2").arg(line.tissue, line.period));
    }
    return plain.join(QLatin1Char('\n'));
}

QString printedAnswersHtml(const DoseCalculation &calculation, const QList<WithdrawalSection> &withdrawals,
                           const QString &lastDoseText, const QString &dataAsOf)
{
    const bool dose = calculation.made();
    const bool dates = !lastDoseText.isEmpty() && !withdrawals.isEmpty();
    if (!dose && !dates)
        return {};
    QString html = QStringLiteral("<hr/>");
    if (dose) {
        html += QStringLiteral("<h3>Расчёт дозы</h3><p>Вид животного: %1<br/>Масса тела: %2")
                    .arg(esc(calculation.speciesName),
                         esc(amountText(*calculation.weight.kg, QStringLiteral("кг"))));
        if (!calculation.routeChoice.isEmpty())
            html += QStringLiteral("<br/>Путь введения, показание: %1").arg(esc(calculation.routeChoice));
        if (!calculation.formText.isEmpty())
            html += QStringLiteral("<br/>Форма выпуска: %1").arg(esc(calculation.formText));
        html += QStringLiteral("</p>");
        for (const DoseBlock &block : doseBlocks(calculation)) {
            html += QStringLiteral("<p>%1</p>").arg(blockHtml(block, true));
            if (!block.quote.isEmpty())
                html += QStringLiteral("<p><i>%1</i></p>").arg(esc(quoted(block.quote)));
        }
    }
    if (dates) {
        html += QStringLiteral("<h3>Сроки ожидания</h3><p>Последнее введение: %1</p>").arg(esc(lastDoseText));
        html += withdrawalSectionsHtml(withdrawals);
    }
    if (!dataAsOf.isEmpty())
        html += QStringLiteral("<p>%1</p>").arg(esc(dataAsOf));
    return html;
}
