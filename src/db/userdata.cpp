#include "db/userdata.h"

#include "db/sqlitedb.h"
#include "text/ramuxerror.h"

#include <sqlcipher/sqlite3.h>

namespace userdata {

namespace {

const QString kItems = QStringLiteral("user_items");
const QString kSettings = QStringLiteral("user_settings");
const QString kPrintNotesKey = QStringLiteral("print_notes");

UserItem readRow(Statement &st)
{
    UserItem item;
    item.id = st.int64(0);
    item.favourite = st.int64(1) != 0;
    item.note = st.text(2);
    if (item.note.isNull())
        item.note = QString();
    item.lastName = st.text(3);
    item.changed = parseStamp(st.text(4));
    return item;
}

constexpr const char *kSelect = "SELECT item_id, favourite, note, last_name, changed FROM user_items";

} // namespace

void ensureTables(Database &db)
{
    db.exec(QStringLiteral(
        "CREATE TABLE IF NOT EXISTS user_items (item_id INTEGER PRIMARY KEY, favourite INTEGER NOT NULL DEFAULT 0,"
        " note TEXT NOT NULL DEFAULT '', last_name TEXT NOT NULL DEFAULT '', changed TEXT NOT NULL DEFAULT '');\n"
        "CREATE TABLE IF NOT EXISTS user_settings (key TEXT PRIMARY KEY, value TEXT);\n"));
}

std::optional<UserItem> item(Database &db, qint64 id)
{
    if (!db.hasTable(kItems))
        return std::nullopt;
    Statement st = db.prepare(QLatin1String(kSelect) + QLatin1String(" WHERE item_id = ?1"));
    st.bind(1, id);
    if (!st.step())
        return std::nullopt;
    return readRow(st);
}

QVector<UserItem> allItems(Database &db)
{
    QVector<UserItem> items;
    if (!db.hasTable(kItems))
        return items;
    Statement st = db.prepare(QLatin1String(kSelect) + QLatin1String(" ORDER BY item_id"));
    while (st.step())
        items.push_back(readRow(st));
    return items;
}

std::optional<QString> referenceName(Database &db, qint64 id)
{
    if (!db.hasTable(QStringLiteral("items")))
        return std::nullopt;
    Statement st = db.prepare(QStringLiteral("SELECT name FROM items WHERE id = ?1"));
    st.bind(1, id);
    if (!st.step())
        return std::nullopt;
    const QString name = st.text(0);
    return name.isNull() ? QString() : name;
}

void store(Database &db, const UserItem &item)
{
    ensureTables(db);
    if (item.isEmpty()) {
        Statement del = db.prepare(QStringLiteral("DELETE FROM user_items WHERE item_id = ?1"));
        del.bind(1, item.id);
        del.run();
        return;
    }
    Statement st = db.prepare(QStringLiteral(
        "INSERT OR REPLACE INTO user_items (item_id, favourite, note, last_name, changed) VALUES (?1, ?2, ?3, ?4, ?5)"));
    st.bind(1, item.id);
    st.bind(2, item.favourite ? 1 : 0);
    st.bind(3, item.note.isNull() ? QString(QLatin1String("")) : item.note);
    st.bind(4, item.lastName.isNull() ? QString(QLatin1String("")) : item.lastName);
    st.bind(5, formatStamp(item.changed.isValid() ? item.changed : nowUtc()));
    st.run();
}

namespace {

// Writes one field of a product's record and nothing else, in one write transaction, so a
// star and a note set at the same time from two places both survive.
template <typename T> void setField(Database &db, qint64 id, const QString &assignment, const T &value)
{
    const bool own = sqlite3_get_autocommit(db.handle()) != 0;
    std::optional<Transaction> transaction;
    std::optional<Savepoint> savepoint;
    if (own)
        transaction.emplace(db);
    else
        savepoint.emplace(db);
    ensureTables(db);
    const std::optional<QString> name = referenceName(db, id);
    const QString stamp = formatStamp(nowUtc());
    Statement add = db.prepare(QStringLiteral(
        "INSERT OR IGNORE INTO user_items (item_id, last_name, changed) VALUES (?1, coalesce(?2, ''), ?3)"));
    add.bind(1, id);
    add.bind(2, name);
    add.bind(3, stamp);
    add.run();
    // The assignment comes from the two callers below, never from input.
    Statement set = db.prepare(
        QStringLiteral(
            "UPDATE user_items SET %1, last_name = coalesce(?3, last_name), changed = ?4 WHERE item_id = ?1")
            .arg(assignment));
    set.bind(1, id);
    set.bind(2, value);
    set.bind(3, name);
    set.bind(4, stamp);
    set.run();
    Statement empty = db.prepare(
        QStringLiteral("DELETE FROM user_items WHERE item_id = ?1 AND favourite = 0 AND note = ''"));
    empty.bind(1, id);
    empty.run();
    if (transaction)
        transaction->commit();
    else
        savepoint->release();
}

} // namespace

void setFavourite(Database &db, qint64 id, bool favourite)
{
    setField(db, id, QStringLiteral("favourite = ?2"), favourite ? 1 : 0);
}

QString noteTooLongMessage(qsizetype length)
{
    return QStringLiteral("Заметка слишком длинная: %1 знаков, можно не больше %2. Сократите её.")
        .arg(length)
        .arg(kMaxNoteLength);
}

void setNote(Database &db, qint64 id, const QString &note)
{
    if (note.size() > kMaxNoteLength)
        throw RamuxError(noteTooLongMessage(note.size()));
    setField(db, id, QStringLiteral("note = ?2"), note.trimmed().isEmpty() ? QStringLiteral("") : note);
}

void refreshLastNames(Database &db)
{
    if (!db.hasTable(kItems) || !db.hasTable(QStringLiteral("items")))
        return;
    db.exec(QStringLiteral(
        "UPDATE user_items SET last_name = (SELECT name FROM items WHERE items.id = user_items.item_id)"
        " WHERE EXISTS (SELECT 1 FROM items WHERE items.id = user_items.item_id AND items.name IS NOT NULL"
        " AND items.name IS NOT user_items.last_name)"));
}

QString setting(Database &db, const QString &key)
{
    if (!db.hasTable(kSettings))
        return {};
    Statement st = db.prepare(QStringLiteral("SELECT value FROM user_settings WHERE key = ?1"));
    st.bind(1, key);
    return st.step() && !st.text(0).isNull() ? st.text(0) : QString();
}

void setSetting(Database &db, const QString &key, const QString &value)
{
    ensureTables(db);
    Statement st = db.prepare(QStringLiteral("INSERT OR REPLACE INTO user_settings (key, value) VALUES (?1, ?2)"));
    st.bind(1, key);
    st.bind(2, value.isNull() ? QStringLiteral("") : value);
    st.run();
}

bool printNotes(Database &db)
{
    return setting(db, kPrintNotesKey) == QLatin1String("1");
}

void setPrintNotes(Database &db, bool on)
{
    setSetting(db, kPrintNotesKey, on ? QStringLiteral("1") : QStringLiteral("0"));
}

QDateTime nowUtc()
{
    QDateTime now = QDateTime::currentDateTimeUtc();
    now.setTime(QTime(now.time().hour(), now.time().minute(), now.time().second()));
    return now;
}

QString formatStamp(const QDateTime &stamp)
{
    return stamp.toUTC().toString(Qt::ISODate);
}

QDateTime parseStamp(const QString &text)
{
    if (text.isEmpty())
        return QDateTime();
    QDateTime stamp = QDateTime::fromString(text, Qt::ISODate);
    if (!stamp.isValid())
        stamp = QDateTime::fromString(text, Qt::ISODateWithMs);
    return stamp.isValid() ? stamp.toUTC() : QDateTime();
}

} // namespace userdata
