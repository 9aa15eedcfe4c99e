// ramuxctl publish SOURCE_DIR CONTENT_FILE [--dry-run] [--allow-mass-delete] [--details-text T]
// [--details-url URL]: brings the update server's content database to what the sources hold.
#include "command.h"

#include "content/publish.h"
#include "text/ramuxerror.h"

namespace {

const char *const kUsage =
    "publish SOURCE_DIR CONTENT_FILE [--dry-run] [--allow-mass-delete] [--details-text T] [--details-url URL]";

std::optional<QString> takeOptional(QStringList &args, const QString &name)
{
    if (!args.contains(name))
        return std::nullopt;
    return takeOption(args, name);
}

int publish(CommandContext &ctx)
{
    PublishOptions options;
    bool usable = true;
    try {
        options.dryRun = takeFlag(ctx.args, QStringLiteral("--dry-run"));
        options.allowMassDelete = takeFlag(ctx.args, QStringLiteral("--allow-mass-delete"));
        options.detailsText = takeOptional(ctx.args, QStringLiteral("--details-text"));
        options.detailsUrl = takeOptional(ctx.args, QStringLiteral("--details-url"));
    } catch (const RamuxError &) {
        usable = false; // an option without its value
    }
    if (!usable || ctx.args.size() != 2 || ctx.args.at(0).startsWith(QLatin1String("--")) ||
        ctx.args.at(1).startsWith(QLatin1String("--"))) {
        printErr(QStringLiteral("usage: ramuxctl %1\n").arg(QString::fromLatin1(kUsage)));
        return 2;
    }
    const PublishReport report = publishSources(ctx.args.at(0), ctx.args.at(1), options);
    for (const QString &warning : report.warnings)
        printErr(QStringLiteral("warning: %1\n").arg(warning));
    for (const QString &error : report.errors)
        printErr(error + QLatin1Char('\n'));
    if (!report.errors.isEmpty()) {
        printErr(QStringLiteral("ramuxctl publish: %1 error(s), nothing published\n").arg(report.errors.size()));
        return 1;
    }
    for (const TableChanges &t : report.tables)
        printOut(QStringLiteral("%1\tadded %2\tchanged %3\tdeleted %4\n").arg(t.table).arg(t.added).arg(t.changed).arg(t.deleted));
    if (options.dryRun)
        printErr(QStringLiteral("dry run: nothing changed\n"));
    return 0;
}

} // namespace

RAMUXCTL_COMMAND(publish, "publish", kUsage, publish);
