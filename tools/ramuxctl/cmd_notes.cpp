// ramuxctl notes list|star ID|unstar ID|set ID TEXT|export FILE|import FILE [--db PATH]:
// the user's favourites and notes, for scripts and tests.
#include "command.h"

#include "db/notesfile.h"
#include "db/schema.h"
#include "db/sqlitedb.h"
#include "db/userdata.h"
#include "pages/favouritespage.h"

#include <limits>

namespace {

constexpr int kUsage = 2;
constexpr int kUnknownProduct = 3;

int usage()
{
    printErr(QStringLiteral("usage: ramuxctl notes list|star ID|unstar ID|set ID TEXT|export FILE|import FILE [--db PATH]\n"));
    return kUsage;
}

// One field of a list line: backslashes, line breaks, tabs and NUL written as escapes.
QString escapeField(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '\\': out += QLatin1String("\\\\"); break;
        case '\n': out += QLatin1String("\\n"); break;
        case '\r': out += QLatin1String("\\r"); break;
        case '\t': out += QLatin1String("\\t"); break;
        case 0: out += QLatin1String("\\0"); break;
        default: out += c;
        }
    }
    return out;
}

std::optional<qint64> parseId(const QString &text)
{
    bool ok = false;
    const qint64 id = text.toLongLong(&ok, 10);
    if (!ok || id < std::numeric_limits<qint32>::min() || id > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return id;
}

int list(Database &db)
{
    for (const userdata::UserItem &item : userdata::allItems(db)) {
        const std::optional<QString> name = userdata::referenceName(db, item.id);
        const QString shown = name ? *name : item.lastName + favouritespage::goneMark();
        printOut(QStringLiteral("%1\t%2\t%3\t%4\n")
                     .arg(item.id)
                     .arg(item.favourite ? 1 : 0)
                     .arg(escapeField(shown), escapeField(item.note)));
    }
    return 0;
}

int notes(CommandContext &ctx)
{
    const QString path = takeDatabasePath(ctx.args);
    if (ctx.args.isEmpty())
        return usage();
    const QString action = ctx.args.takeFirst();
    const qsizetype wanted = action == QLatin1String("list")                                     ? 0
                             : action == QLatin1String("set")                                    ? 2
                             : (action == QLatin1String("star") || action == QLatin1String("unstar")
                                || action == QLatin1String("export") || action == QLatin1String("import")) ? 1
                                                                                                  : -1;
    if (wanted < 0 || ctx.args.size() != wanted)
        return usage();

    Database db;
    db.open(path, schema::databasePassword());
    if (action == QLatin1String("list"))
        return list(db);
    if (action == QLatin1String("export")) {
        notesfile::exportToFile(db, ctx.args.first());
        return 0;
    }
    userdata::ensureTables(db);
    if (action == QLatin1String("import")) {
        const notesfile::ImportResult result = notesfile::importFromFile(db, ctx.args.first());
        printErr(QStringLiteral("imported %1, kept %2\n").arg(result.taken).arg(result.kept));
        return 0;
    }

    const std::optional<qint64> id = parseId(ctx.args.first());
    if (!id) {
        printErr(QStringLiteral("ID must be an integer\n"));
        return kUsage;
    }
    if (!userdata::referenceName(db, *id) && !userdata::item(db, *id)) {
        printErr(QStringLiteral("no product %1 in the reference or the notes\n").arg(*id));
        return kUnknownProduct;
    }
    if (action == QLatin1String("set"))
        userdata::setNote(db, *id, ctx.args.at(1)); // an over-long note throws: exit 1, nothing stored
    else
        userdata::setFavourite(db, *id, action == QLatin1String("star"));
    return 0;
}

} // namespace

RAMUXCTL_COMMAND(notes, "notes", "notes list|star ID|unstar ID|set ID TEXT|export FILE|import FILE [--db PATH]", notes);
