// Whether a reference file holds the demo content, so that what the owner takes home says so.
// The demo's greeting page carries an element of class "demo-content"; the client keeps the
// greeting the server last sent (options.s_splash). A file written by `ramuxctl demo` has no
// greeting yet and remembers its origin in the user settings until a greeting is stored.
#pragma once

#include <QStringView>

class Database;

namespace demoreference {

// A greeting page's HTML marks the demo content.
bool marksDemo(QStringView html);
// The stored greeting decides when there is one (the server's latest word on its content),
// else the origin the demo writer left. False on a file that cannot tell.
bool holdsDemo(Database &db);
// Written by the demo writer beside its tables.
void markWrittenFromDemo(Database &db);

} // namespace demoreference
