// ramuxctl search TEXT [--latin] [--species S] [--db PATH]: what the name search offers for
// TEXT; with a species, among the products with rows for it, as the window's narrowed box.
#include "answerargs.h"
#include "command.h"

#include "answers/animalfilter.h"
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
    const QString speciesName = takeOption(ctx.args, QStringLiteral("--species"));
    if (ctx.args.size() != 1) {
        printErr(QStringLiteral("usage: ramuxctl search TEXT [--latin] [--species S] [--db PATH]\n"));
        return 2;
    }
    Database db;
    db.open(path, schema::databasePassword());
    ReferenceSnapshot snapshot;
    loadReferenceTables(db, snapshot);
    const NameLists names = buildNameLists(snapshot);
    NameList list = latin ? names.latin : names.russian;
    if (!speciesName.isEmpty()) {
        const std::optional<Species> species = speciesArgument(db, speciesName);
        if (!species)
            return 2;
        list = namesKept(list, loadAnimalFilter(db, *species));
    }
    QString out;
    for (const NameEntry &e : searchNames(list, ctx.args.first()))
        out += QString::number(e.id) + QLatin1Char('\t') + e.key + QLatin1Char('\n');
    printOut(out);
    return 0;
}
} // namespace

RAMUXCTL_COMMAND(search, "search", "search TEXT [--latin] [--species S] [--db PATH]", search);
