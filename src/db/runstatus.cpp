#include "db/runstatus.h"

#include "db/sqlitedb.h"

#include <QStringList>

namespace runstatus {

namespace {

const QString kTable = QStringLiteral("user_update_runs");
constexpr int kRunsKept = 50;

const char *const kGroups[] = {"items", "sections", "vendors", "partners"};
const char *const kKinds[] = {"added", "changed", "deleted"};

QStringList countColumns()
{
    QStringList columns;
    for (const char *group : kGroups)
        for (const char *kind : kKinds)
            columns << QStringLiteral("%1_%2").arg(QLatin1String(group), QLatin1String(kind));
    return columns;
}

TableChanges *changesOf(RunRecord &record, int group)
{
    TableChanges *all[] = {&record.products, &record.groups, &record.makers, &record.partners};
    return all[group];
}

void ensureTable(Database &db)
{
    QString sql = QStringLiteral(
        "CREATE TABLE IF NOT EXISTS user_update_runs (id INTEGER PRIMARY KEY AUTOINCREMENT,"
        " finished TEXT NOT NULL, succeeded INTEGER NOT NULL, reason TEXT NOT NULL DEFAULT ''");
    for (const QString &column : countColumns())
        sql += QStringLiteral(", %1 INTEGER NOT NULL DEFAULT 0").arg(column);
    db.exec(sql + QStringLiteral(")"));
}

QString shownTime(const QDateTime &when)
{
    return when.toString(QStringLiteral("dd.MM.yyyy HH:mm"));
}

} // namespace

void recordRun(Database &db, const RunRecord &r)
{
    ensureTable(db);
    const QStringList columns = countColumns();
    QStringList marks;
    for (int i = 0; i < columns.size(); ++i)
        marks << QStringLiteral("?%1").arg(i + 4);
    Transaction transaction(db);
    Statement st = db.prepare(QStringLiteral("INSERT INTO user_update_runs (finished, succeeded, reason, %1) VALUES (?1, ?2, ?3, %2)")
                                  .arg(columns.join(QLatin1String(", ")), marks.join(QLatin1String(", "))));
    st.bind(1, r.when.toString(Qt::ISODate));
    st.bind(2, r.succeeded ? 1 : 0);
    st.bind(3, r.reason.isNull() ? QString(QLatin1String("")) : r.reason);
    RunRecord copy = r;
    int index = 4;
    for (int group = 0; group < 4; ++group) {
        const TableChanges *c = changesOf(copy, group);
        st.bind(index++, c->added);
        st.bind(index++, c->changed);
        st.bind(index++, c->deleted);
    }
    st.run();
    // The latest success stays however many failures follow: it dates the data.
    Statement trim = db.prepare(
        QStringLiteral("DELETE FROM user_update_runs WHERE id <= (SELECT max(id) FROM user_update_runs) - ?1"
                       " AND id IS NOT (SELECT max(id) FROM user_update_runs WHERE succeeded = 1)"));
    trim.bind(1, kRunsKept);
    trim.run();
    transaction.commit();
}

std::optional<RunRecord> latestRun(Database &db)
{
    if (!db.hasTable(kTable))
        return std::nullopt;
    Statement st = db.prepare(QStringLiteral("SELECT finished, succeeded, reason, %1 FROM user_update_runs ORDER BY id DESC LIMIT 1")
                                  .arg(countColumns().join(QLatin1String(", "))));
    if (!st.step())
        return std::nullopt;
    RunRecord r;
    r.when = QDateTime::fromString(st.text(0), Qt::ISODate);
    r.succeeded = st.int64(1) != 0;
    r.reason = st.text(2);
    int column = 3;
    for (int group = 0; group < 4; ++group) {
        TableChanges *c = changesOf(r, group);
        c->added = int(st.int64(column++));
        c->changed = int(st.int64(column++));
        c->deleted = int(st.int64(column++));
    }
    if (r.succeeded) {
        r.dataAsOf = r.when;
    } else {
        Statement success = db.prepare(QStringLiteral(
            "SELECT finished FROM user_update_runs WHERE succeeded = 1 ORDER BY id DESC LIMIT 1"));
        if (success.step())
            r.dataAsOf = QDateTime::fromString(success.text(0), Qt::ISODate);
    }
    return r;
}

QString statusLine(const std::optional<RunRecord> &latest)
{
    if (!latest)
        return QStringLiteral("Данные ещё не обновлялись");
    if (latest->succeeded)
        return QStringLiteral("Данные обновлены: %1, изменено препаратов: %2")
            .arg(shownTime(latest->when))
            .arg(latest->products.total());
    const QString data = latest->dataAsOf.isValid()
                             ? QStringLiteral("Данные от %1").arg(shownTime(latest->dataAsOf))
                             : QStringLiteral("Данные ещё не обновлялись");
    return QStringLiteral("Последняя попытка обновления %1 не удалась: %2. %3")
        .arg(shownTime(latest->when), latest->reason, data);
}

QString statusLine(Database &db)
{
    try {
        return statusLine(latestRun(db));
    } catch (const std::exception &) {
        return statusLine(std::nullopt);
    }
}

} // namespace runstatus
