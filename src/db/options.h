// The one-row options table: user settings, the stored greeting page and sync positions.
#pragma once

#include <QString>
#include <optional>

class Database;

struct StoredOptions
{
    QString updServ;
    bool progUpd = true;
    bool dataUpd = true;
    QString proxyHost;
    QString proxyPort;
    QString proxyUser;
    QString proxyPass;
};

// Reads the settings field by field: a field that cannot be read (missing column, no table)
// gives its default; a NULL field or a table without a row gives empty text / not ticked.
StoredOptions LoadStoredOptions(Database &db);
// The worker's reading: missing field → default; NULL boolean → false; no row → defaults.
StoredOptions LoadWorkerOptions(Database &db);
// Saves the settings into the options row by its key, inserting the row (id 1) when the table
// has none. Writes only the settings columns, so the worker's own writes never conflict.
void SaveStoredOptions(Database &db, const StoredOptions &options);

// options.s_splash; nullopt for NULL, no row or no column.
std::optional<QString> readStoredSplash(Database &db);
void storeSplash(Database &db, const QString &page);

// lu_<table> (for the structured tables their row of sync_positions): 0 when missing, NULL or
// unreadable.
qint64 readTablePosition(Database &db, const QString &table);
// Throws when the column is missing (the page it follows is then not committed either).
void writeTablePosition(Database &db, const QString &table, qint64 position);
