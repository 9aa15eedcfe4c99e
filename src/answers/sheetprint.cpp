// The printed sheet. Sentences and numbers come from the composition; this file only arranges them.
#include "answers/sheetprint.h"
#include "answers/amounttext.h"

namespace {

QString esc(const QString &text)
{
    return text.toHtmlEscaped();
}

QString small(const QString &text)
{
    return QStringLiteral("<p style=\"font-size:small; margin-top:0\"><i>%1</i></p>").arg(esc(text));
}

QString patientHtml(const SheetComposition &sheet)
{
    const SheetPatient &p = sheet.patient;
    QStringList rows;
    rows << QStringLiteral("Вид животного: %1").arg(esc(p.species.name));
    if (sheet.weightKg)
        rows << QStringLiteral("Масса тела: %1").arg(esc(amountText(*sheet.weightKg, QStringLiteral("кг"))));
    if (!p.name.trimmed().isEmpty())
        rows << QStringLiteral("Животное или группа: %1").arg(esc(p.name.trimmed()));
    if (!p.owner.trimmed().isEmpty())
        rows << QStringLiteral("Владелец: %1").arg(esc(p.owner.trimmed()));
    if (p.date.isValid())
        rows << QStringLiteral("Дата: %1").arg(p.date.toString(QStringLiteral("dd.MM.yyyy")));
    return QStringLiteral("<p>%1</p>").arg(rows.join(QStringLiteral("<br/>")));
}

QString linesHtml(const SheetComposition &sheet, const SheetPrintOptions &options)
{
    QString html;
    for (int i = 0; i < sheet.lines.size(); ++i) {
        const SheetLine &line = sheet.lines.at(i);
        const QString sentence = esc(QStringLiteral("%1. ").arg(i + 1) + line.sentence());
        html += line.computed() ? QStringLiteral("<p>%1</p>").arg(sentence)
                                : QStringLiteral("<p><b>%1</b></p>").arg(sentence);
        if (i < options.printedBefore.size() && !options.printedBefore.at(i).isEmpty())
            html += small(changedSincePrintText(options.printedBefore.at(i)));
        if (!line.quote.isEmpty())
            html += small(QStringLiteral("Из инструкции: «%1»").arg(line.quote));
        // A refused line shows words only; its times would read as a schedule.
        if (line.lastDose && line.computed())
            html += small(QStringLiteral("Последнее введение: %1").arg(formatDateTime(*line.lastDose)));
        if (line.severalDays && line.computed() && !line.withdrawals.isEmpty())
            html += small(countsFromLastDoseText());
    }
    return html;
}

QString combinedHtml(const SheetComposition &sheet)
{
    if (sheet.noWithdrawalData)
        return QStringLiteral("<h3>Сроки ожидания</h3><p>%1</p>")
            .arg(esc(QStringLiteral("Сроки ожидания: %1").arg(noDataText())));
    if (sheet.combined.isEmpty())
        return {};
    QString html = QStringLiteral(
        "<h3>Сроки ожидания</h3>"
        "<table cellspacing=\"0\" cellpadding=\"3\" border=\"1\" width=\"100%\">"
        "<tr><th align=\"left\">Продукция</th><th align=\"left\">Срок ожидания</th>"
        "<th align=\"left\">Можно использовать с</th><th align=\"left\">По препарату</th></tr>");
    for (const CombinedTissue &c : sheet.combined)
        html += QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td><td>%4</td></tr>")
                    .arg(esc(tissueName(c.tissue)), esc(c.period), esc(combinedReleaseText(c)),
                         esc(c.productName));
    return html + QStringLiteral("</table>");
}

QString sectionsHtml(const SheetComposition &sheet, const QString &title, const QMap<qint64, QString> &texts)
{
    QString html;
    QList<qint64> seen;
    for (const SheetLine &line : sheet.lines) {
        const QString text = texts.value(line.itemId).trimmed();
        if (text.isEmpty() || seen.contains(line.itemId))
            continue;
        seen << line.itemId;
        html += QStringLiteral("<p><b>%1</b></p>").arg(esc(line.name)) + small(text);
    }
    return html.isEmpty() ? QString() : QStringLiteral("<h3>%1</h3>").arg(esc(title)) + html;
}

} // namespace

QString combinedReleaseText(const CombinedTissue &tissue)
{
    switch (tissue.state) {
    case CombinedTissue::State::Forbidden:
        return QStringLiteral("не допускается");
    case CombinedTissue::State::NoData:
        return QStringLiteral("—");
    case CombinedTissue::State::Period:
        break;
    }
    return tissue.release ? formatDateTime(*tissue.release) : QStringLiteral("—");
}

QString changedSincePrintText(const QString &before)
{
    return QStringLiteral("изменилось после печати: было %1").arg(before);
}

QString demoNoticeText()
{
    return QStringLiteral("Демонстрационные данные: не для лечения животных.");
}

QString sheetHtml(const SheetComposition &sheet, const SheetPrintOptions &options)
{
    QString html = QStringLiteral("<html><body>");
    QStringList head;
    for (const QString &part : {options.clinic, options.vet}) {
        if (!part.trimmed().isEmpty())
            head << esc(part.trimmed());
    }
    if (!head.isEmpty())
        html += QStringLiteral("<p>%1</p>").arg(head.join(QStringLiteral("<br/>")));
    html += QStringLiteral("<h2>Лист назначения</h2>") + patientHtml(sheet) + linesHtml(sheet, options) +
            combinedHtml(sheet);
    html += sectionsHtml(sheet, QStringLiteral("Побочные действия"), options.sideEffects);
    html += sectionsHtml(sheet, QStringLiteral("Условия хранения"), options.storage);
    if (!options.dataAsOf.isEmpty())
        html += small(options.dataAsOf);
    if (options.demo)
        html += QStringLiteral("<p><b>%1</b></p>").arg(esc(demoNoticeText()));
    return html + QStringLiteral("</body></html>");
}
