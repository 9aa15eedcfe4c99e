// The update server's content database.
#include "content/contentdb.h"

#include "content/clearedcolumns.h"
#include "db/schema.h"

#include <QFileInfo>
#include <QLoggingCategory>
#include <algorithm>
#include <sqlcipher/sqlite3.h>

Q_LOGGING_CATEGORY(lcContent, "ramux.content")

namespace {

const QString kCounterKey = QStringLiteral("stamp_counter");

void addStampColumn(Database &db, const QString &table)
{
    db.exec(QStringLiteral("ALTER TABLE %1 ADD COLUMN last_update INTEGER NOT NULL DEFAULT 0")
                .arg(quoteIdentifier(table)));
    db.exec(QStringLiteral("CREATE INDEX %1 ON %2 (last_update, id)")
                .arg(quoteIdentifier(table + QStringLiteral("_by_stamp")), quoteIdentifier(table)));
}

void createContentSchema(Database &db)
{
    // The reference tables exactly as the client declares them, plus the stamp column.
    db.exec(schema::createStatements());
    db.exec(schema::structuredStatements());
    db.exec(QStringLiteral("DROP TABLE options"));
    db.exec(QStringLiteral("DROP TABLE sync_positions"));
    for (const QString &table : schema::servedTables())
        addStampColumn(db, table);
    db.exec(QStringLiteral(
        "CREATE TABLE tombstones (tbl TEXT NOT NULL, id INTEGER NOT NULL, last_update INTEGER NOT NULL,"
        " PRIMARY KEY (tbl, id));\n"
        "CREATE INDEX tombstones_by_stamp ON tombstones (tbl, last_update, id);\n"
        "CREATE TABLE meta (key TEXT PRIMARY KEY, value TEXT);\n"));
}

std::optional<QByteArray> rawText(sqlite3_stmt *stmt, int column)
{
    if (sqlite3_column_type(stmt, column) == SQLITE_NULL)
        return std::nullopt;
    const auto *data = reinterpret_cast<const char *>(sqlite3_column_text(stmt, column));
    const int size = sqlite3_column_bytes(stmt, column);
    return QByteArray(data, size);
}

bool pageOrder(const ContentPageRow &a, const ContentPageRow &b)
{
    return a.stamp != b.stamp ? a.stamp < b.stamp : a.id < b.id;
}

// What a row adds to a get_table answer, near enough for a budget far below the clients' cap:
// the ROW element with its attributes, and each value sent with its two tags.
constexpr qint64 kRowOverhead = 64;
qint64 tagBytes(const QString &column)
{
    return 2 * column.size() + 5;
}

qint64 rowBytes(const ContentPageRow &row, const QStringList &columns)
{
    qint64 bytes = kRowOverhead;
    for (size_t i = 0; i < row.values.size() && i < size_t(columns.size()); ++i) {
        if (row.values[i])
            bytes += row.values[i]->size() + tagBytes(columns.at(qsizetype(i)));
    }
    return bytes;
}

// A content file written before the structured tables existed gets them, empty. A file that
// cannot be written serves the nine tables alone, as it did.
void addStructuredTables(Database &db)
{
    QStringList missing;
    for (const QString &table : schema::structuredTables()) {
        if (!db.hasTable(table))
            missing.append(table);
    }
    if (missing.isEmpty())
        return;
    try {
        db.exec(QStringLiteral("BEGIN IMMEDIATE"));
        try {
            // Decided again under the write lock: another process may have done it meanwhile.
            missing.removeIf([&](const QString &table) { return db.hasTable(table); });
            db.exec(schema::structuredStatements());
            db.exec(QStringLiteral("DROP TABLE IF EXISTS sync_positions"));
            for (const QString &table : missing)
                addStampColumn(db, table);
            db.exec(QStringLiteral("COMMIT"));
        } catch (...) {
            try {
                db.exec(QStringLiteral("ROLLBACK"));
            } catch (...) {
            }
            throw;
        }
    } catch (const RamuxError &e) {
        qCWarning(lcContent).noquote() << "cannot add the structured tables:" << e.message()
                                       << "- only the nine reference tables are served";
    }
}

void warnOversized(const ContentDatabase::OversizedRun &run, qint64 budget)
{
    qCWarning(lcContent).noquote()
        << QStringLiteral("WARNING: table %1: the %2 rows stamped %3 make %4 bytes in one page, over the "
                          "page budget of %5 bytes, and a run of equal stamps cannot be split: give the "
                          "rows stamps of their own, or clients may refuse the page")
               .arg(run.table)
               .arg(run.rows)
               .arg(run.stamp)
               .arg(run.bytes)
               .arg(budget);
}

} // namespace

