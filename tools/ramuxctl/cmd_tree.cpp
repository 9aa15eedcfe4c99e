// ramuxctl tree products|groups|vendors [--db PATH]: a browse list as the window builds it.
#include "command.h"

#include "db/browselists.h"
#include "db/schema.h"
#include "db/snapshot.h"
#include "db/sqlitedb.h"

namespace {
int tree(CommandContext &ctx)
{
    const QString path = takeDatabasePath(ctx.args);
    static const QStringList kinds{QStringLiteral("products"), QStringLiteral("groups"),
                                   QStringLiteral("vendors")};
    if (ctx.args.size() != 1 || !kinds.contains(ctx.args.first())) {
        printErr(QStringLiteral("usage: ramuxctl tree products|groups|vendors [--db PATH]\n"));
        return 2;
    }
    Database db;
    db.open(path, schema::databasePassword());
    ReferenceSnapshot snapshot;
    loadReferenceTables(db, snapshot);
    const QString &kind = ctx.args.first();
    QVector<BrowseNode> nodes;
    if (kind == kinds[0])
        nodes = buildProductTree(buildNameLists(snapshot));
    else if (kind == kinds[1])
        nodes = buildSectionTree(snapshot);
    else
        nodes = buildVendorList(snapshot);
    printOut(formatTree(nodes));
    return 0;
}
} // namespace

RAMUXCTL_COMMAND(tree, "tree", "tree products|groups|vendors [--db PATH]", tree);
