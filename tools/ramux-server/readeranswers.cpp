// The product page's dose calculator and withdrawal table for the web: ordinary GET forms whose
// answers the server computes with the same arithmetic, refusals and rounding as the window and
// ramuxctl. Everything shown is escaped here; nothing needs a script.
#include "readerpages.h"

#include "answers/amounttext.h"
#include "answers/answerstore.h"
#include "pages/webpage.h"

#include <QRegularExpression>
#include <QTimeZone>

using webpage::escape;

namespace {

// Longer values than any real one are cut before they are read or shown back: a weight, a
// date and an id are short, and the refusal quotes what was typed.
constexpr int kMaxValue = 64;

struct Inputs
{
    QString species;
    QString weight;
    QString form;
    QString route;
    QString indication;
    QString last;
};

Inputs inputsOf(const QHash<QString, QString> &parameters)
{
    const auto value = [&](const char *name) {
        return parameters.value(QString::fromLatin1(name)).left(kMaxValue);
    };
    return {value("species"), value("weight"),     value("form"),
            value("route"),   value("indication"), value("last")};
}

std::optional<qint64> idOf(const QString &text)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,10}$"));
    if (!digits.match(text).hasMatch())
        return std::nullopt;
    return text.toLongLong();
}

QString hidden(const char *name, const QString &value)
{
    if (value.isEmpty())
        return QString();
    return QStringLiteral("<input type=\"hidden\" name=\"%1\" value=\"%2\">")
        .arg(QLatin1String(name), escape(value));
}

QString option(const QString &value, const QString &text, bool selected)
{
    return QStringLiteral("<option value=\"%1\"%2>%3</option>")
        .arg(escape(value), selected ? QStringLiteral(" selected") : QString(), escape(text));
}

// A labelled select; `options` are already made by option().
QString selectField(const QString &id, const char *name, const QString &label, const QString &options)
{
    return QStringLiteral("<div class=\"field\"><label for=\"%1\">%2</label><select id=\"%1\" "
                          "name=\"%3\">%4</select></div>")
        .arg(id, escape(label), QLatin1String(name), options);
}

// The distinct non-empty values of the rows, in the rows' order.
QStringList distinct(const QList<DoseRow> &rows, QString DoseRow::*member)
{
    QStringList values;
    for (const DoseRow &row : rows) {
        const QString value = (row.*member).trimmed();
        if (!value.isEmpty() && !values.contains(value, Qt::CaseInsensitive))
            values << value;
    }
    return values;
}

// A value chosen from a list the page offered; anything else (a list of another species, a
// hand-made address) counts as "все".
QString chosenFrom(const QStringList &offered, const QString &chosen)
{
    for (const QString &value : offered) {
        if (value.compare(chosen.trimmed(), Qt::CaseInsensitive) == 0)
            return value;
    }
    return QString();
}

QString speciesName(const QList<Species> &species, qint64 id)
{
    for (const Species &s : species) {
        if (s.id == id)
            return s.name;
    }
    return QString();
}

QString quote(const QString &text)
{
    if (text.trimmed().isEmpty())
        return QString();
    return QStringLiteral("<blockquote class=\"source\"><p><span class=\"source-label\">Из "
                          "инструкции:</span> «%1»</p></blockquote>")
        .arg(escape(text.trimmed()));
}

QString term(const QString &name, const QString &value)
{
    if (value.trimmed().isEmpty())
        return QString();
    return QStringLiteral("<dt>%1</dt><dd>%2</dd>").arg(escape(name), value);
}

