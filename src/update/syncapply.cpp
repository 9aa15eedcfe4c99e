#include "update/syncapply.h"

#include "db/options.h"
#include "db/schema.h"
#include "db/sqlitedb.h"
#include "search/textindex.h"

#include <QLoggingCategory>
#include <algorithm>
#include <limits>

Q_LOGGING_CATEGORY(lcSyncApply, "ramux.update.sync")

SyncCounters &SyncCounters::operator+=(const SyncCounters &other)
{
    edited += other.edited;
    deleted += other.deleted;
    added += other.added;
    return *this;
}

std::optional<qint64> readIntegerText(const std::optional<QString> &text)
{
    if (!text)
        return std::nullopt;
    bool ok = false;
    const qint64 value = text->trimmed().toLongLong(&ok, 10);
    if (!ok)
        return std::nullopt;
    return value;
}

TableSync::TableSync(Database &db, const QString &table, bool counted)
    : m_db(db), m_table(table), m_counted(counted)
{
    // Opening the table: a table the file lacks ends the run, as the caller expects.
    const std::optional<QString> key = m_db.findColumn(table, QStringLiteral("id"));
    if (!key)
        throw DbError(QStringLiteral("no id column in table %1").arg(table), 1);
    m_keyColumn = *key;
    m_quotedTable = quoteIdentifier(table);
    m_quotedKey = quoteIdentifier(m_keyColumn);
    m_emptyIsNull = schema::isStructuredTable(table);
    // Whether an index exists is asked again by every page (see applyPage).
    if (table == QLatin1String("items"))
        m_index = std::make_unique<textindex::Writer>(db);
}

TableSync::~TableSync() = default;

bool TableSync::keepIndexCurrent(const std::vector<std::pair<qint64, quint16>> &changes)
{
    if (!m_index || !m_index->active())
        return false;
    if (changes.empty())
        return true;
    // A product named twice in the page is indexed once, for every field either row changed.
    std::map<qint64, textindex::FieldMask> byId;
    for (const auto &[id, fields] : changes)
        byId[id] |= fields;
    try {
        Savepoint savepoint(m_db);
        for (const auto &[id, fields] : byId)
            m_index->reindex(id, fields);
        savepoint.release();
        return true;
    } catch (const DbError &e) {
        // A broken index must not hold the data back: it is marked for a rebuild instead.
        // Should even that fail, the page fails with it, as any write of the page would.
        qCWarning(lcSyncApply).noquote() << "text index marked for rebuild:" << e.message();
    }
    textindex::markStale(m_db);
    return false;
}

void TableSync::recordIndexPosition(qint64 position)
{
    Savepoint savepoint(m_db);
    try {
        textindex::indexstate::recordPosition(m_db, position);
        savepoint.release();
    } catch (const DbError &e) {
        // The index then looks behind the products, and the worker rebuilds it.
        qCWarning(lcSyncApply).noquote() << "text index position not recorded:" << e.message();
    }
}

std::optional<QString> TableSync::columnFor(const QString &elementName)
{
    auto it = m_columnByName.constFind(elementName);
    if (it != m_columnByName.constEnd())
        return *it;
    std::optional<QString> column = m_db.findColumn(m_table, elementName);
    // The key is set from the row's id attribute alone: a field must never move a row.
    if (column && column->compare(m_keyColumn, Qt::CaseInsensitive) == 0)
        column.reset();
    m_columnByName.insert(elementName, column);
    return column;
}

SyncRow TableSync::readRow(const PageRowText &row)
{
    SyncRow result;
    if (!row.isElement)
        return result;
    result.lastUpdate = readIntegerText(row.lastUpdate);
    result.id = readIntegerText(row.id);
    // Ids are 32-bit keys; anything wider cannot name a record of ours.
    if (result.id &&
        (*result.id < std::numeric_limits<qint32>::min() || *result.id > std::numeric_limits<qint32>::max()))
        result.id.reset();
    result.isDelete = row.action && *row.action == QLatin1String("DELETE");
    if (result.isDelete)
        return result;
    for (const auto &[name, text] : row.fields) {
        const std::optional<QString> column = columnFor(name);
        if (!column)
            continue;
        // A column the publisher cleared comes as an empty element. In the structured tables
        // every reader takes NULL for "not stated", so that is what is stored.
        const QString value = m_emptyIsNull && text.isEmpty() ? QString() : text;
        auto same = std::find_if(result.fields.begin(), result.fields.end(),
                                 [&](const auto &f) { return f.first == *column; });
        if (same != result.fields.end())
            same->second = value;
        else
            result.fields.emplace_back(*column, value);
    }
    return result;
}

SyncRow TableSync::readRow(const QDomElement &row)
{
    return readRow(rowFromElement(row));
}

Statement &TableSync::statement(const QString &key, const std::function<QString()> &sql)
{
    auto it = m_statements.find(key);
    if (it == m_statements.end())
        it = m_statements.emplace(key, std::make_unique<Statement>(m_db.prepare(sql()))).first;
    Statement &st = *it->second;
    st.reset();
    return st;
}

