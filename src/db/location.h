// Where the reference database is, and the connection string that opens it.
#pragma once

#include <QString>

// The shared data folder's Ramux/Ramux.rxd when that file exists, else the program's own path
// with the suffix ".rxd" (not tested for existence: opening reports a missing file).
QString LocateDatabaseFile();
// The same rule with the two candidates given, for tests and tools.
QString chooseDatabaseFile(const QString &sharedDataFolder, const QString &programPath);

QString BuildConnectionString(const QString &path);

struct ConnectionSettings
{
    QString path;
    QByteArray password;
};
// Reads back what BuildConnectionString wrote. Throws RamuxError on another shape.
ConnectionSettings parseConnectionString(const QString &connectionString);
