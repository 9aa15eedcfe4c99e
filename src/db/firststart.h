// First start of an installed program: the user's own copy of the database the installation ships.
#pragma once

#include <QString>

// Where an installation keeps its initial database: <program folder>/../share/ramux/Ramux.rxd.
QString shippedDatabaseFile(const QString &programPath);

struct FirstStartResult
{
    enum class Outcome {
        NotNeeded,   // one of the two places of the location rule holds a database already
        NothingShipped, // no initial database beside the program: the location rule goes on as before
        Copied,      // the user's copy is in place (or another start put one there meanwhile)
        FolderFailed, // the copy found no room, or no file at its place; `message` says why
        Damaged,     // the shipped file is no database of ours; `message` is the store's text
    };
    Outcome outcome = Outcome::NotNeeded;
    QString message;
    QString path; // the user's database file
};

// When neither <sharedDataFolder>/Ramux/Ramux.rxd nor the program-side file exists and the
// installation ships an initial database, copies it to <sharedDataFolder>/Ramux/Ramux.rxd.
// The copy is written under a temporary name in the same folder, synced, checked by opening it,
// and only then linked into place, so the file is never half there and never overwrites one.
FirstStartResult provideInitialDatabase(const QString &sharedDataFolder, const QString &programPath);

// The same for this process: the shared data folder and the program's own path.
FirstStartResult provideInitialDatabase();
