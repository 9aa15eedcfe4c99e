// ramuxctl synth PATH [--products N] [--seed N] [--content]: the large synthetic reference for
// benchmarks, as a client database or (--content) as the update server's content database.
#include "command.h"

#include "content/content.h"
#include "content/contentdb.h"
#include "content/contentindex.h"
#include "content/synth.h"
#include "text/ramuxerror.h"

#include <QElapsedTimer>
#include <algorithm>

namespace {

int synth(CommandContext &ctx)
{
    const bool content = takeFlag(ctx.args, QStringLiteral("--content"));
    SynthOptions options;
    bool ok = true;
    options.products = takeOption(ctx.args, QStringLiteral("--products"), QStringLiteral("10000")).toInt(&ok);
    if (!ok || options.products < 0 || options.products > 1000000)
        throw RamuxError(QStringLiteral("--products: a number from 0 to 1000000"));
    options.seed =
        takeOption(ctx.args, QStringLiteral("--seed"), QString::number(options.seed)).toULongLong(&ok);
    if (!ok)
        throw RamuxError(QStringLiteral("--seed: a number"));
    // An option left over (a misspelt one, --help) is no file name to write.
    if (ctx.args.size() != 1 || ctx.args.first().startsWith(QLatin1Char('-'))) {
        printErr(QStringLiteral("usage: ramuxctl synth PATH [--products N] [--seed N] [--content]\n"));
        return 2;
    }
    QElapsedTimer timer;
    timer.start();
    const ContentSet set = generateSynthetic(options);
    const qint64 generated = timer.elapsed();
    qint64 indexedMs = -1;
    if (content) {
        ContentDatabase::create(ctx.args.first(), set);
        const qint64 written = timer.elapsed();
        contentindex::preparePublished(ctx.args.first());
        indexedMs = timer.elapsed() - written;
    } else {
        writeClientDatabase(set, ctx.args.first());
    }
    qint64 rows = 0;
    for (const ContentTable &t : set.tables)
        rows += qint64(t.rows.size());
    printErr(QStringLiteral("synth: %1 rows, generated in %2 ms, written in %3 ms\n")
                 .arg(rows)
                 .arg(generated)
                 .arg(timer.elapsed() - generated - std::max<qint64>(0, indexedMs)));
    if (indexedMs >= 0)
        printErr(QStringLiteral("synth: text index built in %1 ms\n").arg(indexedMs));
    return 0;
}

} // namespace

RAMUXCTL_COMMAND(synth, "synth", "synth PATH [--products N] [--seed N] [--content]", synth);
