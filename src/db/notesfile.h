// Favourites and notes as a JSON file, to carry them to another computer:
// {"format": "ramux-notes", "version": 1, "items": [{"id", "name", "favourite", "note", "changed"}],
//  "sheets": [kept treatment sheets]}; a reader that does not know "sheets" ignores it.
#pragma once

#include <QByteArray>
#include <QString>

class Database;

namespace notesfile {

constexpr int kVersion = 1;

// Every record of the user data, by id, with the product's current (or last known) name.
QByteArray exportNotes(Database &db);

struct ImportResult
{
    int taken = 0; // records that won over what the file held, or were new
    int kept = 0;  // records of the file that lost to a later change here
};

// Merges a file into the user data by product id (kept sheets by their id, alike): per product the record with the later
// `changed` wins whole (a tie keeps what is here). Products the reference lacks are kept.
// A file that does not parse, is of another format or a later version, or holds a record
// that is not sound is refused whole with RamuxError; nothing is written then.
ImportResult importNotes(Database &db, const QByteArray &json);

// The same for files, with the messages the user is shown.
void exportToFile(Database &db, const QString &path);
ImportResult importFromFile(Database &db, const QString &path);

} // namespace notesfile
