// One row per sheet, its body as JSON: the sheet is read and written whole, and the notes file
// carries the same object.
#include "db/keptsheets.h"

#include "db/sqlitedb.h"
#include "db/userdata.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QUuid>
#include <algorithm>

namespace keptsheets {

namespace {

const QString kTable = QStringLiteral("user_sheets");

void ensureTable(Database &db)
{
    db.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS user_sheets (id TEXT PRIMARY KEY, changed TEXT NOT NULL,"
                           " body TEXT NOT NULL)"));
}

bool readText(const QJsonObject &o, const char *key, QString &out)
{
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isUndefined() || v.isNull()) {
        out.clear();
        return true;
    }
    if (!v.isString() || v.toString().size() > kMaxText)
        return false;
    out = v.toString();
    // A lone surrogate from a \uD800 escape could not be stored as UTF-8.
    for (qsizetype i = 0; i < out.size(); ++i) {
        if (out.at(i).isHighSurrogate() && i + 1 < out.size() && out.at(i + 1).isLowSurrogate())
            ++i;
        else if (out.at(i).isSurrogate())
            return false;
    }
    return true;
}

std::optional<Sheet> parseBody(const QString &body)
{
    const QJsonDocument doc = QJsonDocument::fromJson(body.toUtf8());
    QString why;
    return doc.isObject() ? fromJson(doc.object(), &why) : std::nullopt;
}

} // namespace

QJsonObject toJson(const Sheet &s)
{
    QJsonArray lines;
    for (const Line &l : s.lines) {
        QJsonObject o;
        o.insert(QStringLiteral("item"), double(l.itemId));
        o.insert(QStringLiteral("name"), l.name);
        o.insert(QStringLiteral("route"), l.route);
        o.insert(QStringLiteral("indication"), l.indication);
        o.insert(QStringLiteral("form"), l.form);
        o.insert(QStringLiteral("last"), l.lastDose);
        o.insert(QStringLiteral("printed"), l.printed);
        o.insert(QStringLiteral("quote"), l.quote);
        lines.append(o);
    }
    QJsonObject o;
    o.insert(QStringLiteral("id"), s.id);
    o.insert(QStringLiteral("changed"), userdata::formatStamp(s.changed.isValid() ? s.changed : userdata::nowUtc()));
    o.insert(QStringLiteral("species"), s.species);
    o.insert(QStringLiteral("weight"), s.weight);
    o.insert(QStringLiteral("animal"), s.animal);
    o.insert(QStringLiteral("owner"), s.owner);
    o.insert(QStringLiteral("date"), s.date.toString(Qt::ISODate));
    o.insert(QStringLiteral("course"), s.course);
    o.insert(QStringLiteral("lines"), lines);
    return o;
}

std::optional<Sheet> fromJson(const QJsonObject &o, QString *why)
{
    const auto fail = [why](const QString &reason) {
        if (why)
            *why = reason;
        return std::nullopt;
    };
    Sheet s;
    QString date, changed;
    if (!readText(o, "id", s.id) || s.id.isEmpty() || s.id.size() > 64)
        return fail(QStringLiteral("у листа назначения нет номера"));
    if (!readText(o, "changed", changed) || !(s.changed = userdata::parseStamp(changed)).isValid())
        return fail(QStringLiteral("у листа назначения нет даты изменения"));
    if (!readText(o, "species", s.species) || !readText(o, "weight", s.weight) || !readText(o, "animal", s.animal) ||
        !readText(o, "owner", s.owner) || !readText(o, "date", date) || !readText(o, "course", s.course))
        return fail(QStringLiteral("поле листа назначения не текст"));
    s.date = QDate::fromString(date, Qt::ISODate);
    const QJsonValue lines = o.value(QStringLiteral("lines"));
    if (!lines.isArray() || lines.toArray().size() > kMaxLines)
        return fail(QStringLiteral("у листа назначения нет списка препаратов"));
    for (const QJsonValue &v : lines.toArray()) {
        const QJsonObject lo = v.toObject();
        Line l;
        const double item = lo.value(QStringLiteral("item")).toDouble(-1);
        if (!v.isObject() || item < 0 || item > 2147483647.0 || item != qint64(item))
            return fail(QStringLiteral("у строки листа назначения нет номера препарата"));
        l.itemId = qint64(item);
        if (!readText(lo, "name", l.name) || !readText(lo, "route", l.route) ||
            !readText(lo, "indication", l.indication) || !readText(lo, "form", l.form) ||
            !readText(lo, "last", l.lastDose) || !readText(lo, "printed", l.printed) || !readText(lo, "quote", l.quote))
            return fail(QStringLiteral("поле строки листа назначения не текст"));
        s.lines << l;
    }
    return s;
}

QList<Sheet> all(Database &db)
{
    QList<Sheet> sheets;
    if (!db.hasTable(kTable))
        return sheets;
    Statement st = db.prepare(QStringLiteral("SELECT body FROM user_sheets"));
    while (st.step()) {
        if (auto s = parseBody(st.text(0)))
            sheets << *s;
    }
    std::sort(sheets.begin(), sheets.end(), [](const Sheet &a, const Sheet &b) {
        if (a.date != b.date)
            return a.date > b.date;
        return a.animal + a.owner < b.animal + b.owner;
    });
    return sheets;
}

std::optional<Sheet> find(Database &db, const QString &id)
{
    if (!db.hasTable(kTable))
        return std::nullopt;
    Statement st = db.prepare(QStringLiteral("SELECT body FROM user_sheets WHERE id = ?1"));
    st.bind(1, id);
    return st.step() ? parseBody(st.text(0)) : std::nullopt;
}

void store(Database &db, Sheet &sheet, bool keepStamp)
{
    ensureTable(db);
    if (sheet.id.isEmpty())
        sheet.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    if (!keepStamp || !sheet.changed.isValid())
        sheet.changed = userdata::nowUtc();
    Statement st = db.prepare(QStringLiteral("INSERT OR REPLACE INTO user_sheets (id, changed, body) VALUES (?1, ?2, ?3)"));
    st.bind(1, sheet.id);
    st.bind(2, userdata::formatStamp(sheet.changed));
    st.bind(3, QString::fromUtf8(QJsonDocument(toJson(sheet)).toJson(QJsonDocument::Compact)));
    st.run();
}

void remove(Database &db, const QString &id)
{
    if (!db.hasTable(kTable))
        return;
    Statement st = db.prepare(QStringLiteral("DELETE FROM user_sheets WHERE id = ?1"));
    st.bind(1, id);
    st.run();
}

Sheet copyForAnotherAnimal(const Sheet &sheet)
{
    Sheet copy;
    copy.species = sheet.species;
    copy.date = QDate::currentDate();
    for (Line line : sheet.lines) {
        line.lastDose.clear();
        line.printed.clear();
        copy.lines << line;
    }
    return copy;
}

QString title(const Sheet &s)
{
    QString who = s.animal.trimmed();
    if (!s.owner.trimmed().isEmpty())
        who += who.isEmpty() ? s.owner.trimmed() : QStringLiteral(" (%1)").arg(s.owner.trimmed());
    if (who.isEmpty())
        who = QStringLiteral("без имени");
    return QStringLiteral("%1 — %2").arg(s.date.toString(QStringLiteral("dd.MM.yyyy")), who);
}

} // namespace keptsheets
