// ramuxctl create PATH [--server URL]: an empty database of the schema with its one options row;
// --server stores that update-server address in the row (what a package ships to its users).
#include "command.h"

#include "db/schema.h"
#include "db/sqlitedb.h"

namespace {
int create(CommandContext &ctx)
{
    const QString server = takeOption(ctx.args, QStringLiteral("--server"));
    if (ctx.args.size() != 1) {
        printErr(QStringLiteral("usage: ramuxctl create PATH [--server URL]\n"));
        return 2;
    }
    schema::createDatabaseFile(ctx.args.first());
    if (!server.isEmpty()) {
        Database db;
        db.open(ctx.args.first(), schema::databasePassword());
        Statement st = db.prepare(QStringLiteral(
            "UPDATE options SET o_upd_serv = ?1 WHERE rowid = (SELECT min(rowid) FROM options)"));
        st.bind(1, server);
        st.run();
    }
    return 0;
}
} // namespace

RAMUXCTL_COMMAND(create, "create", "create PATH [--server URL]", create);
