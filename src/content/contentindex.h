// What a content file carries for the web reader besides the tables: the time it was
// published (stamps count changes, they are no times) and the full-text index of the
// product texts, kept in the file so every server on it searches the same index.
#pragma once

#include <QString>
#include <functional>

class Database;

namespace contentindex {

// The current time as the file records it: ISO 8601 in UTC, to the second.
QString publishTimeNow();
// Sets the publishing time to now, inside the caller's transaction if there is one.
void recordPublishTime(Database &db);

// Builds the text index of a content file (or completes an unfinished one); a current index
// is left as it is. Returns the number of products indexed.
int buildIndex(const QString &contentPath, const std::function<void(int done, int total)> &progress = {});

// A content file just written (demo, synthetic set): its publishing time and its index.
void preparePublished(const QString &contentPath);

} // namespace contentindex
