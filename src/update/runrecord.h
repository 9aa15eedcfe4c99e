// The data update with its record: every run the update worker or `ramuxctl sync` makes is
// written to the user data, so the settings page can say how current the reference is.
#pragma once

#include "db/runstatus.h"

class Database;
class UpdateHost;
struct SyncStats;
struct UpdateFields;

// A run succeeded when every table's pages were read to the end; otherwise the first reason
// a table stopped short is the run's. `thrownError` is the text of an error that ended the
// synchronisation, empty when it returned.
RunRecord makeRunRecord(const SyncStats &stats, const QString &thrownError);

// SyncTables, with the last known names of the user's products refreshed before it (so a
// product the run deletes keeps its name) and the run recorded after it, also when it throws.
// Nothing is recorded when data updates are switched off. A record that cannot be written
// never changes how the run ends.
void SyncTablesRecorded(Database &db, UpdateFields &fields, UpdateHost &host, SyncStats &stats);
