#include "db/snapshot.h"

#include "db/sqlitedb.h"

#include <QCollator>
#include <algorithm>
#include <future>
#include <numeric>

namespace {

// Builds "SELECT a, b, c FROM t" over the wanted columns; a column the table lacks is
// selected as NULL so the reader's indexes stay fixed.
Statement selectColumns(Database &db, const QString &table, const QStringList &wanted, const QString &tail = {})
{
    QStringList parts;
    for (const QString &name : wanted) {
        const std::optional<QString> real = db.findColumn(table, name);
        parts << (real ? quoteIdentifier(*real) : QStringLiteral("NULL"));
    }
    return db.prepare(QStringLiteral("SELECT %1 FROM %2 %3").arg(parts.join(QLatin1String(", ")),
                                                                    quoteIdentifier(table), tail));
}

template <typename Row>
void indexById(RowTable<Row> &table)
{
    table.byId.clear();
    table.byId.reserve(table.rows.size());
    for (int i = 0; i < table.rows.size(); ++i) {
        const auto &id = table.rows[i].id;
        if constexpr (std::is_same_v<std::decay_t<decltype(id)>, qint64>) {
            if (!table.byId.contains(id))
                table.byId.insert(id, i);
        } else {
            if (id && !table.byId.contains(*id))
                table.byId.insert(*id, i);
        }
    }
    table.open = true;
}

// Stable sort by a name, each name's collation key computed once (a compare of two keys is a
// byte compare; comparing the strings would run the collator for every comparison).
template <typename Row, typename NameOf>
void sortByName(QVector<Row> &rows, NameOf nameOf)
{
    QCollator collator{QLocale(QLocale::Russian, QLocale::Russia)};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    QVector<QCollatorSortKey> keys;
    keys.reserve(rows.size());
    for (const Row &row : rows)
        keys.push_back(collator.sortKey(nameOf(row)));
    QVector<int> order(rows.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return keys[a].compare(keys[b]) < 0; });
    QVector<Row> sorted;
    sorted.reserve(rows.size());
    for (int i : order)
        sorted.push_back(std::move(rows[i]));
    rows = std::move(sorted);
}

void loadNamed(Database &db, const QString &table, RowTable<NamedRow> &out, bool sortByNames)
{
    Statement st = selectColumns(db, table,
                                 {QStringLiteral("id"), QStringLiteral("name"), QStringLiteral("description")},
                                 QStringLiteral("ORDER BY rowid"));
    while (st.step()) {
        const std::optional<qint64> id = st.optInt64(0);
        if (!id)
            continue; // a row without a key cannot be shown or linked to
        NamedRow row;
        row.id = *id;
        row.name = st.optText(1);
        row.descriptionIsNull = st.isNull(2);
        out.rows.push_back(std::move(row));
    }
    if (sortByNames)
        sortByName(out.rows, [](const NamedRow &r) { return r.name.value_or(QString()); });
    indexById(out);
}

void loadLinks(Database &db, const QString &table, const QString &targetColumn, RowTable<LinkRow> &out)
{
    Statement st = selectColumns(db, table, {QStringLiteral("id"), QStringLiteral("item_id"), targetColumn},
                                 QStringLiteral("ORDER BY rowid"));
    while (st.step())
        out.rows.push_back(LinkRow{st.optInt64(0), st.optInt64(1), st.optInt64(2)});
    // Nothing looks a link row up by its own id: tens of thousands of rows stay unindexed.
    out.open = true;
}

} // namespace

int compareNames(const QString &a, const QString &b)
{
    // QCollator is not thread-safe to share; one per thread.
    thread_local QCollator collator = [] {
        QCollator c{QLocale(QLocale::Russian, QLocale::Russia)};
        c.setCaseSensitivity(Qt::CaseInsensitive);
        return c;
    }();
    return collator.compare(a, b);
}

