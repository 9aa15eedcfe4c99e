// ramuxctl page LINK [--item N] [--db PATH] [--packed]: the page a click on an internal link shows.
#include "command.h"

#include "db/browselists.h"
#include "db/schema.h"
#include "db/snapshot.h"
#include "db/sqlitedb.h"
#include "pages/linkpage.h"

namespace {

constexpr int kNothingOpens = 3;

int page(CommandContext &ctx)
{
    const QString path = takeDatabasePath(ctx.args);
    const QString itemText = takeOption(ctx.args, QStringLiteral("--item"));
    const bool packed = takeFlag(ctx.args, QStringLiteral("--packed"));
    if (ctx.args.size() != 1) {
        printErr(QStringLiteral("usage: ramuxctl page LINK [--item N] [--db PATH] [--packed]\n"));
        return 2;
    }
    std::optional<qint64> currentItem;
    if (!itemText.isEmpty()) {
        bool ok = false;
        currentItem = itemText.toLongLong(&ok);
        if (!ok) {
            printErr(QStringLiteral("--item needs an integer\n"));
            return 2;
        }
    }

    Database db;
    db.open(path, schema::databasePassword());
    ReferenceSnapshot snapshot;
    loadReferenceTables(db, snapshot);
    // The window's items table starts on its first row in name order.
    if (!currentItem && !snapshot.items.rows.isEmpty())
        currentItem = snapshot.items.rows.first().id;

    const NameLists names = buildNameLists(snapshot);
    const QVector<BrowseNode> products = buildProductTree(names);
    const QVector<BrowseNode> groups = buildSectionTree(snapshot);
    const QVector<BrowseNode> vendors = buildVendorList(snapshot);
    const PageSources sources{db, snapshot, names.russian, names.latin};

    std::optional<ComposedPage> result;
    try {
        result =
            composeLinkTarget(sources, BrowseTrees{products, groups, vendors}, ctx.args.first(), currentItem);
    } catch (const RamuxError &e) {
        // The window swallows these; the caller of a tool wants to know why nothing opened.
        printErr(e.message() + QLatin1Char('\n'));
        return kNothingOpens;
    }
    if (!result)
        return kNothingOpens;
    printOut(packed ? result->document : result->body);
    printOut(QStringLiteral("\n"));
    if (result->error) {
        printErr(*result->error + QLatin1Char('\n'));
        return 1;
    }
    return 0;
}

} // namespace

RAMUXCTL_COMMAND(page, "page", "page LINK [--item N] [--db PATH] [--packed]", page);
