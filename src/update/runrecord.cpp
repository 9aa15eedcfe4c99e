#include "update/runrecord.h"

#include "db/schema.h"
#include "db/sqlitedb.h"
#include "db/userdata.h"
#include "update/synctables.h"
#include "update/updaterun.h"

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcUpdateRun)

namespace {

QString reasonText(const SyncStats &stats, const QString &thrownError)
{
    switch (stats.failure) {
    case SyncStats::Failure::NoAnswer: return runstatus::serverUnreachable();
    case SyncStats::Failure::Unrecognised: return runstatus::answerUnrecognised();
    case SyncStats::Failure::ServerError: return runstatus::serverError(stats.failureCode);
    case SyncStats::Failure::Stalled: return QStringLiteral("сервер присылает одни и те же данные");
    case SyncStats::Failure::Stopped: return QStringLiteral("обновление прервано");
    case SyncStats::Failure::Database: return QStringLiteral("ошибка записи в базу данных");
    case SyncStats::Failure::None: break;
    }
    if (!thrownError.isEmpty())
        return QStringLiteral("ошибка базы данных: %1").arg(thrownError);
    return QStringLiteral("обновление прервано");
}

void addChanges(TableChanges &target, const SyncStats::Changes &source)
{
    target.added += source.added;
    target.changed += source.edited;
    target.deleted += source.deleted;
}

void writeRecord(Database &db, const RunRecord &record)
{
    try {
        runstatus::recordRun(db, record);
    } catch (const std::exception &e) {
        qCWarning(lcUpdateRun).noquote() << "run not recorded:" << QString::fromUtf8(e.what());
    }
}

} // namespace

RunRecord makeRunRecord(const SyncStats &stats, const QString &thrownError)
{
    RunRecord record;
    record.when = QDateTime::currentDateTime();
    record.when.setTime(QTime(record.when.time().hour(), record.when.time().minute(), record.when.time().second()));
    record.when = record.when.toOffsetFromUtc(record.when.offsetFromUtc());
    record.succeeded = thrownError.isEmpty() && stats.failure == SyncStats::Failure::None
                       && stats.tablesRead == schema::dataTables().size();
    if (!record.succeeded)
        record.reason = reasonText(stats, thrownError);
    // Order: sections, distributors, vendors, dealers, items.
    addChanges(record.groups, stats.counted[0]);
    addChanges(record.partners, stats.counted[1]);
    addChanges(record.makers, stats.counted[2]);
    addChanges(record.partners, stats.counted[3]);
    addChanges(record.products, stats.counted[4]);
    return record;
}

void SyncTablesRecorded(Database &db, UpdateFields &fields, UpdateHost &host, SyncStats &stats)
{
    if (!fields.DataUpdateEnabled)
        return;
    try {
        userdata::refreshLastNames(db);
    } catch (const std::exception &e) {
        qCWarning(lcUpdateRun).noquote() << "last names not refreshed:" << QString::fromUtf8(e.what());
    }
    try {
        SyncTables(db, fields, host, stats);
    } catch (const std::exception &e) {
        const auto *ramux = dynamic_cast<const RamuxError *>(&e);
        writeRecord(db, makeRunRecord(stats, ramux ? ramux->message() : QString::fromUtf8(e.what())));
        throw;
    }
    writeRecord(db, makeRunRecord(stats, QString()));
}