// One computed (or refused) row: what was asked, what to measure out, the words it restates.
QString doseAnswerHtml(const DoseAnswer &answer, const QString &species, const QString &weightText)
{
    QStringList heading{species};
    for (const QString &part : {answer.row.route.trimmed(), answer.row.indication.trimmed()}) {
        if (!part.isEmpty())
            heading << part;
    }
    QString html =
        QStringLiteral("<article class=\"dose\"><h3>%1</h3>").arg(escape(heading.join(QStringLiteral(", "))));
    const DoseResult &r = answer.result;
    if (!r.ok()) {
        html += QStringLiteral("<p class=\"refusal\">%1</p>").arg(escape(r.refusal));
        if (answer.row.id != 0)
            html += quote(answer.row.sourceQuote);
        return html + QStringLiteral("</article>");
    }
    html += QStringLiteral("<dl class=\"dose-terms\">");
    html += term(QStringLiteral("Отмерить"),
                 QStringLiteral("<strong class=\"dose-amount\">%1</strong>").arg(escape(r.measuredText())));
    html += term(QStringLiteral("Действующего вещества"), escape(r.substanceText()));
    html += term(QStringLiteral("Доза по инструкции"), escape(answer.row.describe()));
    if (answer.strength)
        html += term(QStringLiteral("Форма"), escape(answer.strength->describe()));
    if (!r.perAnimal)
        html +=
            term(QStringLiteral("Масса тела"),
                 escape(amountText(parseWeight(weightText).kg.value_or(Decimal()), QStringLiteral("кг"))));
    html += term(QStringLiteral("Кратность"), escape(answer.row.frequency));
    html += term(QStringLiteral("Длительность"), escape(answer.row.duration));
    html += QStringLiteral("</dl>");
    if (!r.warnings.isEmpty()) {
        html += QStringLiteral("<ul class=\"dose-warnings\">");
        for (const QString &warning : r.warnings)
            html += QStringLiteral("<li>%1</li>").arg(escape(warning));
        html += QStringLiteral("</ul>");
    }
    return html + quote(answer.row.sourceQuote) + QStringLiteral("</article>");
}

QString calculator(qint64 itemId, const ProductAnswers &answers, const QList<Species> &species,
                   const Inputs &in, bool asked)
{
    QList<Species> dosed;
    for (const Species &s : species) {
        if (!answers.dosesFor(s.id).isEmpty())
            dosed << s;
    }
    if (dosed.isEmpty())
        return QString();
    const std::optional<qint64> askedSpecies = idOf(in.species);
    // The lists below follow the species asked for, or the first one before anything was asked.
    const qint64 shown =
        askedSpecies && !answers.dosesFor(*askedSpecies).isEmpty() ? *askedSpecies : dosed.first().id;
    const QList<DoseRow> rows = answers.dosesFor(shown);
    const QStringList routes = distinct(rows, &DoseRow::route);
    const QStringList indications = distinct(rows, &DoseRow::indication);
    const QString route = chosenFrom(routes, in.route);
    const QString indication = chosenFrom(indications, in.indication);
    std::optional<Strength> strength;
    if (const auto id = idOf(in.form)) {
        for (const Strength &s : answers.strengths) {
            if (s.id == *id)
                strength = s;
        }
    }

    QString html =
        QStringLiteral(
            "<section class=\"answers-part\" id=\"calc\" aria-labelledby=\"calc-title\">"
            "<h2 id=\"calc-title\">Расчёт дозы</h2>"
            "<form class=\"answer-form\" id=\"calc-form\" method=\"get\" action=\"/item/%1#calc-result\">")
            .arg(itemId);
    QString options;
    for (const Species &s : dosed)
        options += option(QString::number(s.id), s.name, s.id == shown);
    html += selectField(QStringLiteral("calc-species"), "species", QStringLiteral("Вид животного"), options);
    html +=
        QStringLiteral(
            "<div class=\"field\"><label for=\"calc-weight\">Масса тела, кг</label>"
            "<p class=\"hint\" id=\"calc-weight-hint\">От 0,01 до 2&nbsp;000 кг, например 12,5</p>"
            "<input id=\"calc-weight\" name=\"weight\" type=\"text\" inputmode=\"decimal\" "
            "autocomplete=\"off\" maxlength=\"%1\" value=\"%2\" aria-describedby=\"calc-weight-hint\"></div>")
            .arg(kMaxValue)
            .arg(escape(in.weight));
    if (routes.size() > 1) {
        options = option(QString(), QStringLiteral("все"), route.isEmpty());
        for (const QString &value : routes)
            options += option(value, value, value == route);
        html += selectField(QStringLiteral("calc-route"), "route", QStringLiteral("Путь введения"), options);
    }
    if (indications.size() > 1) {
        options = option(QString(), QStringLiteral("все"), indication.isEmpty());
        for (const QString &value : indications)
            options += option(value, value, value == indication);
        html += selectField(QStringLiteral("calc-indication"), "indication", QStringLiteral("Показание"),
                            options);
    }
    if (answers.strengths.size() > 1) {
        options = option(QString(), QStringLiteral("подходящая к дозировке"), !strength);
        for (const Strength &s : answers.strengths)
            options += option(QString::number(s.id), s.describe(), strength && strength->id == s.id);
        html +=
            selectField(QStringLiteral("calc-form"), "form", QStringLiteral("Форма и концентрация"), options);
    }
    html += hidden("last", in.last);
    html += QStringLiteral("<button type=\"submit\">Рассчитать</button></form>");

    if (asked) {
        html += QStringLiteral("<div class=\"calc-result\" id=\"calc-result\" tabindex=\"-1\">"
                               "<h3 class=\"visually-hidden\">Результат расчёта</h3>");
        const qint64 speciesId = askedSpecies.value_or(0);
        const QString name = speciesName(species, speciesId);
        const std::optional<qint64> strengthId = strength ? std::optional<qint64>(strength->id) : std::nullopt;
        for (const DoseAnswer &answer : answerDoses(answers, speciesId, in.weight, route, indication, strengthId))
            html += doseAnswerHtml(answer, name.isEmpty() ? QStringLiteral("Вид") : name, in.weight);
        html += QStringLiteral("</div>");
    }
    return html + QStringLiteral("</section>");
}

