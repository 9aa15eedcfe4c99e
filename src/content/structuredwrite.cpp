// The structured tables written back as blocks of the product files and animals.tsv, in the
// spelling the reader takes, so that publishing an export changes nothing.
#include "content/structuredformat.h"
#include "content/structuredsource.h"

#include "answers/doserow.h"

#include <QHash>
#include <algorithm>

namespace structuredsource {

namespace {

using namespace format;

struct Writer
{
    const ContentTable &table;
    QStringList &errors;

    FieldValue value(const ContentRow &row, const char *column) const
    {
        const int at = table.columnIndex(QString::fromLatin1(column));
        return at < 0 ? FieldValue() : row.values.value(at);
    }

    // A value the reader gives back unchanged: one line, no blanks at its ends, not empty.
    bool fits(const ContentRow &row, const QString &value, const char *column)
    {
        const bool ok = !value.isEmpty() && value == value.trimmed() && !value.contains(QLatin1Char('\n')) &&
                        !value.contains(QLatin1Char('\r'));
        if (!ok)
            errors.append(
                QStringLiteral("%1 %2 %3: значение пусто, с пробелами по краям или в несколько строк")
                    .arg(table.name)
                    .arg(row.id)
                    .arg(QString::fromLatin1(column)));
        return ok;
    }