void ContentDatabase::create(const QString &path, const ContentSet &content)
{
    if (QFileInfo::exists(path))
        throw RamuxError(QStringLiteral("Файл уже существует: %1").arg(path));
    Database db;
    db.open(path, QByteArray(), Database::OpenMode::Create);
    Transaction tx(db);
    createContentSchema(db);
    qint64 counter = content.highestStamp();
    for (const ContentTable &t : content.tables) {
        if (!schema::isServedTable(t.name))
            throw RamuxError(QStringLiteral("Нет таблицы %1").arg(t.name));
        QStringList names{QStringLiteral("id"), QStringLiteral("last_update")};
        QStringList marks{QStringLiteral("?1"), QStringLiteral("?2")};
        for (int i = 0; i < t.columns.size(); ++i) {
            const auto declared = db.findColumn(t.name, t.columns.at(i));
            if (!declared || declared->compare(QLatin1String("last_update"), Qt::CaseInsensitive) == 0 ||
                declared->compare(QLatin1String("id"), Qt::CaseInsensitive) == 0)
                throw RamuxError(QStringLiteral("Таблица %1 не имеет поля %2").arg(t.name, t.columns.at(i)));
            names.append(quoteIdentifier(*declared));
            marks.append(QStringLiteral("?%1").arg(i + 3));
        }
        Statement insert = db.prepare(
            QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                .arg(quoteIdentifier(t.name), names.join(QLatin1Char(',')), marks.join(QLatin1Char(','))));
        for (const ContentRow &row : t.rows) {
            insert.reset();
            insert.bind(1, row.id);
            insert.bind(2, row.stamp > 0 ? row.stamp : ++counter);
            for (int i = 0; i < t.columns.size(); ++i)
                insert.bind(i + 3, row.values.value(i));
            insert.run();
        }
    }
    Statement meta = db.prepare(QStringLiteral("INSERT OR REPLACE INTO meta (key, value) VALUES (?1, ?2)"));
    for (auto it = content.meta.constBegin(); it != content.meta.constEnd(); ++it) {
        if (it.key() == kCounterKey)
            continue;
        meta.reset();
        meta.bind(1, it.key());
        meta.bind(2, it.value());
        meta.run();
    }
    meta.reset();
    meta.bind(1, kCounterKey);
    meta.bind(2, QString::number(counter));
    meta.run();
    tx.commit();
    db.close();

    ContentDatabase created(path); // adds the tracking of cleared columns
    for (const OversizedRun &run : created.oversizedRuns())
        warnOversized(run, kPageByteBudget);
}

ContentDatabase::ContentDatabase(const QString &path)
{
    m_db.open(path, QByteArray(), Database::OpenMode::Existing);
    if (!m_db.hasTable(QStringLiteral("meta")) || !m_db.hasTable(QStringLiteral("tombstones")))
        throw RamuxError(QStringLiteral("Не база содержимого сервера: %1").arg(path));
    for (const QString &table : schema::dataTables())
        tableColumns(table);
    addStructuredTables(m_db);
    clearedcolumns::ensureTracking(m_db);
}

const QStringList &ContentDatabase::tableColumns(const QString &table)
{
    auto it = m_columns.constFind(table);
    if (it != m_columns.constEnd())
        return *it;
    if (!schema::isServedTable(table))
        throw RamuxError(QStringLiteral("Нет таблицы %1").arg(table));
    QStringList columns = m_db.columns(table); // throws when the table is missing
    bool stamped = false;
    columns.removeIf([&](const QString &c) {
        if (c.compare(QLatin1String("last_update"), Qt::CaseInsensitive) == 0) {
            stamped = true;
            return true;
        }
        return c.compare(QLatin1String("id"), Qt::CaseInsensitive) == 0;
    });
    if (!stamped)
        throw RamuxError(QStringLiteral("Таблица %1 без поля last_update").arg(table));
    QStringList quoted;
    for (const QString &c : columns)
        quoted.append(quoteIdentifier(c));
    m_selectSql.insert(table,
                       quoted.isEmpty() ? QString() : QLatin1Char(',') + quoted.join(QLatin1Char(',')));
    return *m_columns.insert(table, columns);
}

