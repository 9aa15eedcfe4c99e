// The structured rows of the products: checked against the unit list, the species, each other
// and the products' own texts, then added to the content. A number shown beside a quote must
// never contradict it, so the checks refuse rather than guess.
#include "content/sourcereader.h"
#include "content/structuredformat.h"
#include "content/structuredsource.h"

#include "content/quotecheck.h"

#include "answers/decimal.h"
#include "answers/doserow.h"
#include "answers/rowrules.h"
#include "answers/strength.h"
#include "answers/units.h"
#include "answers/withdrawal.h"
#include "search/plaintext.h"

#include <QHash>
#include <QSet>
#include <functional>

namespace structuredsource {

namespace {

using namespace format;

struct Checker
{
    const ItemBlocks &item;
    QStringList &errors;
    const QHash<QString, qint64> &species;
    QHash<QString, QString> plainTexts; // source field -> folded plain text

    void fail(int line, const QString &what)
    {
        errors.append(QStringLiteral("%1:%2: %3").arg(item.file).arg(line).arg(what));
    }

    static FieldValue text(const Record &r, const char *key)
    {
        const auto it = r.fields.find(QString::fromLatin1(key));
        return it == r.fields.end() ? FieldValue() : FieldValue(it->second.value);
    }
    static int lineOf(const Record &r, const char *key)
    {
        const auto it = r.fields.find(QString::fromLatin1(key));
        return it == r.fields.end() ? r.line : it->second.line;
    }

    std::optional<Unit> unit(const QString &word, int line, bool percentAllowed)
    {
        const std::optional<Unit> u = unitFromText(word);
        if (!u || (*u == Unit::Percent && !percentAllowed)) {
            fail(line,
                 QStringLiteral("единица \"%1\" не из списка (мкг, мг, г, МЕ, мл, таблетка, болюс, капсула, "
                                "пипетка, доза%2)")
                     .arg(word, percentAllowed ? QStringLiteral(", %") : QString()));
            return std::nullopt;
        }
        return u;
    }

    std::optional<QString> number(const QString &written, int line, const QString &what)
    {
        if (written.startsWith(QLatin1Char('-'))) {
            fail(line, QStringLiteral("%1 не может быть отрицательным: %2").arg(what, written));
            return std::nullopt;
        }
        const std::optional<QString> stored = decimalText(written);
        if (!stored)
            fail(line, QStringLiteral("%1: \"%2\" не число (цифры, дробная часть через точку или запятую)")
                           .arg(what, written));
        return stored;
    }

    std::optional<qint64> speciesId(const Record &r)
    {
        const QString code = text(r, "species").value_or(QString());
        const auto it = species.constFind(code);
        if (it == species.constEnd()) {
            fail(lineOf(r, "species"),
                 QStringLiteral("вида \"%1\" нет в %2").arg(code, QString::fromLatin1(SpeciesFile)));
            return std::nullopt;
        }
        return *it;
    }

