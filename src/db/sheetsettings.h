// What the treatment sheet remembers in the user settings table: the clinic and the vet printed
// at its head (empty until set) and which instruction sections it prints.
#pragma once

#include <QString>

class Database;

namespace sheetsettings {

struct Settings
{
    QString clinic;
    QString vet;
    bool sideEffects = false;
    bool storage = false;
};

// Defaults on a file without the table.
Settings load(Database &db);
void save(Database &db, const Settings &settings);

} // namespace sheetsettings
