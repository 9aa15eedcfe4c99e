#include "db/emptyvalues.h"

#include "db/schema.h"
#include "db/sqlitedb.h"

#include <vector>

namespace structuredvalues {

namespace {

struct TableFix
{
    QString quotedTable;
    QStringList sets;
    QString anyEmpty;
};

// A bit of the file's user_version: once the tables have no '' left, this program's sync never
// writes one again, so the window's later openings skip the scan (a full read of four tables).
constexpr qint64 kClearedBit = 1;

qint64 userVersion(Database &db)
{
    Statement st = db.prepare(QStringLiteral("PRAGMA user_version"));
    return st.step() ? st.int64(0) : 0;
}

void markCleared(Database &db, qint64 version)
{
    try {
        db.exec(QStringLiteral("PRAGMA user_version = %1").arg(version | kClearedBit));
    } catch (const DbError &) {
        // A file it cannot write is scanned again next time; nothing in it changes.
    }
}

} // namespace

int clearEmptyValues(Database &db, Scan scan)
{
    const qint64 version = userVersion(db);
    if (scan == Scan::OncePerFile && (version & kClearedBit))
        return 0;
    std::vector<TableFix> pending;
    for (const QString &table : schema::structuredTables()) {
        if (!db.hasTable(table))
            continue;
        TableFix fix;
        fix.quotedTable = quoteIdentifier(table);
        QStringList tests;
        // Names come from the file's own declaration, quoted; the key is never empty text.
        for (const QString &column : db.columns(table)) {
            if (column.compare(QLatin1String("id"), Qt::CaseInsensitive) == 0)
                continue;
            const QString quoted = quoteIdentifier(column);
            fix.sets << QStringLiteral("%1 = NULLIF(%1, '')").arg(quoted);
            tests << QStringLiteral("%1 = ''").arg(quoted);
        }
        if (tests.isEmpty())
            continue;
        fix.anyEmpty = tests.join(QLatin1String(" OR "));
        Statement probe = db.prepare(
            QStringLiteral("SELECT 1 FROM %1 WHERE %2 LIMIT 1").arg(fix.quotedTable, fix.anyEmpty));
        if (probe.step())
            pending.push_back(std::move(fix));
    }
    if (pending.empty()) {
        markCleared(db, version);
        return 0;
    }
    int changed = 0;
    Transaction tx(db);
    for (const TableFix &fix : pending) {
        db.exec(QStringLiteral("UPDATE %1 SET %2 WHERE %3")
                    .arg(fix.quotedTable, fix.sets.join(QLatin1String(", ")), fix.anyEmpty));
        changed += db.changes();
    }
    tx.commit();
    markCleared(db, version);
    return changed;
}

} // namespace structuredvalues
