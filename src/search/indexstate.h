// The text index's state row: the term format it holds, whether it is complete, how far a build
// has come, and the items position (options.lu_items) its rows are current with. The position
// is what lets a second writer of the file notice an index that missed changed products: every
// sync page that keeps the index current moves it in the page's own transaction.
#pragma once

#include <QString>
#include <limits>
#include <optional>

class Database;

namespace textindex {

enum class State { Missing, Building, Complete };
// What the state row says, never more: a missing or unreadable state is Missing.
State state(Database &db);
// Whether the index may be searched: the state says complete and the table answers.
bool isUsable(Database &db);
// Whether the worker must build: no index, an unfinished one, another format, one current with
// another items position than the file's (or with none recorded), or a complete one that
// disagrees with the products (row counts) or does not answer.
bool needsBuild(Database &db);
// Marks the index for a rebuild from the start (the terms can no longer be trusted).
void markStale(Database &db);

namespace indexstate {

// The FTS table and the table of the state row.
const QString &indexTable();
const QString &stateTable();

// Before the first product: a build starts from here.
constexpr qint64 kNoId = std::numeric_limits<qint64>::min();

struct StateRow
{
    bool present = false;
    qint64 version = 0;
    bool complete = false;
    qint64 nextId = kNoId;
    std::optional<qint64> position; // nullopt: a row written before positions were recorded
};
// A missing or unreadable state is an absent row.
StateRow readState(Database &db);

// The products' position the index must be current with: options.lu_items.
qint64 itemsPosition(Database &db);

// Creates the state table with the row of a build about to start (inside the caller's
// transaction), at the file's current items position.
void createStateTable(Database &db);
// A build's batch is committed: the next product to go on from, whether the index is complete,
// and the items position its rows are current with.
void recordBatch(Database &db, qint64 nextId, bool complete, qint64 position);

// Whether the index holds every change up to `position`, the items position a sync page starts
// from: the state row records that very position. Asked inside the page's transaction.
bool isCurrentWith(Database &db, qint64 position);
// Records, inside a sync page's transaction, that the index now holds its rows too.
void recordPosition(Database &db, qint64 position);

} // namespace indexstate

} // namespace textindex
