// ramuxctl page LINK [--item N] [--db PATH] [--packed | --pdf FILE]: the page a click on an
// internal link shows, as text or written to a PDF file as the window prints it.
#include "command.h"

#include "db/browselists.h"
#include "db/schema.h"
#include "db/snapshot.h"
#include "db/sqlitedb.h"
#include "pages/linkpage.h"
#include "pages/render/pagedocument.h"
#include "pages/render/pageresources.h"

#include <QUrl>

namespace {

constexpr int kNothingOpens = 3;
constexpr char kUsage[] = "page LINK [--item N] [--db PATH] [--packed | --pdf FILE]";

// The packed page on paper, with the resources the window's view would serve it.
int writePdf(const QString &packed, const QString &file)
{
    QVector<PagePart> parts;
    splitPackedPage(packed, parts);
    PageResourceServer server;
    server.stream = [&parts](const QString &reference) { return pageStream(parts, reference); };
    const QString html = pageHtml(parts);
    server.references = collectReferences(html);
    QString error;
    const int pages = writePagePdf(
        html, [&server](int type, const QUrl &name) { return server.serve(type, name); }, file, &error);
    if (pages == 0) {
        printErr(QStringLiteral("cannot write %1: %2\n").arg(file, error));
        return 1;
    }
    printOut(QStringLiteral("%1: %2 page(s)\n").arg(file).arg(pages));
    return 0;
}

int page(CommandContext &ctx)
{
    const QString path = takeDatabasePath(ctx.args);
    const QString itemText = takeOption(ctx.args, QStringLiteral("--item"));
    const bool packed = takeFlag(ctx.args, QStringLiteral("--packed"));
    const QString pdf = takeOption(ctx.args, QStringLiteral("--pdf"));
    if (ctx.args.size() != 1 || (packed && !pdf.isEmpty())) {
        printErr(QStringLiteral("usage: ramuxctl %1\n").arg(QLatin1String(kUsage)));
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
    if (!pdf.isEmpty()) {
        const int written = writePdf(result->document, pdf);
        if (written == 0 && result->error) {
            printErr(*result->error + QLatin1Char('\n'));
            return 1;
        }
        return written;
    }
    printOut(packed ? result->document : result->body);
    printOut(QStringLiteral("\n"));
    if (result->error) {
        printErr(*result->error + QLatin1Char('\n'));
        return 1;
    }
    return 0;
}

} // namespace

RAMUXCTL_COMMAND(page, "page", kUsage, page);
