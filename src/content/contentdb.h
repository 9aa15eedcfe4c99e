// The update server's content database: a plain (unencrypted) SQLite file with the nine data
// tables of the reference and the four structured-answer tables, a last_update stamp on every row, tombstones
// for deleted rows and a meta table of key/value settings. One change counter stamps every change, so no two
// changes share a stamp and a client paging by stamp alone never skips a row.
#pragma once

#include "content/content.h"
#include "db/sqlitedb.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <optional>
#include <vector>

// One row of a get_table page: a live row with its column values, or a deletion.
struct ContentPageRow
{
    qint64 id = 0;
    qint64 stamp = 0;
    bool deleted = false;
    std::vector<std::optional<QByteArray>>
        values; // UTF-8, aligned to ContentPage::columns; empty for deletions
};

struct ContentPage
{
    QStringList columns;
    std::vector<ContentPageRow> rows;
};

class ContentDatabase final
{
public:
    // Writes a new content database from a content set (stamps as the set carries them; rows
    // without a stamp get fresh ones). Refuses to overwrite an existing file.
    static void create(const QString &path, const ContentSet &content);

    // Opens an existing content database; fails unless it has the content tables.
    explicit ContentDatabase(const QString &path);
    ContentDatabase(const ContentDatabase &) = delete;
    ContentDatabase &operator=(const ContentDatabase &) = delete;

    // Rendered size at which a page ends: far below the 64 MB that clients accept in one answer.
    static constexpr qint64 kPageByteBudget = 8 * 1024 * 1024;

    // The rows and deletions of a table whose stamp is greater than `after`, ascending by stamp
    // then id, at most `limit` of them, except that a run of equal stamps is never cut: a page
    // that would end inside one grows until the run is complete. Once the rows pass `byteBudget`
    // the page ends with the run it is in. A column cleared since it had a value comes as an
    // empty value, never as NULL.
    ContentPage readPage(const QString &table, qint64 after, int limit, qint64 byteBudget = kPageByteBudget);

    // Runs of equal stamps that alone pass the byte budget: no page can hold them within it.
    struct OversizedRun
    {
        QString table;
        qint64 stamp = 0;
        qint64 rows = 0;
        qint64 bytes = 0;
    };
    std::vector<OversizedRun> oversizedRuns(qint64 byteBudget = kPageByteBudget);

    // A change: inserts or updates the row (only the given columns change) under a new stamp,
    // and drops any tombstone of that id. Returns the stamp.
    qint64 upsertRow(const QString &table, qint64 id, const QHash<QString, FieldValue> &values);
    // Deletes the row and leaves a tombstone under a new stamp. Returns 0 when there was no row.
    qint64 deleteRow(const QString &table, qint64 id);

    std::optional<QString> meta(const QString &key);
    void setMeta(const QString &key, const std::optional<QString> &value);

    // The content as stored (live rows only). A synchronised client holds the same, except that
    // a column cleared since it had a value is an empty text there.
    ContentSet readAll();
    // The highest stamp of a table, rows and deletions included: a synchronised client's lu_ value.
    qint64 highestStamp(const QString &table);

    // Whether the file has the table to serve: the nine always, the structured tables unless
    // the file is an older one that could not be given them.
    bool serves(const QString &table);

    Database &database() { return m_db; }

private:
    const QStringList &tableColumns(const QString &table);
    qint64 nextStamp();

    Database m_db;
    QHash<QString, QStringList> m_columns;
    QHash<QString, QString> m_selectSql;
    QHash<QString, bool> m_present;
};
