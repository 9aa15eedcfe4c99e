// ramuxctl export CONTENT_FILE DIR: the content database written back as sources that
// publish reads; publishing an earlier export undoes a later publish.
#include "command.h"

#include "content/contentdb.h"
#include "content/sourcewrite.h"

#include <QFileInfo>

namespace {

int exportCommand(CommandContext &ctx)
{
    if (ctx.args.size() != 2 || ctx.args.at(0).startsWith(QLatin1String("--"))) {
        printErr(QStringLiteral("usage: ramuxctl export CONTENT_FILE DIR\n"));
        return 2;
    }
    if (!QFileInfo::exists(ctx.args.at(0)))
        throw RamuxError(QStringLiteral("Нет файла %1").arg(ctx.args.at(0)));
    ContentDatabase content(ctx.args.at(0));
    const SourceFiles sources = renderSources(content.readAll());
    for (const QString &warning : sources.warnings)
        printErr(QStringLiteral("warning: %1\n").arg(warning));
    if (!sources.errors.isEmpty()) {
        for (const QString &error : sources.errors)
            printErr(error + QLatin1Char('\n'));
        printErr(QStringLiteral("ramuxctl export: %1 error(s), nothing written\n").arg(sources.errors.size()));
        return 1;
    }
    writeSourceFiles(sources, ctx.args.at(1));
    printErr(QStringLiteral("export: %1 files\n").arg(sources.files.size()));
    return 0;
}

} // namespace

RAMUXCTL_COMMAND(export, "export", "export CONTENT_FILE DIR", exportCommand);