ContentPage ContentDatabase::readPage(const QString &table, qint64 after, int limit, qint64 byteBudget)
{
    ContentPage page;
    page.columns = tableColumns(table);
    limit = std::max(1, limit);
    const QString select = QStringLiteral("SELECT id, last_update") + m_selectSql.value(table) +
                           QStringLiteral(" FROM ") + quoteIdentifier(table);
    const int columnCount = int(page.columns.size());

    auto readLive = [&](Statement &st, std::vector<ContentPageRow> &out) {
        sqlite3_stmt *h = st.handle();
        while (st.step()) {
            ContentPageRow row;
            row.id = sqlite3_column_int64(h, 0);
            row.stamp = sqlite3_column_int64(h, 1);
            row.values.reserve(size_t(columnCount));
            for (int i = 0; i < columnCount; ++i)
                row.values.push_back(rawText(h, i + 2));
            out.push_back(std::move(row));
        }
    };
    auto readDeleted = [&](Statement &st, std::vector<ContentPageRow> &out) {
        while (st.step()) {
            ContentPageRow row;
            row.id = st.int64(0);
            row.stamp = st.int64(1);
            row.deleted = true;
            out.push_back(std::move(row));
        }
    };

    std::vector<ContentPageRow> live;
    {
        Statement st = m_db.prepare(
            select + QStringLiteral(" WHERE last_update > ?1 ORDER BY last_update, id LIMIT ?2"));
        st.bind(1, after).bind(2, limit);
        readLive(st, live);
    }
    std::vector<ContentPageRow> deleted;
    {
        Statement st = m_db.prepare(QStringLiteral("SELECT id, last_update FROM tombstones WHERE tbl = ?3 "
                                                   "AND last_update > ?1 ORDER BY last_update, id LIMIT ?2"));
        st.bind(1, after).bind(2, limit).bind(3, table);
        readDeleted(st, deleted);
    }
    const bool liveFull = live.size() == size_t(limit);
    const bool deletedFull = deleted.size() == size_t(limit);
    const qint64 liveLast = live.empty() ? 0 : live.back().stamp;
    const qint64 deletedLast = deleted.empty() ? 0 : deleted.back().stamp;
    const qint64 liveLastId = live.empty() ? 0 : live.back().id;
    const qint64 deletedLastId = deleted.empty() ? 0 : deleted.back().id;

    std::vector<ContentPageRow> merged;
    merged.reserve(live.size() + deleted.size());
    std::merge(std::make_move_iterator(live.begin()), std::make_move_iterator(live.end()),
               std::make_move_iterator(deleted.begin()), std::make_move_iterator(deleted.end()),
               std::back_inserter(merged), pageOrder);
    if (merged.size() >= size_t(limit)) {
        // Never end a page inside a run of equal stamps: the client asks for the next page
        // with "stamp greater than the last one" and would skip the rest of the run.
        const qint64 cutoff = merged[size_t(limit) - 1].stamp;
        while (!merged.empty() && merged.back().stamp > cutoff)
            merged.pop_back();
        bool grew = false;
        if (liveFull && liveLast == cutoff) {
            Statement st =
                m_db.prepare(select + QStringLiteral(" WHERE last_update = ?1 AND id > ?2 ORDER BY id"));
            st.bind(1, cutoff).bind(2, liveLastId);
            const size_t before = merged.size();
            readLive(st, merged);
            grew = grew || merged.size() > before;
        }
        if (deletedFull && deletedLast == cutoff) {
            Statement st = m_db.prepare(QStringLiteral("SELECT id, last_update FROM tombstones WHERE tbl = "
                                                       "?3 AND last_update = ?1 AND id > ?2 ORDER BY id"));
            st.bind(1, cutoff).bind(2, deletedLastId).bind(3, table);
            const size_t before = merged.size();
            readDeleted(st, merged);
            grew = grew || merged.size() > before;
        }
        if (grew)
            std::sort(merged.begin(), merged.end(), pageOrder);
    }

    clearedcolumns::Lookup cleared(m_db, table);
    if (cleared.any()) {
        for (ContentPageRow &row : merged) {
            if (row.deleted)
                continue;
            for (const QString &column : cleared.columns(row.id)) {
                const auto match =
                    std::find_if(page.columns.begin(), page.columns.end(), [&](const QString &c) {
                        return c.compare(column, Qt::CaseInsensitive) == 0;
                    });
                const auto i = match - page.columns.begin();
                if (match != page.columns.end() && !row.values[size_t(i)])
                    row.values[size_t(i)] = QByteArray();
            }
        }
    }

    // End the page at the first run boundary past the budget; the client goes on after its stamp.
    qint64 used = 0, runBytes = 0;
    size_t end = 0;
    for (; end < merged.size(); ++end) {
        if (end > 0 && merged[end].stamp != merged[end - 1].stamp) {
            if (used > byteBudget)
                break;
            runBytes = 0;
        }
        const qint64 bytes = rowBytes(merged[end], page.columns);
        used += bytes;
        runBytes += bytes;
    }
    merged.erase(merged.begin() + qsizetype(end), merged.end());
    if (runBytes > byteBudget) {
        const qint64 stamp = merged.back().stamp;
        const auto rows = std::count_if(merged.begin(), merged.end(),
                                        [stamp](const ContentPageRow &r) { return r.stamp == stamp; });
        warnOversized({table, stamp, qint64(rows), runBytes}, byteBudget);
    }
    page.rows = std::move(merged);
    return page;
}

