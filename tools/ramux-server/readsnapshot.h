// A read transaction for the server's connections: what one answer reads (the version it is
// tagged with and its body) comes from one state of the file, whatever a publish does meanwhile.
#pragma once

#include "db/sqlitedb.h"

class ReadSnapshot
{
public:
    explicit ReadSnapshot(Database &db) : m_db(db) { m_db.exec(QStringLiteral("BEGIN")); }
    ~ReadSnapshot()
    {
        try {
            m_db.exec(QStringLiteral("COMMIT"));
        } catch (...) {
        }
    }
    ReadSnapshot(const ReadSnapshot &) = delete;
    ReadSnapshot &operator=(const ReadSnapshot &) = delete;

private:
    Database &m_db;
};
