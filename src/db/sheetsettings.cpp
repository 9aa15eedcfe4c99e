#include "db/sheetsettings.h"

#include "db/sqlitedb.h"
#include "db/userdata.h"

namespace sheetsettings {

namespace {

const char *const kClinic = "sheet_clinic";
const char *const kVet = "sheet_vet";
const char *const kSideEffects = "sheet_side_effects";
const char *const kStorage = "sheet_storage";

QString value(Database &db, const char *key)
{
    Statement st = db.prepare(QStringLiteral("SELECT value FROM user_settings WHERE key = ?1"));
    st.bind(1, QString::fromLatin1(key));
    return st.step() && !st.text(0).isNull() ? st.text(0) : QString();
}

void put(Database &db, const char *key, const QString &text)
{
    Statement st = db.prepare(QStringLiteral("INSERT OR REPLACE INTO user_settings (key, value) VALUES (?1, ?2)"));
    st.bind(1, QString::fromLatin1(key));
    st.bind(2, text.isNull() ? QStringLiteral("") : text);
    st.run();
}

} // namespace

Settings load(Database &db)
{
    Settings s;
    if (!db.hasTable(QStringLiteral("user_settings")))
        return s;
    s.clinic = value(db, kClinic);
    s.vet = value(db, kVet);
    s.sideEffects = value(db, kSideEffects) == QLatin1String("1");
    s.storage = value(db, kStorage) == QLatin1String("1");
    return s;
}

void save(Database &db, const Settings &s)
{
    userdata::ensureTables(db);
    put(db, kClinic, s.clinic.trimmed());
    put(db, kVet, s.vet.trimmed());
    put(db, kSideEffects, s.sideEffects ? QStringLiteral("1") : QStringLiteral("0"));
    put(db, kStorage, s.storage ? QStringLiteral("1") : QStringLiteral("0"));
}

} // namespace sheetsettings
