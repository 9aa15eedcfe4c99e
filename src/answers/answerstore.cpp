// The four tables read through bound statements; identifiers are fixed here, never from input.
#include "answers/answerstore.h"

#include "answers/rowrules.h"
#include "db/sqlitedb.h"

#include <QLoggingCategory>
#include <algorithm>

Q_LOGGING_CATEGORY(lcAnswers, "ramux.answers", QtInfoMsg)

namespace {

struct TableColumns
{
    const char *table;
    QStringList columns;
};

const QList<TableColumns> &requiredColumns()
{
    static const QList<TableColumns> tables = {
        {"species", {"id", "code", "name", "food"}},
        {"item_strengths",
         {"id", "item_id", "ord", "form", "substance", "amount", "amount_unit", "per_amount", "per_unit",
          "fractions"}},
        {"item_doses",
         {"id", "item_id", "ord", "species_id", "route", "indication", "substance", "dose_from", "dose_to",
          "dose_unit", "basis", "frequency", "duration", "max_single", "max_single_unit", "source_field",
          "source_quote"}},
        {"item_withdrawals",
         {"id", "item_id", "ord", "species_id", "tissue", "period", "period_unit", "forbidden",
          "source_field", "source_quote"}},
    };
    return tables;
}

// In these tables an empty value means "not stated", as NULL does; the sync stores it as NULL,
// but a store written by an older program may still hold ''.
QString stated(const Statement &st, int column)
{
    const QString text = st.text(column);
    return text.isEmpty() ? QString() : text;
}

int ordOf(const Statement &st, int column)
{
    return int(qBound(qint64(-1000000), st.optInt64(column).value_or(0), qint64(1000000)));
}

QList<Strength> readStrengths(Database &db, qint64 itemId)
{
    Statement st = db.prepare(QStringLiteral(
        "SELECT id, item_id, ord, form, substance, amount, amount_unit, per_amount, per_unit, fractions "
        "FROM item_strengths WHERE item_id = ?1 ORDER BY ord, id"));
    st.bind(1, itemId);
    QList<Strength> strengths;
    while (st.step()) {
        StrengthText t;
        t.id = st.int64(0);
        t.itemId = st.int64(1);
        t.ord = ordOf(st, 2);
        t.form = stated(st, 3);
        t.substance = stated(st, 4);
        t.amount = stated(st, 5);
        t.amountUnit = stated(st, 6);
        t.perAmount = stated(st, 7);
        t.perUnit = stated(st, 8);
        t.fractions = st.optInt64(9);
        QString why;
        if (const auto s = parseStrength(t, &why))
            strengths << *s;
        else
            qCWarning(lcAnswers) << "strength" << t.id << "left out:" << why;
    }
    return strengths;
}

QList<DoseRow> readDoses(Database &db, qint64 itemId)
{
    Statement st = db.prepare(
        QStringLiteral("SELECT id, item_id, ord, species_id, route, indication, substance, dose_from, "
                       "dose_to, dose_unit, basis, "
                       "frequency, duration, max_single, max_single_unit, source_field, source_quote "
                       "FROM item_doses WHERE item_id = ?1 ORDER BY ord, id"));
    st.bind(1, itemId);
    QList<DoseRow> rows;
    while (st.step()) {
        DoseRowText t;
        t.id = st.int64(0);
        t.itemId = st.int64(1);
        t.ord = ordOf(st, 2);
        t.speciesId = st.int64(3);
        t.route = stated(st, 4);
        t.indication = stated(st, 5);
        t.substance = stated(st, 6);
        t.doseFrom = stated(st, 7);
        t.doseTo = stated(st, 8);
        t.doseUnit = stated(st, 9);
        t.basis = stated(st, 10);
        t.frequency = stated(st, 11);
        t.duration = stated(st, 12);
        t.maxSingle = stated(st, 13);
        t.maxSingleUnit = stated(st, 14);
        t.sourceField = stated(st, 15);
        t.sourceQuote = stated(st, 16);
        QString why;
        if (const auto row = parseDoseRow(t, &why))
            rows << *row;
        else
            qCWarning(lcAnswers) << "dose row" << t.id << "left out:" << why;
    }
    return rows;
}

QList<WithdrawalRow> readWithdrawals(Database &db, qint64 itemId)
{
    Statement st = db.prepare(QStringLiteral(
        "SELECT id, item_id, ord, species_id, tissue, period, period_unit, forbidden, source_field, "
        "source_quote FROM item_withdrawals WHERE item_id = ?1 ORDER BY ord, id"));
    st.bind(1, itemId);
    QList<WithdrawalRow> rows;
    while (st.step()) {
        WithdrawalRowText t;
        t.id = st.int64(0);
        t.itemId = st.int64(1);
        t.ord = ordOf(st, 2);
        t.speciesId = st.int64(3);
        t.tissue = stated(st, 4);
        t.period = stated(st, 5);
        t.periodUnit = stated(st, 6);
        t.forbidden = st.optInt64(7);
        t.sourceField = stated(st, 8);
        t.sourceQuote = stated(st, 9);
        QString why;
        if (const auto row = parseWithdrawalRow(t, &why))
            rows << *row;
        else
            qCWarning(lcAnswers) << "withdrawal row" << t.id << "left out:" << why;
    }
    return rows;
}

} // namespace