    // The quote must be the product's own words, begin and end at word boundaries of them, and
    // carry the row's quantities as written (`problem` says what it lacks, empty when nothing).
    bool quote(const Record &r, const std::function<QString(const QString &)> &problem)
    {
        if (!r.fields.count(QStringLiteral("quote")) || !r.fields.count(QStringLiteral("source")))
            return false; // reported as a missing key
        const QString field = text(r, "source").value_or(QString());
        if (!sourceformat::itemSections().contains(field)) {
            fail(lineOf(r, "source"),
                 QStringLiteral("источник \"%1\" не текстовый раздел препарата").arg(field));
            return false;
        }
        const auto html = item.texts.find(field);
        if (html == item.texts.end()) {
            fail(lineOf(r, "source"), QStringLiteral("у препарата нет раздела %1").arg(field));
            return false;
        }
        if (!plainTexts.contains(field))
            plainTexts.insert(field, foldBlanks(htmlToPlainText(html->second)));
        const QString quoted = foldBlanks(text(r, "quote").value_or(QString()));
        if (!quotecheck::occursAsWords(plainTexts.value(field), quoted)) {
            fail(lineOf(r, "quote"), QStringLiteral("цитаты нет в разделе %1: \"%2\"").arg(field, quoted));
            return false;
        }
        if (problem) {
            const QString what = problem(quoted);
            if (!what.isEmpty()) {
                fail(lineOf(r, "quote"), what);
                return false;
            }
        }
        return true;
    }
};

FieldValue valueOf(const ContentTable &table, const ContentRow &row, const char *column)
{
    return row.values.value(table.columnIndex(QString::fromLatin1(column)));
}

QString textOf(const ContentTable &table, const ContentRow &row, const char *column)
{
    const FieldValue v = valueOf(table, row, column);
    return v ? *v : QString();
}

const std::vector<Record> &blockOf(const ItemBlocks &item, const char *section)
{
    static const std::vector<Record> none;
    const auto it = item.blocks.find(QString::fromLatin1(section));
    return it == item.blocks.end() ? none : it->second;
}

} // namespace

void addItemRows(const std::vector<ItemBlocks> &items, ContentSet &set, QStringList &errors)
{
    QHash<QString, qint64> species;
    const ContentTable &speciesTable = set.table(QStringLiteral("species"));
    const int codeAt = speciesTable.columnIndex(QStringLiteral("code"));
    for (const ContentRow &row : speciesTable.rows)
        species.insert(row.values.value(codeAt).value_or(QString()), row.id);

    ContentTable &strengths = set.table(QStringLiteral("item_strengths"));
    ContentTable &doses = set.table(QStringLiteral("item_doses"));
    ContentTable &withdrawals = set.table(QStringLiteral("item_withdrawals"));
    qint64 nextStrength = 0, nextDose = 0, nextWithdrawal = 0;

    for (const ItemBlocks &item : items) {
        Checker check{item, errors, species, {}};
        const QString itemId = QString::number(item.item);
        QList<Strength> known; // as every client reads them

        int ord = 0;
        for (const Record &r : blockOf(item, Strengths)) {
            ContentRow &row = strengths.addRow(++nextStrength);
            strengths.set(row, QStringLiteral("item_id"), itemId);
            strengths.set(row, QStringLiteral("ord"), QString::number(++ord));
            strengths.set(row, QStringLiteral("form"), Checker::text(r, "form"));
            strengths.set(row, QStringLiteral("substance"), Checker::text(r, "substance"));
            const qsizetype faultsBefore = errors.size();
            std::optional<Unit> amountUnit;
            if (const FieldValue amount = Checker::text(r, "amount")) {
                const int line = Checker::lineOf(r, "amount");
                const auto parts = amountAndWord(*amount);
                if (!parts) {
                    check.fail(line, QStringLiteral("количество пишут как \"25 мг\" или \"10 %\""));
                } else if (const auto n = check.number(parts->first, line, QStringLiteral("количество"))) {
                    amountUnit = check.unit(parts->second, line, true);
                    strengths.set(row, QStringLiteral("amount"), *n);
                    strengths.set(row, QStringLiteral("amount_unit"), parts->second);
                }
            }
            if (const FieldValue per = Checker::text(r, "per")) {
                const int line = Checker::lineOf(r, "per");
                const auto parts = amountAndWord(*per);
                const QString word = parts ? parts->second : *per;
                if (amountUnit == Unit::Percent) {
                    if (parts || (word != QStringLiteral("мл") && word != QStringLiteral("г")))
                        check.fail(
                            line, QStringLiteral("процент указывают на мл или на г, без числа: \"per: мл\""));
                } else if (!parts) {
                    check.fail(line, QStringLiteral("на какое количество: \"1 мл\", \"1 таблетка\""));
                } else if (const auto n = check.number(parts->first, line, QStringLiteral("количество"))) {
                    if (Decimal::parse(*n).value_or(Decimal()).isZero())
                        check.fail(line, QStringLiteral("количество не может быть нулём"));
                    check.unit(word, line, false);
                    strengths.set(row, QStringLiteral("per_amount"), *n);
                }
                strengths.set(row, QStringLiteral("per_unit"), word);
            }
            if (const FieldValue fractions = Checker::text(r, "fractions")) {
                const int line = Checker::lineOf(r, "fractions");
                if (*fractions != QLatin1String("1") && *fractions != QLatin1String("2") &&
                    *fractions != QLatin1String("4"))
                    check.fail(
                        line,
                        QStringLiteral(
                            "деление таблетки: 1 (только целиком), 2 (пополам) или 4 (на четыре части)"));
                strengths.set(row, QStringLiteral("fractions"), *fractions);
            }
            if (errors.size() != faultsBefore)
                continue;
            // What a client makes of the row, by the clients' own reading.
            StrengthText t;
            t.form = textOf(strengths, row, "form");
            t.substance = textOf(strengths, row, "substance");
            t.amount = textOf(strengths, row, "amount");
            t.amountUnit = textOf(strengths, row, "amount_unit");
            t.perAmount = textOf(strengths, row, "per_amount");
            t.perUnit = textOf(strengths, row, "per_unit");
            if (const FieldValue f = valueOf(strengths, row, "fractions"))
                t.fractions = f->toLongLong();
            QString why;
            if (const auto parsed = parseStrength(t, &why)) {
                known << *parsed;
                known.last().id = row.id;
            } else {
                check.fail(Checker::lineOf(r, why.contains(QStringLiteral("дел"))           ? "fractions"
                                              : why.contains(QStringLiteral("содержание")) ? "amount"
                                                                                            : "per"),
                           why);
            }
        }

        ord = 0;
        for (const Record &r : blockOf(item, Doses)) {
            ContentRow &row = doses.addRow(++nextDose);
            doses.set(row, QStringLiteral("item_id"), itemId);
            doses.set(row, QStringLiteral("ord"), QString::number(++ord));
            if (const auto id = check.speciesId(r))
                doses.set(row, QStringLiteral("species_id"), QString::number(*id));
            static const std::pair<const char *, const char *> plain[] = {
                {"route", "route"},         {"indication", "indication"}, {"substance", "substance"},
                {"frequency", "frequency"}, {"duration", "duration"},     {"source", "source_field"},
                {"quote", "source_quote"}};
            for (const auto &[key, column] : plain)
                doses.set(row, QString::fromLatin1(column), Checker::text(r, key));
            const qsizetype faultsBefore = errors.size();
            if (const FieldValue dose = Checker::text(r, "dose")) {
                const int line = Checker::lineOf(r, "dose");
                QString written = *dose;
                written.replace(QChar(0x2013), QLatin1Char('-'));
                const QStringList parts = written.split(QLatin1Char('-'));
                if (written.startsWith(QLatin1Char('-')) || parts.size() > 2) {
                    check.fail(line, QStringLiteral("доза пишется как \"5\" или \"5-10\", без знака"));
                } else {
                    const auto from = check.number(parts.at(0).trimmed(), line, QStringLiteral("доза"));
                    const auto to = parts.size() == 2
                                        ? check.number(parts.at(1).trimmed(), line, QStringLiteral("доза"))
                                        : std::optional<QString>();
                    if (from && to && Decimal::parse(*to) < Decimal::parse(*from))
                        check.fail(line,
                                   QStringLiteral("доза \"от\" больше дозы \"до\": %1 > %2").arg(*from, *to));
                    doses.set(row, QStringLiteral("dose_from"), from);
                    doses.set(row, QStringLiteral("dose_to"), to);
                }
            }
            // "of" travels inside the unit ("г препарата"), so a program that knows no "of" never
            // takes the grams of a powder for grams of its substance.
            DoseOf of = DoseOf::Unsaid;
            if (const FieldValue ofText = Checker::text(r, "of")) {
                if (*ofText == QLatin1String("product"))
                    of = DoseOf::Product;
                else if (*ofText == QLatin1String("substance"))
                    of = DoseOf::Substance;
                else
                    check.fail(Checker::lineOf(r, "of"),
                               QStringLiteral("of: product (г препарата) или of: substance (г вещества)"));
                if (Checker::text(r, "unit") != QStringLiteral("г"))
                    check.fail(Checker::lineOf(r, "of"), QStringLiteral("of указывают только для дозы в г"));
            }
            if (const FieldValue unit = Checker::text(r, "unit")) {
                check.unit(*unit, Checker::lineOf(r, "unit"), false);
                doses.set(row, QStringLiteral("dose_unit"), doseUnitColumn(*unit, of));
            }
            if (const FieldValue basis = Checker::text(r, "basis")) {
                Decimal perKg;
                if (!parseBasis(*basis, &perKg))
                    check.fail(Checker::lineOf(r, "basis"),
                               QStringLiteral("основа дозы \"%1\": kg, N kg (на N кг массы тела), animal, "
                                              "water_l, feed_kg, hive или m2")
                                   .arg(*basis));
                doses.set(row, QStringLiteral("basis"), *basis);
            }
            if (const FieldValue cap = Checker::text(r, "max_single")) {
                const int line = Checker::lineOf(r, "max_single");
                const auto parts = amountAndWord(*cap);
                if (!parts) {
                    check.fail(line, QStringLiteral("наибольшая разовая доза пишется как \"0.5 мг\""));
                } else if (const auto n =
                               check.number(parts->first, line, QStringLiteral("наибольшая разовая доза"))) {
                    check.unit(parts->second, line, false);
                    doses.set(row, QStringLiteral("max_single"), *n);
                    doses.set(row, QStringLiteral("max_single_unit"), parts->second);
                }
            }
            if (errors.size() != faultsBefore)
                continue;
            // The row as every client reads it, and the rule they offer it by.
            DoseRowText t;
            t.speciesId = valueOf(doses, row, "species_id").value_or(QString()).toLongLong();
            t.route = textOf(doses, row, "route");
            t.indication = textOf(doses, row, "indication");
            t.substance = textOf(doses, row, "substance");
            t.doseFrom = textOf(doses, row, "dose_from");
            t.doseTo = textOf(doses, row, "dose_to");
            t.doseUnit = textOf(doses, row, "dose_unit");
            t.basis = textOf(doses, row, "basis");
            t.maxSingle = textOf(doses, row, "max_single");
            t.maxSingleUnit = textOf(doses, row, "max_single_unit");
            QString why;
            const auto parsed = parseDoseRow(t, &why);
            if (!parsed) {
                check.fail(Checker::lineOf(r, why.contains(QStringLiteral("разов")) ? "max_single"
                                              : why.contains(QStringLiteral("основа")) ? "basis"
                                              : why.contains(QStringLiteral("единица")) ? "unit"
                                                                                         : "dose"),
                           why);
                continue;
            }
            const char *key = "unit";
            const QString problem = doseRowProblem(*parsed, known, &key);
            if (!problem.isEmpty()) {
                check.fail(Checker::lineOf(r, key), problem);
                continue;
            }
            check.quote(r, [&](const QString &quoted) {
                const QString dose = quotecheck::doseProblem(quoted, *parsed);
                return dose.isEmpty() ? quotecheck::capProblem(quoted, *parsed) : dose;
            });
        }

        ord = 0;
        QSet<QPair<QString, QString>> seen;
        for (const Record &r : blockOf(item, Withdrawal)) {
            ContentRow &row = withdrawals.addRow(++nextWithdrawal);
            withdrawals.set(row, QStringLiteral("item_id"), itemId);
            withdrawals.set(row, QStringLiteral("ord"), QString::number(++ord));
            if (const auto id = check.speciesId(r))
                withdrawals.set(row, QStringLiteral("species_id"), QString::number(*id));
            const QString tissue = Checker::text(r, "tissue").value_or(QString());
            static const QStringList tissues = {QStringLiteral("meat"), QStringLiteral("milk"),
                                                QStringLiteral("eggs"), QStringLiteral("honey")};
            if (!tissues.contains(tissue))
                check.fail(Checker::lineOf(r, "tissue"),
                           QStringLiteral("продукция \"%1\": meat, milk, eggs или honey").arg(tissue));
            const QPair<QString, QString> key(Checker::text(r, "species").value_or(QString()), tissue);
            if (seen.contains(key))
                check.fail(r.line, QStringLiteral("срок для %1 / %2 указан дважды").arg(key.first, tissue));
            seen.insert(key);
            withdrawals.set(row, QStringLiteral("tissue"), Checker::text(r, "tissue"));
            withdrawals.set(row, QStringLiteral("source_field"), Checker::text(r, "source"));
            withdrawals.set(row, QStringLiteral("source_quote"), Checker::text(r, "quote"));
            const qsizetype faultsBefore = errors.size();
            if (const FieldValue period = Checker::text(r, "period")) {
                const int line = Checker::lineOf(r, "period");
                if (*period == forbiddenWord()) {
                    withdrawals.set(row, QStringLiteral("forbidden"), QStringLiteral("1"));
                } else {
                    const auto parts = amountAndWord(*period);
                    const QString value = parts ? parts->first : *period;
                    const auto n = check.number(value, line, QStringLiteral("срок ожидания"));
                    if (!parts)
                        check.fail(line,
                                   QStringLiteral(
                                       "срок ожидания без единицы: \"96 h\" (часы) или \"28 d\" (сутки)"));
                    else if (parts->second != QLatin1String("h") && parts->second != QLatin1String("d"))
                        check.fail(line, QStringLiteral("единица срока \"%1\": h (часы) или d (сутки)")
                                             .arg(parts->second));
                    withdrawals.set(row, QStringLiteral("period"), n);
                    withdrawals.set(row, QStringLiteral("period_unit"),
                                    parts ? FieldValue(parts->second) : FieldValue());
                    withdrawals.set(row, QStringLiteral("forbidden"), QStringLiteral("0"));
                }
            }
            if (errors.size() != faultsBefore)
                continue;
            WithdrawalRowText t;
            t.tissue = textOf(withdrawals, row, "tissue");
            t.period = textOf(withdrawals, row, "period");
            t.periodUnit = textOf(withdrawals, row, "period_unit");
            t.forbidden = valueOf(withdrawals, row, "forbidden").value_or(QString()).toLongLong();
            QString why;
            const auto parsed = parseWithdrawalRow(t, &why);
            if (!parsed) {
                check.fail(Checker::lineOf(r, "period"), why);
                continue;
            }
            check.quote(r, [&](const QString &quoted) { return quotecheck::periodProblem(quoted, *parsed); });
        }
    }
}

} // namespace structuredsource
