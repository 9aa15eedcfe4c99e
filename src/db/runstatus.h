// The record of each data-update run ("data as of"), kept with the user data: when it ended,
// whether every table was read to the end, and what it changed in the counted tables.
#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

class Database;

struct TableChanges
{
    int added = 0;
    int changed = 0;
    int deleted = 0;

    int total() const { return added + changed + deleted; }
};

struct RunRecord
{
    QDateTime when; // local time of the end of the run, with its offset
    bool succeeded = false;
    QString reason; // why it failed, as the user is shown it
    TableChanges products, groups, makers, partners;
    // When the data were last updated: the end of the latest run that succeeded, this one
    // included; invalid when none did. Filled by latestRun.
    QDateTime dataAsOf;
};

namespace runstatus {

// Failure reasons as the status line shows them.
inline QString serverUnreachable() { return QStringLiteral("сервер недоступен"); }
inline QString answerUnrecognised() { return QStringLiteral("ответ сервера не распознан"); }
inline QString serverError(int code) { return QStringLiteral("ошибка сервера %1").arg(code); }

// Appends the run (creating the table when missing); only the latest runs are kept, and the
// latest that succeeded, however old.
void recordRun(Database &db, const RunRecord &record);
// The latest recorded run; none when nothing was recorded or the file has no record table.
std::optional<RunRecord> latestRun(Database &db);

// The settings page's line for the latest run; after a failed one it goes on with the date of
// the data.
QString statusLine(const std::optional<RunRecord> &latest);
// The same, read from the file; a file that cannot be read counts as never updated.
QString statusLine(Database &db);

} // namespace runstatus
