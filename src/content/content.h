// The reference content as the update server hands it out: the nine data tables and the four
// structured-answer tables with a change stamp per row, plus the server's own settings (offered version,
// greeting page, details). Shared by the demo importer, the synthetic generator, the content database and
// ramuxctl.
#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

using FieldValue = std::optional<QString>; // nullopt is NULL, which the server never sends

struct ContentRow
{
    qint64 id = 0;
    qint64 stamp = 0;         // last_update; each change of the content gets its own
    QList<FieldValue> values; // aligned to ContentTable::columns
};

struct ContentTable
{
    QString name;
    QStringList columns; // every column of the reference table except id, as declared
    std::vector<ContentRow> rows;

    int columnIndex(const QString &column) const; // case-insensitive, -1 when absent
    // A row with every column NULL, ready to be filled.
    ContentRow &addRow(qint64 id);
    void set(ContentRow &row, const QString &column, const FieldValue &value) const;
};

// Keys of the server settings kept beside the tables.
namespace contentmeta {
inline const char *const ProgramVersion = "program_version";
inline const char *const DownloadLink = "dl_link";
inline const char *const DownloadSha256 = "dl_sha256";
inline const char *const About = "about";
inline const char *const AboutUrl = "about_url";
inline const char *const DetailsText = "update_details_text";
inline const char *const DetailsUrl = "update_details_url";
inline const char *const Greeting = "greeting"; // packed content
// When the content was last published (ISO 8601, UTC): stamps count changes, they are no times.
inline const char *const PublishedAt = "published_at";
} // namespace contentmeta

struct ContentSet
{
    std::vector<ContentTable>
        tables; // the nine data tables, then the four structured ones, in synchronisation order
    QMap<QString, QString> meta;

    // Empty tables with the reference columns.
    static ContentSet empty();
    ContentTable &table(const QString &name);
    const ContentTable *findTable(const QString &name) const;
    // Stamps every row 1, 2, 3 ... in table order, then id order: one change each.
    void assignStamps();
    qint64 highestStamp() const;
};

namespace contentschema {
// Columns of a reference table apart from id, as the client's schema declares them.
const QStringList &columns(const QString &table);
} // namespace contentschema

// Writes the client database a synchronisation of an empty database would leave: every row
// with its values (NULL stays NULL) and options.lu_<table> (sync_positions for the structured
// tables) at the table's highest stamp.
// Refuses to overwrite an existing file.
void writeClientDatabase(const ContentSet &content, const QString &path);