void loadReferenceTables(Database &db, ReferenceSnapshot &s, const std::function<void(const QString &)> &beforeTable)
{
    s.clear();
    auto before = [&](const char *table) {
        if (beforeTable)
            beforeTable(QString::fromLatin1(table));
    };

    before("sections");
    {
        Statement st = selectColumns(db, QStringLiteral("sections"),
                                     {QStringLiteral("id"), QStringLiteral("parent_id"), QStringLiteral("name")},
                                     QStringLiteral("ORDER BY rowid"));
        while (st.step()) {
            const std::optional<qint64> id = st.optInt64(0);
            if (!id)
                continue;
            s.sections.rows.push_back(SectionRow{*id, st.optInt64(1), st.optText(2)});
        }
        std::stable_sort(s.sections.rows.begin(), s.sections.rows.end(), [](const SectionRow &a, const SectionRow &b) {
            const qint64 pa = a.parentId.value_or(0), pb = b.parentId.value_or(0);
            return pa != pb ? pa < pb : a.id < b.id;
        });
        indexById(s.sections);
    }
    before("distributors");
    loadNamed(db, QStringLiteral("distributors"), s.distributors, false);
    before("vendors");
    loadNamed(db, QStringLiteral("vendors"), s.vendors, true);
    before("dealers");
    loadNamed(db, QStringLiteral("dealers"), s.dealers, false);
    before("items");
    {
        Statement st = selectColumns(db, QStringLiteral("items"),
                                     {QStringLiteral("id"), QStringLiteral("name"), QStringLiteral("name_lat")},
                                     QStringLiteral("ORDER BY rowid"));
        while (st.step())
            s.items.rows.push_back(ItemRow{st.optInt64(0), st.optText(1), st.optText(2)});
    }
    // The collation keys of every product name take as long as reading the link tables: the
    // sort runs on another thread meanwhile (it touches nothing but s.items). A future of
    // std::async waits for its task when destroyed, so a link table that throws cannot return
    // with the sort still running.
    std::future<void> itemsSorted = std::async(std::launch::async, [&items = s.items] {
        sortByName(items.rows, [](const ItemRow &r) { return r.name.value_or(QString()); });
        indexById(items);
    });
    before("items_to_sections");
    loadLinks(db, QStringLiteral("items_to_sections"), QStringLiteral("section_id"), s.itemsToSections);
    before("items_to_vendors");
    loadLinks(db, QStringLiteral("items_to_vendors"), QStringLiteral("vendor_id"), s.itemsToVendors);
    before("items_to_dealers");
    loadLinks(db, QStringLiteral("items_to_dealers"), QStringLiteral("dealer_id"), s.itemsToDealers);
    before("items_to_distributors");
    loadLinks(db, QStringLiteral("items_to_distributors"), QStringLiteral("distributor_id"), s.itemsToDistributors);
    itemsSorted.get(); // rethrows what the sort threw
}

ItemTexts readItemTexts(Database &db, qint64 itemId)
{
    Statement st = selectColumns(db, QStringLiteral("items"),
                                 {QStringLiteral("description"), QStringLiteral("form"), QStringLiteral("effect"),
                                  QStringLiteral("prescriptions"), QStringLiteral("dose"),
                                  QStringLiteral("side_effects"), QStringLiteral("CONTRA_INDICATION"),
                                  QStringLiteral("special_conditions"), QStringLiteral("storage_instructions")},
                                 QStringLiteral("WHERE id = ?1 ORDER BY rowid LIMIT 1"));
    st.bind(1, itemId);
    ItemTexts t;
    if (!st.step())
        return t;
    t.description = st.optText(0);
    t.form = st.optText(1);
    t.effect = st.optText(2);
    t.prescriptions = st.optText(3);
    t.dose = st.optText(4);
    t.sideEffects = st.optText(5);
    t.contraIndication = st.optText(6);
    t.specialConditions = st.optText(7);
    t.storageInstructions = st.optText(8);
    return t;
}

std::optional<QString> readDescription(Database &db, const QString &table, qint64 id)
{
    static const QStringList allowed = {QStringLiteral("sections"), QStringLiteral("vendors"),
                                        QStringLiteral("distributors"), QStringLiteral("dealers")};
    if (!allowed.contains(table))
        throw RamuxError(QStringLiteral("no description in table: %1").arg(table));
    Statement st = selectColumns(db, table, {QStringLiteral("description")},
                                 QStringLiteral("WHERE id = ?1 ORDER BY rowid LIMIT 1"));
    st.bind(1, id);
    if (!st.step())
        return std::nullopt;
    return st.optText(0);
}
