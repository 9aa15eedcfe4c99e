#include "db/sheetsettings.h"

#include "db/userdata.h"

namespace sheetsettings {

namespace {

const QString kClinic = QStringLiteral("sheet_clinic");
const QString kVet = QStringLiteral("sheet_vet");
const QString kSideEffects = QStringLiteral("sheet_side_effects");
const QString kStorage = QStringLiteral("sheet_storage");

} // namespace

Settings load(Database &db)
{
    Settings s;
    s.clinic = userdata::setting(db, kClinic);
    s.vet = userdata::setting(db, kVet);
    s.sideEffects = userdata::setting(db, kSideEffects) == QLatin1String("1");
    s.storage = userdata::setting(db, kStorage) == QLatin1String("1");
    return s;
}

void save(Database &db, const Settings &s)
{
    userdata::setSetting(db, kClinic, s.clinic.trimmed());
    userdata::setSetting(db, kVet, s.vet.trimmed());
    userdata::setSetting(db, kSideEffects, s.sideEffects ? QStringLiteral("1") : QStringLiteral("0"));
    userdata::setSetting(db, kStorage, s.storage ? QStringLiteral("1") : QStringLiteral("0"));
}

} // namespace sheetsettings