std::vector<ContentDatabase::OversizedRun> ContentDatabase::oversizedRuns(qint64 byteBudget)
{
    std::vector<OversizedRun> out;
    for (const QString &table : schema::servedTables()) {
        if (!serves(table))
            continue;
        QStringList terms{QString::number(kRowOverhead)};
        for (const QString &c : tableColumns(table))
            terms.append(QStringLiteral("coalesce(length(CAST(%1 AS BLOB)) + %2, 0)")
                             .arg(quoteIdentifier(c))
                             .arg(tagBytes(c)));
        Statement st = m_db.prepare(
            QStringLiteral(
                "SELECT last_update, count(*), sum(bytes) FROM (SELECT last_update, %1 AS bytes FROM %2"
                " UNION ALL SELECT last_update, %3 FROM tombstones WHERE tbl = ?1)"
                " GROUP BY last_update HAVING sum(bytes) > ?2 ORDER BY last_update")
                .arg(terms.join(QLatin1String(" + ")), quoteIdentifier(table))
                .arg(kRowOverhead));
        st.bind(1, table).bind(2, byteBudget);
        while (st.step())
            out.push_back({table, st.int64(0), st.int64(1), st.int64(2)});
    }
    return out;
}

qint64 ContentDatabase::nextStamp()
{
    // Above every stamp in the file, whatever the counter says: a hand-edited file must not
    // make two changes share a stamp.
    qint64 counter = meta(kCounterKey).value_or(QString()).toLongLong();
    for (const QString &table : schema::servedTables()) {
        if (serves(table))
            counter = std::max(counter, highestStamp(table));
    }
    ++counter;
    setMeta(kCounterKey, QString::number(counter));
    return counter;
}

qint64 ContentDatabase::upsertRow(const QString &table, qint64 id, const QHash<QString, FieldValue> &values)
{
    const QStringList &columns = tableColumns(table);
    QStringList names;
    QList<FieldValue> bound;
    for (auto it = values.constBegin(); it != values.constEnd(); ++it) {
        const auto match = std::find_if(columns.begin(), columns.end(), [&](const QString &c) {
            return c.compare(it.key(), Qt::CaseInsensitive) == 0;
        });
        if (match == columns.end())
            throw RamuxError(QStringLiteral("Таблица %1 не имеет поля %2").arg(table, it.key()));
        names.append(quoteIdentifier(*match));
        bound.append(it.value());
    }
    Transaction tx(m_db);
    const qint64 stamp = nextStamp();
    Statement exists =
        m_db.prepare(QStringLiteral("SELECT 1 FROM %1 WHERE id = ?1").arg(quoteIdentifier(table)));
    exists.bind(1, id);
    const bool found = exists.step();
    Statement write;
    if (found) {
        QString sets = QStringLiteral("last_update = ?1");
        for (int i = 0; i < names.size(); ++i)
            sets += QStringLiteral(", %1 = ?%2").arg(names.at(i)).arg(i + 3);
        write =
            m_db.prepare(QStringLiteral("UPDATE %1 SET %2 WHERE id = ?2").arg(quoteIdentifier(table), sets));
    } else {
        QString marks;
        for (int i = 0; i < names.size(); ++i)
            marks += QStringLiteral(", ?%1").arg(i + 3);
        write = m_db.prepare(
            QStringLiteral("INSERT INTO %1 (last_update, id%2) VALUES (?1, ?2%3)")
                .arg(quoteIdentifier(table),
                     names.isEmpty() ? QString() : QLatin1Char(',') + names.join(QLatin1Char(',')), marks));
    }
    write.bind(1, stamp).bind(2, id);
    for (int i = 0; i < bound.size(); ++i)
        write.bind(i + 3, bound.at(i));
    write.run();
    Statement drop = m_db.prepare(QStringLiteral("DELETE FROM tombstones WHERE tbl = ?1 AND id = ?2"));
    drop.bind(1, table).bind(2, id);
    drop.run();
    tx.commit();
    return stamp;
}