QString withdrawalTableHtml(const Species &species, const WithdrawalTable &table,
                            const std::optional<QDateTime> &last)
{
    QString html = QStringLiteral("<h3>%1</h3>").arg(escape(species.name));
    if (table.noData)
        return html + QStringLiteral("<p class=\"no-data\">Сроки ожидания: %1</p>").arg(escape(noDataText()));
    // Three narrow columns at most, the instruction's words in a row of their own under each:
    // on a phone the period and the date stay in sight without scrolling sideways.
    html += QStringLiteral("<div class=\"table-scroll\" tabindex=\"0\" role=\"region\" aria-label=\"%1\">"
                           "<table class=\"withdrawal-table\"><thead><tr><th scope=\"col\">Продукция</th>"
                           "<th scope=\"col\">Срок ожидания</th>")
                .arg(escape(QStringLiteral("Сроки ожидания: ") + species.name));
    if (last)
        html += QStringLiteral("<th scope=\"col\">Можно использовать с</th>");
    html += QStringLiteral("</tr></thead><tbody>");
    for (const WithdrawalRow &row : table.rows) {
        html += QStringLiteral("<tr><th scope=\"row\">%1</th><td>%2</td>")
                    .arg(escape(tissueName(row.tissue)), escape(row.periodText()));
        if (last) {
            const std::optional<QDateTime> release = row.releaseAfter(*last);
            html += QStringLiteral("<td class=\"release\">%1</td>")
                        .arg(escape(release ? formatDateTime(*release) : row.periodText()));
        }
        html += QStringLiteral("</tr>");
        if (!row.sourceQuote.trimmed().isEmpty())
            html += QStringLiteral("<tr class=\"quote-row\"><td colspan=\"%1\"><span class=\"source-label\">Из "
                                   "инструкции:</span> «%2»</td></tr>")
                        .arg(last ? 3 : 2)
                        .arg(escape(row.sourceQuote.trimmed()));
    }
    return html + QStringLiteral("</tbody></table></div>");
}

// The zone the typed last dose is read in and the release dates are written in: the server's.
QString serverZone()
{
    const QString id = QString::fromUtf8(QTimeZone::systemTimeZoneId());
    return id.isEmpty() ? QTimeZone::systemTimeZone().abbreviation(QDateTime::currentDateTime()) : id;
}

// "DD.MM.YYYY HH:MM" as the program reads it; a date-time field's "YYYY-MM-DDTHH:MM" too.
std::optional<QDateTime> lastDoseOf(const QString &typed)
{
    const QString text = typed.trimmed();
    static const QRegularExpression iso(QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2})[T ](\\d{2}):(\\d{2})$"));
    const QRegularExpressionMatch m = iso.match(text);
    if (m.hasMatch())
        return parseLastDose(
            QStringLiteral("%1.%2.%3 %4:%5")
                .arg(m.captured(3), m.captured(2), m.captured(1), m.captured(4), m.captured(5)));
    return parseLastDose(text);
}

