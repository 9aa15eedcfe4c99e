// ramuxctl find TEXT [--species S] [--db PATH]: the forgiving product search, one line per
// product; with a species, only the products with rows for it.
// ramuxctl index [--db PATH | --content FILE]: builds the full-text index of the page texts
// anew, in a client database or in a content file (for the web reader's search).
#include "answerargs.h"
#include "command.h"

#include "answers/animalfilter.h"
#include "content/contentdb.h"

#include "db/browselists.h"
#include "db/schema.h"
#include "db/snapshot.h"
#include "db/sqlitedb.h"
#include "search/finder.h"
#include "search/textfold.h"
#include "search/textindex.h"

#include <QElapsedTimer>

namespace {

constexpr int kNoHits = 3;
constexpr int kBadUsage = 2;

QString oneLine(QString text)
{
    for (QChar &c : text)
        if (c.unicode() < 32)
            c = QLatin1Char(' ');
    return text;
}

int findCommand(CommandContext &ctx)
{
    const QString path = takeDatabasePath(ctx.args);
    const QString speciesName = takeOption(ctx.args, QStringLiteral("--species"));
    if (ctx.args.size() != 1) {
        printErr(QStringLiteral("usage: ramuxctl find TEXT [--species S] [--db PATH]\n"));
        return kBadUsage;
    }
    const QString typed = ctx.args.first();
    if (textfold::cleanQuery(typed).size() < 3) {
        printErr(QStringLiteral("ramuxctl find: the text needs at least 3 characters\n"));
        return kBadUsage;
    }
    Database db;
    db.open(path, schema::databasePassword());
    ReferenceSnapshot snapshot;
    loadReferenceTables(db, snapshot);
    NameLists names = buildNameLists(snapshot);
    if (!speciesName.isEmpty()) {
        const std::optional<Species> species = speciesArgument(db, speciesName);
        if (!species)
            return kBadUsage;
        const AnimalFilter filter = loadAnimalFilter(db, *species);
        names.russian = namesKept(names.russian, filter);
        names.latin = namesKept(names.latin, filter);
    }
    const finder::ProductCatalog catalog = finder::buildProductCatalog(names.russian, names.latin);
    bool textsSearched = false;
    const QVector<finder::ProductHit> hits = finder::findProducts(db, catalog, typed, &textsSearched);
    if (!textsSearched)
        printErr(QStringLiteral("ramuxctl find: the text index is not built; names only (ramuxctl index)\n"));
    QString out;
    for (const finder::ProductHit &hit : hits) {
        out += QString::number(hit.id) + QLatin1Char('\t') + finder::howText(hit) + QLatin1Char('\t') +
               oneLine(finder::productName(snapshot, hit.id)) + QLatin1Char('\t') +
               (hit.how == finder::How::Text ? oneLine(hit.text.fragment) : QString()) + QLatin1Char('\n');
    }
    printOut(out);
    return hits.isEmpty() ? kNoHits : 0;
}

int indexCommand(CommandContext &ctx)
{
    const QString contentPath = takeOption(ctx.args, QStringLiteral("--content"));
    const bool content = !contentPath.isEmpty();
    const QString path = content ? contentPath : takeDatabasePath(ctx.args);
    if (!ctx.args.isEmpty()) {
        printErr(QStringLiteral("usage: ramuxctl index [--db PATH | --content FILE]\n"));
        return kBadUsage;
    }
    QElapsedTimer timer;
    timer.start();
    int count = 0;
    if (content) {
        // Servers on the file go on answering from their read snapshots meanwhile.
        ContentDatabase file(path);
        file.database().setBusyTimeout(30000);
        count = textindex::rebuild(file.database());
    } else {
        Database db;
        db.open(path, schema::databasePassword());
        count = textindex::rebuild(db);
    }
    printOut(
        QStringLiteral("indexed %1 products in %2 s\n").arg(count).arg(timer.elapsed() / 1000.0, 0, 'f', 1));
    return 0;
}

} // namespace

RAMUXCTL_COMMAND(find, "find", "find TEXT [--species S] [--db PATH]", findCommand);
RAMUXCTL_COMMAND(index, "index", "index [--db PATH | --content FILE]", indexCommand);