    void line(QString &out, const ContentRow &row, const char *key, const FieldValue &text,
              const char *column)
    {
        if (text && fits(row, *text, column))
            out += QString::fromLatin1(key) + QStringLiteral(": ") + *text + QLatin1Char('\n');
    }
    void line(QString &out, const ContentRow &row, const char *key, const char *column)
    {
        line(out, row, key, value(row, column), column);
    }
    // "25 мг": a number and its word, either of them missing leaves the line out.
    void pair(QString &out, const ContentRow &row, const char *key, const char *number, const char *word)
    {
        const FieldValue n = value(row, number), w = value(row, word);
        if (n && w)
            line(out, row, key, *n + QLatin1Char(' ') + *w, number);
        else if (w)
            line(out, row, key, *w, word);
    }
};

QString renderRow(const QString &section, const ContentTable &t, const ContentRow &row,
                  const QHash<qint64, QString> &speciesCodes, QStringList &errors)
{
    Writer w{t, errors};
    QString out;
    auto species = [&] {
        bool ok = false;
        const qint64 id = w.value(row, "species_id").value_or(QString()).toLongLong(&ok);
        if (!ok || !speciesCodes.contains(id)) {
            errors.append(QStringLiteral("%1 %2: вида %3 нет в таблице species")
                              .arg(t.name)
                              .arg(row.id)
                              .arg(w.value(row, "species_id").value_or(QStringLiteral("NULL"))));
            return;
        }
        out += QStringLiteral("species: ") + speciesCodes.value(id) + QLatin1Char('\n');
    };
    if (section == QLatin1String(Strengths)) {
        w.line(out, row, "form", "form");
        w.line(out, row, "substance", "substance");
        w.pair(out, row, "amount", "amount", "amount_unit");
        w.pair(out, row, "per", "per_amount", "per_unit");
        w.line(out, row, "fractions", "fractions");
    } else if (section == QLatin1String(Doses)) {
        species();
        w.line(out, row, "route", "route");
        w.line(out, row, "indication", "indication");
        w.line(out, row, "substance", "substance");
        const FieldValue from = w.value(row, "dose_from"), to = w.value(row, "dose_to");
        if (from)
            w.line(out, row, "dose", to ? *from + QLatin1Char('-') + *to : *from, "dose_from");
        // "г препарата" is written back as the unit and its "of".
        const FieldValue unit = w.value(row, "dose_unit");
        DoseRowText unitOnly;
        unitOnly.doseFrom = QStringLiteral("1");
        unitOnly.doseUnit = unit.value_or(QString());
        unitOnly.basis = QStringLiteral("kg");
        const DoseRow parsed = parseDoseRow(unitOnly).value_or(DoseRow());
        if (unit && parsed.of != DoseOf::Unsaid) {
            w.line(out, row, "unit", unitText(parsed.unit), "dose_unit");
            out += parsed.of == DoseOf::Product ? QStringLiteral("of: product\n") : QStringLiteral("of: substance\n");
        } else {
            w.line(out, row, "unit", "dose_unit");
        }
        w.line(out, row, "basis", "basis");
        w.line(out, row, "frequency", "frequency");
        w.line(out, row, "duration", "duration");
        w.pair(out, row, "max_single", "max_single", "max_single_unit");
        w.line(out, row, "source", "source_field");
        w.line(out, row, "quote", "source_quote");
    } else {
        species();
        w.line(out, row, "tissue", "tissue");
        if (w.value(row, "forbidden") == QLatin1String("1"))
            out += QStringLiteral("period: ") + forbiddenWord() + QLatin1Char('\n');
        else
            w.pair(out, row, "period", "period", "period_unit");
        w.line(out, row, "source", "source_field");
        w.line(out, row, "quote", "source_quote");
    }
    return out;
}

} // namespace

std::map<qint64, QString> renderItemBlocks(const ContentSet &content, QStringList &errors,
                                           QStringList &warnings)
{
    QHash<qint64, QString> speciesCodes;
    if (const ContentTable *species = content.findTable(QStringLiteral("species"))) {
        const int code = species->columnIndex(QStringLiteral("code"));
        for (const ContentRow &row : species->rows)
            speciesCodes.insert(row.id, row.values.value(code).value_or(QString()));
    }
    QHash<qint64, bool> items;
    if (const ContentTable *t = content.findTable(QStringLiteral("items"))) {
        for (const ContentRow &row : t->rows)
            items.insert(row.id, true);
    }
    static const std::pair<const char *, const char *> tables[] = {
        {Strengths, "item_strengths"}, {Doses, "item_doses"}, {Withdrawal, "item_withdrawals"}};
    std::map<qint64, QString> out;
    for (const auto &[section, name] : tables) {
        const ContentTable *t = content.findTable(QString::fromLatin1(name));
        if (!t)
            continue;
        const int itemAt = t->columnIndex(QStringLiteral("item_id"));
        const int ordAt = t->columnIndex(QStringLiteral("ord"));
        // Rows by product, in their place in the block.
        std::map<qint64, std::vector<std::pair<qint64, const ContentRow *>>> byItem;
        for (const ContentRow &row : t->rows) {
            bool okItem = false, okOrd = false;
            const qint64 item = row.values.value(itemAt).value_or(QString()).toLongLong(&okItem);
            const qint64 ord = row.values.value(ordAt).value_or(QString()).toLongLong(&okOrd);
            if (!okItem || !okOrd || !items.contains(item)) {
                warnings.append(
                    QStringLiteral("%1 %2: строка без препарата не записана").arg(t->name).arg(row.id));
                continue;
            }
            byItem[item].emplace_back(ord, &row);
        }
        for (auto &[item, rows] : byItem) {
            std::sort(rows.begin(), rows.end(), [](const auto &a, const auto &b) {
                return a.first != b.first ? a.first < b.first : a.second->id < b.second->id;
            });
            QStringList rendered;
            for (size_t i = 0; i < rows.size(); ++i) {
                if (rows[i].first != qint64(i) + 1)
                    warnings.append(
                        QStringLiteral("%1 %2: порядковые номера строк препарата %3 идут не подряд; "
                                       "публикация записанного пронумерует их заново")
                            .arg(t->name)
                            .arg(rows[i].second->id)
                            .arg(item));
                rendered.append(
                    renderRow(QString::fromLatin1(section), *t, *rows[i].second, speciesCodes, errors));
            }
            out[item] += QStringLiteral("== ") + QString::fromLatin1(section) + QLatin1Char('\n') +
                         rendered.join(QLatin1Char('\n'));
        }
    }
    return out;
}

QByteArray renderSpecies(const ContentSet &content, QStringList &errors)
{
    const ContentTable *t = content.findTable(QStringLiteral("species"));
    if (!t)
        return QByteArray();
    std::vector<const ContentRow *> rows;
    for (const ContentRow &row : t->rows)
        rows.push_back(&row);
    std::sort(rows.begin(), rows.end(),
              [](const ContentRow *a, const ContentRow *b) { return a->id < b->id; });
    QByteArray out;
    Writer w{*t, errors};
    for (const ContentRow *row : rows) {
        QStringList fields{QString::number(row->id)};
        for (const char *column : {"code", "name", "food"}) {
            const QString value = w.value(*row, column).value_or(QString());
            if (!w.fits(*row, value, column))
                continue;
            if (value.contains(QLatin1Char('\t'))) {
                errors.append(QStringLiteral("species %1 %2: табуляция в значении")
                                  .arg(row->id)
                                  .arg(QString::fromLatin1(column)));
                continue;
            }
            fields.append(value);
        }
        if (fields.size() == 4)
            out += fields.join(QLatin1Char('\t')).toUtf8() + '\n';
    }
    return out;
}

} // namespace structuredsource
