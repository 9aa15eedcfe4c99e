#include "search/indexstate.h"

#include "db/options.h"
#include "db/sqlitedb.h"
#include "search/storedrow.h"
#include "search/textindex.h"

namespace textindex {

namespace indexstate {

namespace {

qint64 countOf(Database &db, const QString &sql)
{
    Statement st = db.prepare(sql);
    return st.step() ? st.int64(0) : 0;
}

} // namespace

const QString &indexTable()
{
    static const QString name = QStringLiteral("search_text");
    return name;
}

const QString &stateTable()
{
    static const QString name = QStringLiteral("search_state");
    return name;
}

StateRow readState(Database &db)
{
    StateRow row;
    try {
        if (!db.hasTable(stateTable()) || !db.hasTable(indexTable()))
            return row;
        std::optional<Statement> st;
        bool withPosition = true;
        try {
            st.emplace(
                db.prepare(QStringLiteral("SELECT version, complete, next_id, lu_items FROM %1 WHERE id = 1")
                               .arg(stateTable())));
        } catch (const DbError &) {
            // A state table from before positions were recorded.
            withPosition = false;
            st.emplace(db.prepare(
                QStringLiteral("SELECT version, complete, next_id FROM %1 WHERE id = 1").arg(stateTable())));
        }
        if (!st->step())
            return row;
        row.present = true;
        row.version = st->optInt64(0).value_or(0);
        row.complete = st->optInt64(1).value_or(0) == 1;
        row.nextId = st->optInt64(2).value_or(kNoId);
        if (withPosition)
            row.position = st->optInt64(3);
    } catch (const DbError &) {
        row = StateRow(); // an unreadable state is no state
    }
    return row;
}

qint64 itemsPosition(Database &db)
{
    return readTablePosition(db, QStringLiteral("items"));
}

void createStateTable(Database &db)
{
    db.exec(QStringLiteral("CREATE TABLE %1 (id INTEGER PRIMARY KEY, version INTEGER, complete INTEGER,"
                           " next_id INTEGER, lu_items INTEGER)")
                .arg(stateTable()));
    Statement st = db.prepare(
        QStringLiteral("INSERT INTO %1 (id, version, complete, next_id, lu_items) VALUES (1, ?1, 0, ?2, ?3)")
            .arg(stateTable()));
    st.bind(1, qint64(kFormatVersion));
    st.bind(2, kNoId);
    st.bind(3, itemsPosition(db));
    st.run();
}

void recordBatch(Database &db, qint64 nextId, bool complete, qint64 position)
{
    Statement st =
        db.prepare(QStringLiteral("UPDATE %1 SET next_id = ?1, complete = ?2, lu_items = ?3 WHERE id = 1")
                       .arg(stateTable()));
    st.bind(1, nextId);
    st.bind(2, qint64(complete ? 1 : 0));
    st.bind(3, position);
    st.run();
}

bool isCurrentWith(Database &db, qint64 position)
{
    const StateRow row = readState(db);
    return row.present && row.version == kFormatVersion && row.position == position;
}

void recordPosition(Database &db, qint64 position)
{
    Statement st = db.prepare(QStringLiteral("UPDATE %1 SET lu_items = ?1 WHERE id = 1").arg(stateTable()));
    st.bind(1, position);
    st.run();
}

} // namespace indexstate

using namespace indexstate;

State state(Database &db)
{
    const StateRow row = readState(db);
    if (!row.present || row.version != kFormatVersion)
        return State::Missing;
    return row.complete ? State::Complete : State::Building;
}

bool isUsable(Database &db)
{
    return state(db) == State::Complete;
}

bool needsBuild(Database &db)
{
    const StateRow row = readState(db);
    if (!row.present || row.version != kFormatVersion || !row.complete)
        return true;
    try {
        // Products changed by a writer that did not keep the index current (or before the
        // index recorded where it stood): the counts alone would miss an edited text.
        if (row.position != itemsPosition(db))
            return true;
        const QString &table = indexTable();
        const qint64 indexed = countOf(db, QStringLiteral("SELECT count(*) FROM %1_docsize").arg(table));
        const qint64 products =
            countOf(db, QStringLiteral("SELECT count(*) FROM items WHERE id IS NOT NULL"));
        const qint64 content = countOf(db, QStringLiteral("SELECT count(*) FROM %1").arg(detail::termsTable()));
        countOf(db, QStringLiteral("SELECT count(*) FROM %1_segdir").arg(table));
        return indexed != products || content != products;
    } catch (const DbError &) {
        return true; // shadow tables that do not answer: rebuild
    }
}

void markStale(Database &db)
{
    if (!db.hasTable(stateTable()))
        return;
    Statement st =
        db.prepare(QStringLiteral("UPDATE %1 SET complete = 0, next_id = ?1 WHERE id = 1").arg(stateTable()));
    st.bind(1, kNoId);
    st.run();
}

} // namespace textindex
