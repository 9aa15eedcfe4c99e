// ramuxctl demo PATH [--content]: the demo reference, packed from the demo sources.
// Without --content PATH is a client database, exactly what a synchronisation of an empty
// database from "ramux-server --demo" leaves, and it remembers (in the user settings) that its
// content is the demo; with --content it is a server content database.
#include "command.h"

#include "content/content.h"
#include "content/contentdb.h"
#include "content/contentindex.h"
#include "content/sourcereader.h"
#include "db/demoreference.h"
#include "db/schema.h"
#include "db/sqlitedb.h"

namespace {

int demo(CommandContext &ctx)
{
    const bool content = takeFlag(ctx.args, QStringLiteral("--content"));
    QString dir = takeOption(ctx.args, QStringLiteral("--from"), demoContentDir());
    if (ctx.args.size() != 1) {
        printErr(QStringLiteral("usage: ramuxctl demo PATH [--content] [--from DIR]\n"));
        return 2;
    }
    const ContentSet set = loadDemoContent(dir);
    if (content) {
        ContentDatabase::create(ctx.args.first(), set);
        contentindex::preparePublished(ctx.args.first());
    } else {
        writeClientDatabase(set, ctx.args.first());
        Database db;
        db.open(ctx.args.first(), schema::databasePassword());
        demoreference::markWrittenFromDemo(db);
    }
    return 0;
}

} // namespace

RAMUXCTL_COMMAND(demo, "demo", "demo PATH [--content] [--from DIR]", demo);