TableSync::RowEffect TableSync::applyRow(const SyncRow &row, quint16 *textsChanged)
{
    const qint64 id = *row.id;
    *textsChanged = 0;
    const QString &key = m_quotedKey;

    Statement &find = statement(QStringLiteral("S"), [&] {
        return QStringLiteral("SELECT 1 FROM %1 WHERE %2 = ?1").arg(m_quotedTable, key);
    });
    find.bind(1, id);
    const bool found = find.step();
    find.reset();

    if (row.isDelete) {
        if (!found)
            return RowEffect::Nothing;
        Statement &del = statement(QStringLiteral("D"), [&] {
            return QStringLiteral("DELETE FROM %1 WHERE %2 = ?1").arg(m_quotedTable, key);
        });
        del.bind(1, id);
        del.run();
        *textsChanged = textindex::kAllFields;
        return RowEffect::Deleted;
    }

    // The statement shape depends on which columns the row mentions; names are declared ones.
    QStringList columns;
    for (const auto &field : row.fields)
        columns << field.first;
    const QString shape = columns.join(QLatin1Char('\x1f'));

    if (found) {
        if (row.fields.empty())
            return RowEffect::Edited;
        // Read before the write: a product whose texts stay as they were keeps its index row.
        if (m_index)
            *textsChanged = m_index->changedFields(id, row.fields);
        Statement &upd = statement(QStringLiteral("U\x1f") + shape, [&] {
            QStringList sets;
            for (int i = 0; i < columns.size(); ++i)
                sets << QStringLiteral("%1 = ?%2").arg(quoteIdentifier(columns.at(i))).arg(i + 1);
            return QStringLiteral("UPDATE %1 SET %2 WHERE %3 = ?%4")
                .arg(m_quotedTable, sets.join(QLatin1String(", ")), key)
                .arg(columns.size() + 1);
        });
        int index = 1;
        for (const auto &field : row.fields)
            upd.bind(index++, field.second);
        upd.bind(index, id);
        upd.run();
        return RowEffect::Edited;
    }

    Statement &ins = statement(QStringLiteral("I\x1f") + shape, [&] {
        QStringList names{key};
        QStringList marks{QStringLiteral("?1")};
        for (int i = 0; i < columns.size(); ++i) {
            names << quoteIdentifier(columns.at(i));
            marks << QStringLiteral("?%1").arg(i + 2);
        }
        return QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
            .arg(m_quotedTable, names.join(QLatin1String(", ")), marks.join(QLatin1String(", ")));
    });
    ins.bind(1, id);
    int index = 2;
    for (const auto &field : row.fields)
        ins.bind(index++, field.second);
    ins.run();
    *textsChanged = textindex::kAllFields;
    return RowEffect::Added;
}

PageOutcome TableSync::applyPage(const QDomElement &tableElement)
{
    return applyPage(syncPageFromElement(tableElement));
}

PageOutcome TableSync::applyPage(const SyncPageText &page)
{
    PageOutcome outcome;
    outcome.rows = page.nodes;
    if (outcome.rows == 0)
        return outcome;

    // Read every row first: the newest stamp covers the whole page, as the position must.
    std::vector<SyncRow> rows;
    rows.reserve(page.rows.size());
    for (const PageRowText &text : page.rows) {
        SyncRow row = readRow(text);
        if (row.lastUpdate && *row.lastUpdate > outcome.newest)
            outcome.newest = *row.lastUpdate;
        rows.push_back(std::move(row));
    }

    SyncCounters pending;
    try {
        Transaction transaction(m_db);
        // Asked inside the page's transaction, not once per run: an index built between two
        // pages (by the window's worker beside `ramux updateonly`, or `ramuxctl index`) is kept
        // current from the next page on. Only an index that holds every change up to where this
        // page starts may be said to hold this page's too.
        bool indexCurrent = false;
        if (m_index && m_index->refresh())
            indexCurrent = textindex::indexstate::isCurrentWith(m_db, readTablePosition(m_db, m_table));
        bool failed = false;
        std::vector<std::pair<qint64, quint16>> changed;
        for (const SyncRow &row : rows) {
            if (!row.id) {
                // Without a readable id the row could only land on the wrong record.
                ++outcome.skipped;
                continue;
            }
            // A row writes with one statement, and SQLite undoes a failed statement alone: no
            // savepoint per row is needed to keep the rows before it.
            RowEffect effect;
            quint16 textsChanged = 0;
            try {
                effect = applyRow(row, &textsChanged);
            } catch (const RamuxError &e) {
                outcome.error = QStringLiteral("%1 id %2: %3").arg(m_table).arg(*row.id).arg(e.message());
                failed = true;
                // On a full disk or an I/O error SQLite may undo the whole transaction instead;
                // then nothing may be written after it, least of all the position.
                if (m_db.autocommit())
                    throw DbError(QStringLiteral("id %1: %2").arg(*row.id).arg(e.message()), 0);
                break;
            }
            ++outcome.applied;
            if (textsChanged)
                changed.emplace_back(*row.id, textsChanged);
            switch (effect) {
            case RowEffect::Edited:
                ++pending.edited;
                break;
            case RowEffect::Added:
                ++pending.added;
                break;
            case RowEffect::Deleted:
                ++pending.deleted;
                break;
            case RowEffect::Nothing:
                break;
            }
        }
        // The index follows the rows this page committed, in the same transaction. All rows at
        // once: the index writes its terms at every savepoint, so one per row would cost a
        // segment per row.
        const bool indexKept = keepIndexCurrent(changed);
        if (!failed) {
            Savepoint savepoint(m_db);
            try {
                writeTablePosition(m_db, m_table, outcome.newest);
                savepoint.release();
            } catch (const RamuxError &e) {
                outcome.error = QStringLiteral("%1 position: %2").arg(m_table, e.message());
                failed = true;
            }
            if (!failed && indexKept && indexCurrent)
                recordIndexPosition(outcome.newest);
        }
        transaction.commit();
        outcome.complete = !failed;
    } catch (const DbError &e) {
        // BEGIN or COMMIT refused: nothing of the page is in the file.
        outcome.error = QStringLiteral("%1: %2").arg(m_table, e.message());
        outcome.applied = 0;
        outcome.complete = false;
        return outcome;
    }
    if (m_counted)
        outcome.counted = pending;
    if (!outcome.error.isEmpty())
        qCWarning(lcSyncApply).noquote() << "page stopped short:" << outcome.error;
    return outcome;
}
