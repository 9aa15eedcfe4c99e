// Treatment sheets the user kept, in a user table the synchronisation never writes. A line
// keeps its product's id and the calculator's choice as text (route, indication, form), never
// the ids of rows a republish may move; and what was printed, to tell what changed since.
#pragma once

#include <QDate>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <optional>

class Database;

namespace keptsheets {

struct Line
{
    qint64 itemId = 0;
    QString name; // the product's name when kept
    QString route, indication, form;
    QString lastDose; // "DD.MM.YYYY HH:MM" or empty
    QString printed;  // the line's result as last printed; empty before printing
    QString quote;    // the instruction's words it quoted
};

struct Sheet
{
    QString id; // a UUID, kept across export and import
    QDateTime changed; // UTC; the later sheet wins an import
    QString species;   // the species' code
    QString weight;
    QString animal;
    QString owner;
    QDate date;
    QString course; // the one time for all lines, as typed
    QList<Line> lines;
};

// Bounds of a sheet that came from a file.
constexpr int kMaxLines = 100;
constexpr int kMaxText = 2000;

// Newest first by date, then by patient.
QList<Sheet> all(Database &db);
std::optional<Sheet> find(Database &db, const QString &id);
// Stamps `changed` now unless the sheet carries one (the import's); a sheet without an id gets one.
void store(Database &db, Sheet &sheet, bool keepStamp = false);
void remove(Database &db, const QString &id);
// The same lines for the next animal: a new id, the patient and the times cleared.
Sheet copyForAnotherAnimal(const Sheet &sheet);

QJsonObject toJson(const Sheet &sheet);
// None with the reason in `why` for a sheet that is not sound.
std::optional<Sheet> fromJson(const QJsonObject &object, QString *why);

// "10.12.2026 — Бурёнка (Иванов)", how the list names a sheet.
QString title(const Sheet &sheet);

} // namespace keptsheets
