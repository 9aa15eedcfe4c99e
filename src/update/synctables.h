// SyncTables: brings the nine reference tables up to date from the update server, table by
// table and page by page, on the worker's own connection.
#pragma once

#include <QString>
#include <QStringList>

class Database;
class UpdateHost;
struct UpdateFields;
struct SyncStats;

namespace tablesync {

// Rows asked for in one page.
constexpr int pageLimit = 200;
// Pages in a row that fail to move a table's position forward before that table is given up
// for the run.
constexpr int maxStalledPages = 3;

// Sets "name=value" in the list: replaces the first line of that name (letter case ignored)
// where it stands, or appends it.
void setParameter(QStringList &parameters, const QString &name, const QString &value);

} // namespace tablesync

// Reads ServerAddress and DataUpdateEnabled from the fields; writes StatusText, the three
// counters (first five tables only), DetailsText and DetailsUrl. Returns at once when data
// updates are off. Throws when a table cannot be opened or an answer is not XML at all;
// everything committed before that stays.
void SyncTables(Database &db, UpdateFields &fields, UpdateHost &host, SyncStats &stats);
