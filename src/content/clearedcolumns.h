// Which columns of which rows of the content database went from a value to NULL.
//
// The wire has no NULL: a column left out of a changed row keeps its old value on clients. So a
// column that has been cleared is sent as an empty element from then on, while a column that was
// always NULL stays left out (and NULL on clients). Triggers in the file keep the record, so it
// holds however the content is changed, also by hand with SQL.
#pragma once

#include "db/sqlitedb.h"

#include <QString>
#include <QStringList>

namespace clearedcolumns {

// Creates the record table and the triggers of the nine data tables when they are missing or
// no longer match the tables' columns, in a transaction of its own (call it outside one).
// Writes nothing when everything is in place; a file it cannot write gets a warning.
void ensureTracking(Database &db);

// The cleared columns of a table's rows, by row id; empty when the table has none.
class Lookup
{
public:
    Lookup(Database &db, const QString &table);
    bool any() const { return m_any; }
    QStringList columns(qint64 id);

private:
    Database &m_db;
    QString m_table;
    bool m_any = false;
    Statement m_select;
};

} // namespace clearedcolumns
