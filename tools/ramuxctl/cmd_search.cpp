// ramuxctl search TEXT [--latin] [--db PATH]: what the name search offers for TEXT.
#include "command.h"

#include "db/browselists.h"
#include "db/namesearch.h"
#include "db/schema.h"
#include "db/snapshot.h"
#include "db/sqlitedb.h"

namespace {
int search(CommandContext &ctx)
{
    const QString path = takeDatabasePath(ctx.args);
    const bool latin = takeFlag(ctx.args, QStringLiteral("--latin"));
    if (ctx.args.size() != 1) {
        printErr(QStringLiteral("usage: ramuxctl search TEXT [--latin] [--db PATH]\n"));
        return 2;
    }
    Database db;
    db.open(path, schema::databasePassword());
    ReferenceSnapshot snapshot;
    loadReferenceTables(db, snapshot);
    const NameLists names = buildNameLists(snapshot);
    QString out;
    for (const NameEntry &e : searchNames(latin ? names.latin : names.russian, ctx.args.first()))
        out += QString::number(e.id) + QLatin1Char('\t') + e.key + QLatin1Char('\n');
    printOut(out);
    return 0;
}
} // namespace

RAMUXCTL_COMMAND(search, "search", "search TEXT [--latin] [--db PATH]", search);
