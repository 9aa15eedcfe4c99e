#include "update/synctables.h"

#include "db/emptyvalues.h"
#include "db/options.h"
#include "db/schema.h"
#include "db/sqlitedb.h"
#include "text/packedcontent.h"
#include "update/serverrequest.h"
#include "update/syncapply.h"
#include "update/updaterun.h"

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcSyncApply)

namespace {

// Tables 0 to 4 are counted; the details text and address come with items only.
constexpr int countedTables = 5;
constexpr int detailsTable = 4;

void takeDetail(const QString &attribute, QString &target)
{
    const QString value = trimControl(attribute);
    if (!value.isEmpty())
        target = value; // an empty value never clears what an earlier page sent
}

// The server never splits a run of equal stamps, so a page can pass the body cap; it is then
// refused on every run and the table stays where it is until the server pages it smaller.
// That must not pass unnoticed.
void reportOversizedPage(const QString &table, qint64 date, SyncStats &stats)
{
    stats.oversizedTables << table;
    qCWarning(lcSyncApply).noquote() << "table" << table << "not brought up to date: its page after" << date
                                     << "is larger than the" << requestLimits().maxBodyBytes
                                     << "bytes an answer may have, and was refused";
}

void noteFailure(SyncStats &stats, SyncStats::Failure failure, int code = 0)
{
    if (stats.failure != SyncStats::Failure::None)
        return; // the first table that stopped short names the reason
    stats.failure = failure;
    stats.failureCode = code;
}

} // namespace

namespace tablesync {

void setParameter(QStringList &parameters, const QString &name, const QString &value)
{
    const QString line = name + QLatin1Char('=') + value;
    for (QString &existing : parameters) {
        const qsizetype eq = existing.indexOf(QLatin1Char('='));
        const QStringView existingName = eq < 0 ? QStringView(existing) : QStringView(existing).left(eq);
        if (existingName.compare(name, Qt::CaseInsensitive) == 0) {
            existing = line;
            return;
        }
    }
    parameters << line;
}

} // namespace tablesync

void SyncTables(Database &db, UpdateFields &fields, UpdateHost &host, SyncStats &stats)
{
    if (!fields.DataUpdateEnabled)
        return;
    fields.StatusText = updatestatus::checkingData();
    host.ReportStatus(fields);

    // An older file gets the structured tables here, from the worker's own connection; a file
    // that cannot take them still gets the nine.
    bool structuredReady = true;
    try {
        schema::ensureStructuredTables(db);
    } catch (const DbError &e) {
        structuredReady = false;
        qCWarning(lcSyncApply).noquote() << "structured tables not added:" << e.message();
    }
    if (structuredReady) {
        try {
            structuredvalues::clearEmptyValues(db);
        } catch (const DbError &e) {
            // The readers take '' for absent as well; only the stored form waits for the next run.
            qCWarning(lcSyncApply).noquote() << "empty structured values not cleared:" << e.message();
        }
    }

    QStringList parameters;
    const QStringList &tables = structuredReady ? schema::servedTables() : schema::dataTables();
    for (int index = 0; index < tables.size(); ++index) {
        const QString &table = tables.at(index);
        const bool structured = schema::isStructuredTable(table);
        // The structured tables count their changes too, for structuredChanged(), never in the fields.
        TableSync sync(db, table, index < countedTables || structured);

        tablesync::setParameter(parameters, QStringLiteral("table"), table);
        tablesync::setParameter(parameters, QStringLiteral("action"), QStringLiteral("get_table"));
        tablesync::setParameter(parameters, QStringLiteral("start"), QStringLiteral("0"));
        tablesync::setParameter(parameters, QStringLiteral("limit"), QString::number(tablesync::pageLimit));

        int stalledPages = 0;
        for (;;) {
            if (host.stopRequested()) {
                noteFailure(stats, SyncStats::Failure::Stopped);
                return;
            }
            const qint64 date = readTablePosition(db, table);
            tablesync::setParameter(parameters, QStringLiteral("date"), QString::number(date));

            QString answer;
            QString errorText;
            ++stats.requests;
            // A body that is not XML throws here and ends the whole run.
            forgetLastRequestAnswer();
            int result = 0;
            try {
                result = host.request(parameters, answer, errorText, fields.ServerAddress);
            } catch (const XmlAnswerError &) {
                noteFailure(stats, SyncStats::Failure::Unrecognised);
                throw;
            }
            if (result != 0) {
                if (host.stopRequested())
                    return; // the transfer was cut short by the stop, not by the server
                if (structured && result > 0) {
                    // An older server does not know the table (whatever its err_code): not offered.
                    ++stats.structuredNotOffered;
                    break;
                }
                ++stats.failedRequests;
                if (result == -1 && lastRequestFailure() == RequestFailure::TooLarge)
                    reportOversizedPage(table, date, stats);
                if (result > 0)
                    noteFailure(stats, SyncStats::Failure::ServerError, result);
                else
                    noteFailure(stats, lastRequestAnswered() ? SyncStats::Failure::Unrecognised
                                                             : SyncStats::Failure::NoAnswer);
                break;
            }

            const std::optional<SyncPageText> page = readSyncPage(answer);
            if (!page) {
                ++stats.unreadableAnswers;
                noteFailure(stats, SyncStats::Failure::Unrecognised);
                break;
            }
            if (!page->hasTable) {
                ++(structured ? stats.structuredTablesRead : stats.tablesRead);
                break; // no TABLE: an empty page
            }
            if (index == detailsTable) {
                takeDetail(page->detailsText, fields.DetailsText);
                takeDetail(page->detailsUrl, fields.DetailsUrl);
            }
            if (page->nodes == 0) {
                ++(structured ? stats.structuredTablesRead : stats.tablesRead);
                break;
            }

            fields.StatusText = updatestatus::loadingData();
            host.ReportStatus(fields);

            const PageOutcome outcome = sync.applyPage(*page);
            ++stats.pages;
            stats.rowsApplied += outcome.applied;
            stats.rowsSkipped += outcome.skipped;
            if (structured) {
                stats.structuredChanges += outcome.counted.total();
            } else {
                fields.EditedCount += outcome.counted.edited;
                fields.DeletedCount += outcome.counted.deleted;
                fields.AddedCount += outcome.counted.added;
            }
            if (index < countedTables) {
                stats.counted[index].added += outcome.counted.added;
                stats.counted[index].edited += outcome.counted.edited;
                stats.counted[index].deleted += outcome.counted.deleted;
            }
            if (!outcome.complete) {
                // Asking again with the same date would fail the same way: give the table up.
                ++stats.incompletePages;
                noteFailure(stats, SyncStats::Failure::Database);
                break;
            }
            // A correct server always answers newer stamps than asked for; one that does not
            // would keep the worker busy without end. Only pages in a row count: a table that
            // moves on between them is not stuck.
            if (outcome.newest > date) {
                stalledPages = 0;
            } else if (++stalledPages >= tablesync::maxStalledPages) {
                ++stats.cutOffTables;
                noteFailure(stats, SyncStats::Failure::Stalled);
                qCWarning(lcSyncApply).noquote() << "table" << table << "cut off: pages do not move past" << date;
                break;
            }
        }
    }
}