QString withdrawals(qint64 itemId, const ProductAnswers &answers, const QList<Species> &species,
                    const Inputs &in)
{
    QString tables;
    const std::optional<QDateTime> last = in.last.trimmed().isEmpty() ? std::nullopt : lastDoseOf(in.last);
    for (const Species &s : species) {
        const WithdrawalTable table = answers.withdrawalTableFor(s);
        if (table.noData || !table.rows.isEmpty())
            tables += withdrawalTableHtml(s, table, last);
    }
    if (tables.isEmpty())
        return QString();
    QString html =
        QStringLiteral(
            "<section class=\"answers-part\" id=\"withdrawal\" aria-labelledby=\"withdrawal-title\">"
            "<h2 id=\"withdrawal-title\">Сроки ожидания</h2>"
            "<form class=\"answer-form\" id=\"withdrawal-form\" method=\"get\" "
            "action=\"/item/%1#withdrawal\">")
            .arg(itemId);
    // In the calculator's order, so the submitted address is the page's canonical one.
    html += hidden("species", in.species) + hidden("weight", in.weight) + hidden("route", in.route) +
            hidden("indication", in.indication) + hidden("form", in.form);
    html += QStringLiteral("<div class=\"field\"><label for=\"last-dose\">Последнее введение</label>"
                           "<p class=\"hint\" id=\"last-dose-hint\">Дата и время: ДД.ММ.ГГГГ ЧЧ:ММ, например "
                           "01.03.2027 08:00</p>"
                           "<input id=\"last-dose\" name=\"last\" type=\"text\" autocomplete=\"off\" "
                           "maxlength=\"%1\" value=\"%2\" aria-describedby=\"last-dose-hint\"></div>"
                           "<button type=\"submit\">Показать даты</button></form>")
                .arg(kMaxValue)
                .arg(escape(in.last));
    if (last)
        html += QStringLiteral("<p class=\"hint\" id=\"release-zone\">Даты — время сервера: %1</p>")
                    .arg(escape(serverZone()));
    if (!in.last.trimmed().isEmpty() && !last)
        html +=
            QStringLiteral("<p class=\"refusal\" id=\"last-dose-refusal\">Дата и время последнего введения — "
                           "в виде ДД.ММ.ГГГГ ЧЧ:ММ, например 01.03.2027 08:00</p>");
    if (last) {
        const QString note = repeatedHourNote(last->toString(QStringLiteral("dd.MM.yyyy HH:mm")));
        if (!note.isEmpty())
            html += QStringLiteral("<p class=\"hint\" id=\"last-dose-note\">%1</p>").arg(escape(note));
    }
    return html + tables + QStringLiteral("</section>");
}

} // namespace

namespace readerpages {

AnswersHtml answersSection(const ReaderContext &context, qint64 itemId,
                           const QHash<QString, QString> &parameters)
{
    const ProductAnswers answers = loadProductAnswers(context.db, itemId);
    if (answers.isEmpty())
        return {};
    const QList<qint64> ids = answers.speciesIds();
    QList<Species> species;
    for (const Species &s : loadSpecies(context.db)) {
        if (ids.contains(s.id))
            species << s;
    }
    if (species.isEmpty())
        return {};
    QStringList names;
    for (const Species &s : species)
        names << escape(s.name);
    const Inputs in = inputsOf(parameters);
    QString html =
        QStringLiteral("<div class=\"answers\" id=\"answers\">"
                       "<p id=\"answer-species\"><span class=\"species-label\">Структурированные данные "
                       "есть для видов:</span> %1</p>")
            .arg(names.join(QStringLiteral(", ")));
    const QString calc = calculator(itemId, answers, species, in, parameters.contains(QStringLiteral("species")));
    const QString periods = withdrawals(itemId, answers, species, in);
    // Under the name, on a phone's first screen: the way to the answers far down the page.
    QStringList jumps;
    if (!calc.isEmpty())
        jumps << QStringLiteral("<a href=\"#calc\">Расчёт дозы</a>");
    if (!periods.isEmpty())
        jumps << QStringLiteral("<a href=\"#withdrawal\">Сроки ожидания</a>");
    AnswersHtml out;
    if (!jumps.isEmpty())
        out.jumps = QStringLiteral("<p class=\"jumps\" id=\"answer-jumps\">") + jumps.join(QStringLiteral(" · ")) +
                    QStringLiteral("</p>\n");
    out.section = html + calc + periods + QStringLiteral("</div>");
    return out;
}

} // namespace readerpages
