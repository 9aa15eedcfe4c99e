// The reference database: table names, their columns, and creation of an empty file.
#pragma once

#include <QString>
#include <QStringList>

class Database;

namespace schema {

// The database password every connection keys the file with.
QByteArray databasePassword();
// The built-in update-server address.
QString defaultServerAddress();

// The nine data tables in synchronisation order; the first five are counted by the update run.
const QStringList &dataTables();
bool isDataTable(const QString &name);
// The link tables and the name of the column that joins them to their other table.
QString linkTargetColumn(const QString &linkTable);

// The structured-answer tables the publisher sends beside the nine, in synchronisation order
// (after the nine). Not counted by the update run and never in options.
const QStringList &structuredTables();
bool isStructuredTable(const QString &name);
// Every table the update server serves: the nine, then the four structured ones.
const QStringList &servedTables();
bool isServedTable(const QString &name);
// CREATE TABLE IF NOT EXISTS of the four structured tables, their indexes and sync_positions
// (the client's positions of tables beyond the nine). Safe on an older file.
QString structuredStatements();
// Creates whatever of structuredStatements() an older file lacks; one transaction.
void ensureStructuredTables(Database &db);

// CREATE statements of the ten tables.
QString createStatements();
// Creates the tables (the structured ones too) and the one options row (id 1, defaults) on an open, empty
// database.
void createSchema(Database &db);
// Creates a new encrypted database file of the schema. Refuses to overwrite an existing file.
void createDatabaseFile(const QString &path);

} // namespace schema
