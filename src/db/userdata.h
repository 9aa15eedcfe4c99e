// The user's own data in the reference file: favourites, notes and a few personal switches.
// It lives in tables of its own (user_items, user_settings) that the synchronisation never
// opens: it writes only the nine data tables and the options row, by names it holds itself.
#pragma once

#include <QDateTime>
#include <QString>
#include <QVector>
#include <optional>

class Database;

namespace userdata {

// A note is a short remark, not a document; longer text is refused, never cut.
constexpr int kMaxNoteLength = 10000;

struct UserItem
{
    qint64 id = 0;          // items.id of the product, also after the product left the reference
    bool favourite = false;
    QString note;           // plain text, line breaks kept; empty: no note
    QString lastName;       // the product's name when it was last seen in the reference
    QDateTime changed;      // UTC; the later record wins an import

    bool isEmpty() const { return !favourite && note.isEmpty(); }
};

// Creates the user tables when the file lacks them (an older or freshly synchronised file).
void ensureTables(Database &db);

// Reads tolerate a file without the user tables: no record.
std::optional<UserItem> item(Database &db, qint64 id);
QVector<UserItem> allItems(Database &db); // by id

// The product's current name in the reference, if it is there.
std::optional<QString> referenceName(Database &db, qint64 id);

// Star and note changes are stored at once, stamped now; a record left with neither star nor
// note is removed. The product's current name is kept as its last known name.
void setFavourite(Database &db, qint64 id, bool favourite);
// Throws RamuxError for a note over kMaxNoteLength characters (nothing is stored then).
// A note of blanks only counts as empty and removes the note.
void setNote(Database &db, qint64 id, const QString &note);
// Writes the whole record as given (an empty one removes the row); for the import.
void store(Database &db, const UserItem &item);

// Copies the current reference names into last_name, so a product that leaves the reference
// later is still shown by the name it last had.
void refreshLastNames(Database &db);

// The refusal text for an over-long note.
QString noteTooLongMessage(qsizetype length);

// One value of the user settings table: empty when the file has no table or no such key.
QString setting(Database &db, const QString &key);
// Creates the user tables when the file lacks them.
void setSetting(Database &db, const QString &key, const QString &value);

// "Печатать мои заметки": off unless the user ticked it.
bool printNotes(Database &db);
void setPrintNotes(Database &db, bool on);

// UTC, whole seconds: the form the export writes and the import compares.
QDateTime nowUtc();
QString formatStamp(const QDateTime &stamp);
QDateTime parseStamp(const QString &text); // invalid on anything but an ISO date-time

} // namespace userdata
