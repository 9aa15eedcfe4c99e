// In the four structured tables an empty value means "not stated", the same as NULL. Older
// programs stored a column the publisher cleared as ''; this turns such values into NULL once.
#pragma once

class Database;

namespace structuredvalues {

// Sets every '' in the structured tables to NULL, one statement per table in one transaction.
// Reads only when there is nothing to change, so a read-only file stays untouched; returns the
// number of rows changed. Throws DbError when the file cannot be written.
// The window asks once per file (a bit of its user_version remembers the pass); a sync run always
// looks, since an older program may have synced the file since.
enum class Scan { Always, OncePerFile };
int clearEmptyValues(Database &db, Scan scan = Scan::Always);

} // namespace structuredvalues
