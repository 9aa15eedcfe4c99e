// Applying one page of a get_table answer to one reference table: the pure part of the data
// synchronisation, driven by a page read from the answer and a database connection, without any
// network.
#pragma once

#include "update/syncpage.h"

#include <QDomElement>
#include <QHash>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class Database;
class Statement;
namespace textindex {
class Writer;
}

// What changed in the counted tables (the first five of the synchronisation order).
struct SyncCounters
{
    qint32 edited = 0;
    qint32 deleted = 0;
    qint32 added = 0;

    qint32 total() const { return edited + deleted + added; }
    SyncCounters &operator+=(const SyncCounters &other);
};

// One row of a page as read from its element, before anything touches the database.
struct SyncRow
{
    std::optional<qint64> id;         // nullopt: the id could not be read, the row is skipped
    std::optional<qint64> lastUpdate; // nullopt: missing or unreadable stamp
    bool isDelete = false;
    // Real column names (as declared) with their values, in first-mention order; a field named
    // twice keeps the later value, as assigning it twice would.
    std::vector<std::pair<QString, QString>> fields;
};

// The integer an id or last_update attribute holds, if it is one (blanks around it allowed).
std::optional<qint64> readIntegerText(const std::optional<QString> &text);

struct PageOutcome
{
    int rows = 0;          // child nodes of TABLE: the page loop goes on while this is > 0
    qint64 newest = 0;     // newest readable stamp of the page, 0 when there is none
    int applied = 0;       // rows written (deletions of unknown ids included)
    int skipped = 0;       // rows whose id could not be read
    bool complete = false; // every row applied and the position stored, all committed
    QString error;         // why the page stopped short, when it did
    SyncCounters counted;  // committed changes, zero for the link tables
};

// One table opened for the run: its real columns are read once and its statements prepared
// once per shape, so pages after the first cost only binding and stepping.
class TableSync final
{
public:
    // Throws DbError when the table does not exist.
    TableSync(Database &db, const QString &table, bool counted);
    ~TableSync();
    TableSync(const TableSync &) = delete;
    TableSync &operator=(const TableSync &) = delete;

    const QString &table() const { return m_table; }

    // Reads a row element against this table's real columns. Unknown elements and any
    // element naming the key column are left out, so no SQL is ever built from them.
    SyncRow readRow(const PageRowText &row);
    SyncRow readRow(const QDomElement &row);

    // Applies every row of TABLE and then stores the newest stamp as this table's position,
    // all in one transaction. A row that fails is rolled back alone; the rows before it are
    // kept, nothing after it is applied and the position does not move. Database errors are
    // reported in the outcome, never thrown.
    PageOutcome applyPage(const SyncPageText &page);
    PageOutcome applyPage(const QDomElement &tableElement);

private:
    enum class RowEffect { Edited, Added, Deleted, Nothing };
    // `textsChanged` gets the text fields of items the row changes (for the index).
    RowEffect applyRow(const SyncRow &row, quint16 *textsChanged);
    Statement &statement(const QString &key, const std::function<QString()> &sql);
    std::optional<QString> columnFor(const QString &elementName);
    // The full-text index follows the changed products inside the page's transaction. False
    // when there is no index, or it failed and was marked for a rebuild.
    bool keepIndexCurrent(const std::vector<std::pair<qint64, quint16>> &changes);
    // The index holds the page's rows: it is current with the table's new position.
    void recordIndexPosition(qint64 position);

    Database &m_db;
    QString m_table;
    QString m_quotedTable;
    QString m_quotedKey;
    QString m_keyColumn;
    bool m_counted;
    // In the structured tables an empty value is an absent one, kept as NULL (see readRow).
    bool m_emptyIsNull = false;
    QHash<QString, std::optional<QString>> m_columnByName;
    std::map<QString, std::unique_ptr<Statement>> m_statements;
    std::unique_ptr<textindex::Writer> m_index; // items only
};