qint64 ContentDatabase::deleteRow(const QString &table, qint64 id)
{
    tableColumns(table);
    Transaction tx(m_db);
    Statement del = m_db.prepare(QStringLiteral("DELETE FROM %1 WHERE id = ?1").arg(quoteIdentifier(table)));
    del.bind(1, id);
    del.run();
    if (m_db.changes() == 0)
        return 0;
    const qint64 stamp = nextStamp();
    Statement tomb = m_db.prepare(
        QStringLiteral("INSERT OR REPLACE INTO tombstones (tbl, id, last_update) VALUES (?1, ?2, ?3)"));
    tomb.bind(1, table).bind(2, id).bind(3, stamp);
    tomb.run();
    tx.commit();
    return stamp;
}

std::optional<QString> ContentDatabase::meta(const QString &key)
{
    Statement st = m_db.prepare(QStringLiteral("SELECT value FROM meta WHERE key = ?1"));
    st.bind(1, key);
    if (!st.step())
        return std::nullopt;
    return st.optText(0);
}

void ContentDatabase::setMeta(const QString &key, const std::optional<QString> &value)
{
    if (!value) {
        Statement st = m_db.prepare(QStringLiteral("DELETE FROM meta WHERE key = ?1"));
        st.bind(1, key);
        st.run();
        return;
    }
    Statement st = m_db.prepare(QStringLiteral("INSERT OR REPLACE INTO meta (key, value) VALUES (?1, ?2)"));
    st.bind(1, key).bind(2, *value);
    st.run();
}

ContentSet ContentDatabase::readAll()
{
    // One read transaction (unless the caller holds one): a publish committing between two
    // tables would otherwise give products without their links.
    struct ReadTransaction
    {
        Database &db;
        bool own = sqlite3_get_autocommit(db.handle()) != 0;
        explicit ReadTransaction(Database &d) : db(d)
        {
            if (own)
                db.exec(QStringLiteral("BEGIN"));
        }
        ~ReadTransaction()
        {
            if (own)
                sqlite3_exec(db.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
        }
    } transaction(m_db);
    ContentSet set = ContentSet::empty();
    for (ContentTable &t : set.tables) {
        if (!serves(t.name))
            continue; // an older file that could not get the structured tables: none of their rows
        const QStringList &columns = tableColumns(t.name);
        QStringList quoted;
        for (const QString &c : t.columns) {
            if (!columns.contains(c, Qt::CaseInsensitive))
                throw RamuxError(QStringLiteral("Таблица %1 без поля %2").arg(t.name, c));
            quoted.append(quoteIdentifier(c));
        }
        Statement st = m_db.prepare(
            QStringLiteral("SELECT id, last_update%1 FROM %2 ORDER BY id")
                .arg(quoted.isEmpty() ? QString() : QLatin1Char(',') + quoted.join(QLatin1Char(',')),
                     quoteIdentifier(t.name)));
        while (st.step()) {
            ContentRow &row = t.addRow(st.int64(0));
            row.stamp = st.int64(1);
            for (int i = 0; i < t.columns.size(); ++i)
                row.values[i] = st.optText(i + 2);
        }
    }
    Statement meta = m_db.prepare(QStringLiteral("SELECT key, value FROM meta"));
    while (meta.step()) {
        if (meta.text(0) != kCounterKey && !meta.isNull(1))
            set.meta.insert(meta.text(0), meta.text(1));
    }
    return set;
}

bool ContentDatabase::serves(const QString &table)
{
    if (schema::isDataTable(table))
        return true;
    if (!schema::isStructuredTable(table))
        return false;
    auto it = m_present.constFind(table);
    if (it == m_present.constEnd())
        it = m_present.insert(table, m_db.hasTable(table));
    return *it;
}

qint64 ContentDatabase::highestStamp(const QString &table)
{
    tableColumns(table);
    Statement st =
        m_db.prepare(QStringLiteral("SELECT max(coalesce((SELECT max(last_update) FROM %1), 0),"
                                    " coalesce((SELECT max(last_update) FROM tombstones WHERE tbl = ?1), 0))")
                         .arg(quoteIdentifier(table)));
    st.bind(1, table);
    st.step();
    return st.int64(0);
}
