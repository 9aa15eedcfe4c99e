// Pairing the structured product rows by product and place.
#include "content/structuredpublish.h"

#include "db/schema.h"

#include <QHash>
#include <QPair>
#include <QSet>
#include <algorithm>

namespace structuredsource {

bool isItemOrderTable(const QString &table)
{
    return schema::isStructuredTable(table) && table != QLatin1String("species");
}

std::vector<RowChange> planByItemOrder(const ContentTable &wanted, const ContentTable &current,
                                       const std::function<qint64()> &highestId)
{
    const int itemAt = wanted.columnIndex(QStringLiteral("item_id"));
    const int ordAt = wanted.columnIndex(QStringLiteral("ord"));
    auto keyOf = [&](const ContentRow &row, bool *ok) {
        bool a = false, b = false;
        const qint64 item = row.values.value(itemAt).value_or(QString()).toLongLong(&a);
        const qint64 ord = row.values.value(ordAt).value_or(QString()).toLongLong(&b);
        *ok = a && b;
        return qMakePair(item, ord);
    };
    std::vector<RowChange> plan;
    QHash<QPair<qint64, qint64>, const ContentRow *> have;
    std::vector<qint64> extra; // duplicates and rows without a readable key
    for (const ContentRow &row : current.rows) {
        bool ok = false;
        const auto key = keyOf(row, &ok);
        if (!ok || have.contains(key))
            extra.push_back(row.id);
        else
            have.insert(key, &row);
    }
    qint64 nextId = -1;
    QSet<QPair<qint64, qint64>> kept;
    for (const ContentRow &row : wanted.rows) {
        bool ok = false;
        const auto key = keyOf(row, &ok);
        if (!ok || kept.contains(key))
            continue; // the reader numbers every row; nothing else reaches here
        kept.insert(key);
        const auto it = have.constFind(key);
        if (it == have.constEnd()) {
            if (nextId < 0)
                nextId = highestId();
            plan.push_back({RowChange::Kind::Insert, ++nextId, {}, &row});
            continue;
        }
        RowChange change{RowChange::Kind::Update, (*it)->id, {}, &row};
        for (int i = 0; i < wanted.columns.size(); ++i) {
            if (row.values.value(i) != (*it)->values.value(i))
                change.columns.push_back(i);
        }
        if (!change.columns.empty())
            plan.push_back(std::move(change));
    }
    for (auto it = have.constBegin(); it != have.constEnd(); ++it) {
        if (!kept.contains(it.key()))
            extra.push_back((*it)->id);
    }
    std::sort(extra.begin(), extra.end());
    for (qint64 id : extra)
        plan.push_back({RowChange::Kind::Remove, id, {}, nullptr});
    return plan;
}

} // namespace structuredsource
