#include "content/clearedcolumns.h"

#include "db/schema.h"
#include "db/sqlitedb.h"

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcContent)

namespace {

QString literal(const QString &text)
{
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

const QString kRecordTable =
    QStringLiteral("CREATE TABLE cleared_columns (tbl TEXT NOT NULL, id INTEGER NOT NULL, col TEXT NOT NULL,"
                   " PRIMARY KEY (tbl, id, col)) WITHOUT ROWID");

// A tombstone means clients deleted the row: if it comes back they append it with NULL in every
// column not sent, so the old marks would only turn NULL into empty text there.
const QString kForgetTrigger =
    QStringLiteral("CREATE TRIGGER tombstones_forget_cleared AFTER INSERT ON tombstones BEGIN"
                   " DELETE FROM cleared_columns WHERE tbl = NEW.tbl AND id = NEW.id; END");

struct Trigger
{
    QString name;
    QString sql;
};

QList<Trigger> tableTriggers(Database &db, const QString &table)
{
    QStringList columns;
    for (const QString &c : db.columns(table)) {
        if (c.compare(QLatin1String("id"), Qt::CaseInsensitive) != 0 &&
            c.compare(QLatin1String("last_update"), Qt::CaseInsensitive) != 0)
            columns.append(c);
    }
    const QString t = quoteIdentifier(table);
    const QString tbl = literal(table);
    QStringList whenCleared, markCleared, markReplaced, markRemoved;
    for (const QString &c : columns) {
        const QString q = quoteIdentifier(c);
        whenCleared.append(QStringLiteral("(OLD.%1 IS NOT NULL AND NEW.%1 IS NULL)").arg(q));
        markCleared.append(
            QStringLiteral(" INSERT OR IGNORE INTO cleared_columns (tbl, id, col) SELECT %1, NEW.id, %2"
                           " WHERE OLD.%3 IS NOT NULL AND NEW.%3 IS NULL;")
                .arg(tbl, literal(c), q));
        // INSERT OR REPLACE removes the old row without the delete trigger: compare with it first.
        markReplaced.append(
            QStringLiteral(" INSERT OR IGNORE INTO cleared_columns (tbl, id, col) SELECT %1, NEW.id, %2"
                           " FROM %3 WHERE id = NEW.id AND %4 IS NOT NULL AND NEW.%4 IS NULL;")
                .arg(tbl, literal(c), t, q));
        // A row deleted without a tombstone lives on at clients: should it come back, its
        // columns that had values must be cleared there.
        markRemoved.append(
            QStringLiteral(" INSERT OR IGNORE INTO cleared_columns (tbl, id, col) SELECT %1, OLD.id, %2"
                           " WHERE OLD.%3 IS NOT NULL;")
                .arg(tbl, literal(c), q));
    }
    if (columns.isEmpty())
        return {};
    const auto name = [&](const char *suffix) { return table + QLatin1String(suffix); };
    return {
        {name("_cleared"),
         QStringLiteral("CREATE TRIGGER %1 AFTER UPDATE ON %2 FOR EACH ROW WHEN %3 BEGIN%4 END")
             .arg(quoteIdentifier(name("_cleared")), t, whenCleared.join(QLatin1String(" OR ")),
                  markCleared.join(QString()))},
        {name("_replaced"), QStringLiteral("CREATE TRIGGER %1 BEFORE INSERT ON %2 FOR EACH ROW"
                                           " WHEN EXISTS (SELECT 1 FROM %2 WHERE id = NEW.id) BEGIN%3 END")
                                .arg(quoteIdentifier(name("_replaced")), t, markReplaced.join(QString()))},
        {name("_removed"), QStringLiteral("CREATE TRIGGER %1 AFTER DELETE ON %2 FOR EACH ROW BEGIN%3 END")
                               .arg(quoteIdentifier(name("_removed")), t, markRemoved.join(QString()))},
    };
}

QString storedSql(Database &db, const QString &type, const QString &name)
{
    Statement st = db.prepare(QStringLiteral("SELECT sql FROM sqlite_master WHERE type = ?1 AND name = ?2"));
    st.bind(1, type).bind(2, name);
    return st.step() ? st.text(0) : QString();
}

} // namespace

namespace clearedcolumns {

void ensureTracking(Database &db)
{
    QList<Trigger> wanted{{QStringLiteral("tombstones_forget_cleared"), kForgetTrigger}};
    for (const QString &table : schema::servedTables()) {
        if (db.hasTable(table))
            wanted.append(tableTriggers(db, table));
    }
    const bool haveTable =
        !storedSql(db, QStringLiteral("table"), QStringLiteral("cleared_columns")).isEmpty();
    QList<Trigger> missing;
    for (const Trigger &t : wanted) {
        if (storedSql(db, QStringLiteral("trigger"), t.name) != t.sql)
            missing.append(t);
    }
    if (haveTable && missing.isEmpty())
        return;
    try {
        db.exec(QStringLiteral("BEGIN IMMEDIATE"));
        try {
            // Another process may have done it meanwhile: decide again under the write lock.
            if (storedSql(db, QStringLiteral("table"), QStringLiteral("cleared_columns")).isEmpty())
                db.exec(kRecordTable);
            for (const Trigger &t : missing) {
                if (storedSql(db, QStringLiteral("trigger"), t.name) == t.sql)
                    continue;
                db.exec(QStringLiteral("DROP TRIGGER IF EXISTS %1").arg(quoteIdentifier(t.name)));
                db.exec(t.sql);
            }
            db.exec(QStringLiteral("COMMIT"));
        } catch (...) {
            try {
                db.exec(QStringLiteral("ROLLBACK"));
            } catch (...) {
            }
            throw;
        }
    } catch (const RamuxError &e) {
        // A read-only file still serves; only clearing a value will not reach clients.
        qCWarning(lcContent).noquote() << "cannot add the tracking of cleared columns:" << e.message()
                                       << "- a value set to NULL will stay on clients";
    }
}

Lookup::Lookup(Database &db, const QString &table) : m_db(db), m_table(table)
{
    if (!db.hasTable(QStringLiteral("cleared_columns")))
        return;
    Statement st = db.prepare(QStringLiteral("SELECT 1 FROM cleared_columns WHERE tbl = ?1 LIMIT 1"));
    st.bind(1, table);
    m_any = st.step();
}

QStringList Lookup::columns(qint64 id)
{
    QStringList out;
    if (!m_any)
        return out;
    if (!m_select.handle())
        m_select = m_db.prepare(QStringLiteral("SELECT col FROM cleared_columns WHERE tbl = ?1 AND id = ?2"));
    m_select.reset();
    m_select.bind(1, m_table).bind(2, id);
    while (m_select.step())
        out.append(m_select.text(0));
    return out;
}

} // namespace clearedcolumns
