// Counting what a publish would make disappear, table by table.
#include "content/publishguard.h"

#include "db/schema.h"

#include <QSet>

namespace {

// A table's keys: ids, or for a link table its (product, target) pairs, which survive a
// rewrite of the rows in another order.
QSet<QPair<qint64, qint64>> keysOf(const ContentTable &table, const QString &targetColumn)
{
    QSet<QPair<qint64, qint64>> keys;
    const int itemAt = table.columnIndex(QStringLiteral("item_id"));
    const int targetAt = targetColumn.isEmpty() ? -1 : table.columnIndex(targetColumn);
    for (const ContentRow &row : table.rows) {
        if (targetAt < 0 || itemAt < 0) {
            keys.insert(qMakePair(row.id, qint64(0)));
            continue;
        }
        bool a = false, b = false;
        const qint64 item = row.values.value(itemAt).value_or(QString()).toLongLong(&a);
        const qint64 target = row.values.value(targetAt).value_or(QString()).toLongLong(&b);
        if (a && b)
            keys.insert(qMakePair(item, target));
    }
    return keys;
}

} // namespace

std::vector<MassDeletion> massDeletions(const ContentSet &wanted, const ContentSet &current)
{
    std::vector<MassDeletion> found;
    for (const ContentTable &have : current.tables) {
        if (qint64(have.rows.size()) <= kMassDeleteFloor)
            continue;
        const ContentTable *want = wanted.findTable(have.name);
        const QString target = schema::linkTargetColumn(have.name);
        const QSet<QPair<qint64, qint64>> before = keysOf(have, target);
        const QSet<QPair<qint64, qint64>> after =
            want ? keysOf(*want, target) : QSet<QPair<qint64, qint64>>();
        qint64 gone = 0;
        for (const auto &key : before)
            gone += after.contains(key) ? 0 : 1;
        if (2 * gone > qint64(before.size()))
            found.push_back({have.name, qint64(before.size()), gone});
    }
    return found;
}

QString massDeletionMessage(const MassDeletion &deletion)
{
    const bool links = !schema::linkTargetColumn(deletion.table).isEmpty();
    return QStringLiteral("%1: публикация удалит %2 из %3 %4, больше половины; ничего не изменено. "
                          "Если так и задумано, повторите с --allow-mass-delete")
        .arg(deletion.table)
        .arg(deletion.gone)
        .arg(deletion.live)
        .arg(links ? QStringLiteral("связей") : QStringLiteral("записей"));
}