bool hasAnswerTables(Database &db)
{
    for (const TableColumns &t : requiredColumns()) {
        const QString table = QLatin1String(t.table);
        if (!db.hasTable(table))
            return false;
        for (const QString &column : t.columns) {
            if (!db.findColumn(table, column))
                return false;
        }
    }
    return true;
}

QList<Species> loadSpecies(Database &db)
{
    QList<Species> species;
    if (!hasAnswerTables(db))
        return species;
    Statement st = db.prepare(QStringLiteral("SELECT id, code, name, food FROM species ORDER BY id"));
    while (st.step())
        species << Species{st.int64(0), st.text(1), st.text(2), st.optInt64(3).value_or(0) != 0};
    return species;
}

ProductAnswers loadProductAnswers(Database &db, qint64 itemId)
{
    ProductAnswers answers;
    answers.itemId = itemId;
    if (!hasAnswerTables(db))
        return answers;
    answers.strengths = readStrengths(db, itemId);
    answers.withdrawals = readWithdrawals(db, itemId);
    for (const DoseRow &row : readDoses(db, itemId)) {
        // The rule publishing applies; rows also arrive before or after their strengths, and
        // until both are here the row waits.
        const QString problem = doseRowProblem(row, answers.strengths);
        if (problem.isEmpty())
            answers.doses << row;
        else
            qCDebug(lcAnswers) << "dose row" << row.id << "not offered:" << problem;
    }
    return answers;
}

QList<Species> speciesOfProduct(Database &db, qint64 itemId)
{
    const QList<qint64> ids = loadProductAnswers(db, itemId).speciesIds();
    QList<Species> out;
    for (const Species &s : loadSpecies(db)) {
        if (ids.contains(s.id))
            out << s;
    }
    return out;
}

QSet<qint64> productsWithSpecies(Database &db, qint64 speciesId)
{
    QSet<qint64> items;
    if (!hasAnswerTables(db))
        return items;
    // The same rule as loadProductAnswers: a dose row counts once a strength it refers to is here.
    Statement st = db.prepare(
        QStringLiteral("SELECT item_id FROM item_withdrawals WHERE species_id = ?1 "
                       "UNION SELECT d.item_id FROM item_doses d WHERE d.species_id = ?1 AND (EXISTS ("
                       "SELECT 1 FROM item_strengths s WHERE s.item_id = d.item_id "
                       "AND (NULLIF(d.substance, '') IS NULL OR s.substance = d.substance))"
                       " OR (d.dose_unit IN ('мл', 'таблетка', 'болюс', 'капсула', 'пипетка', 'доза', "
                       "'г препарата') AND NOT EXISTS (SELECT 1 FROM item_strengths s "
                       "WHERE s.item_id = d.item_id)))"));
    st.bind(1, speciesId);
    while (st.step())
        items.insert(st.int64(0));
    return items;
}
