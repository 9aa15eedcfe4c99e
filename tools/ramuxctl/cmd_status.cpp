// ramuxctl status [--db PATH]: the "data as of" line of the settings page.
#include "command.h"

#include "db/runstatus.h"
#include "db/schema.h"
#include "db/sqlitedb.h"

namespace {

int status(CommandContext &ctx)
{
    const QString path = takeDatabasePath(ctx.args);
    if (!ctx.args.isEmpty()) {
        printErr(QStringLiteral("usage: ramuxctl status [--db PATH]\n"));
        return 2;
    }
    Database db;
    db.open(path, schema::databasePassword());
    printOut(runstatus::statusLine(runstatus::latestRun(db)) + QLatin1Char('\n'));
    return 0;
}

} // namespace

RAMUXCTL_COMMAND(status, "status", "status [--db PATH]", status);
