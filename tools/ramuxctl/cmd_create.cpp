// ramuxctl create PATH: an empty database of the schema with its one options row.
#include "command.h"

#include "db/schema.h"

namespace {
int create(CommandContext &ctx)
{
    if (ctx.args.size() != 1) {
        printErr(QStringLiteral("usage: ramuxctl create PATH\n"));
        return 2;
    }
    schema::createDatabaseFile(ctx.args.first());
    return 0;
}
} // namespace

RAMUXCTL_COMMAND(create, "create", "create PATH", create);
