// ramuxctl withdrawal LINK --species S [--last "DD.MM.YYYY HH:MM"] [--db PATH]: the withdrawal
// periods of a product for one species, one line per tissue, with the release date when the
// last dose is given.
#include "answerargs.h"
#include "command.h"

#include "answers/answerstore.h"
#include "db/schema.h"
#include "db/sqlitedb.h"

namespace {

constexpr int kBadUsage = 2;
constexpr int kNoRows = 3;
constexpr char kUsage[] = "withdrawal LINK --species S [--last \"DD.MM.YYYY HH:MM\"] [--db PATH]";

int usageError(const QString &why = {})
{
    if (!why.isEmpty())
        printErr(QStringLiteral("ramuxctl withdrawal: %1\n").arg(why));
    printErr(QStringLiteral("usage: ramuxctl %1\n").arg(QLatin1String(kUsage)));
    return kBadUsage;
}

int withdrawal(CommandContext &ctx)
{
    const QString path = takeDatabasePath(ctx.args);
    const QString speciesText = takeOption(ctx.args, QStringLiteral("--species"));
    const QString lastText = takeOption(ctx.args, QStringLiteral("--last"));
    if (ctx.args.size() != 1 || speciesText.isEmpty())
        return usageError();
    const auto item = productOfLink(ctx.args.first());
    if (!item)
        return usageError(QStringLiteral("LINK is a product link, ITEM:N"));
    std::optional<QDateTime> last;
    if (!lastText.isEmpty()) {
        last = parseLastDose(lastText);
        if (!last)
            return usageError(QStringLiteral("--last needs a local date and time as DD.MM.YYYY HH:MM"));
    }

    Database db;
    db.open(path, schema::databasePassword());
    if (!productListed(db, *item))
        return kNoRows;
    const auto species = speciesArgument(db, speciesText);
    if (!species)
        return kNoRows;
    const WithdrawalTable table = loadProductAnswers(db, *item).withdrawalTableFor(*species);
    QString out;
    if (table.noData) {
        // A food-producing species dosed without a stated period: nothing may be taken as 0.
        for (Tissue tissue : {Tissue::Meat, Tissue::Milk, Tissue::Eggs, Tissue::Honey})
            out += tissueText(tissue) + QLatin1Char('\t') + noDataText() + QStringLiteral("\t-\n");
    }
    for (const WithdrawalRow &row : table.rows) {
        const auto release = last ? row.releaseAfter(*last) : std::nullopt;
        out += tissueText(row.tissue) + QLatin1Char('\t') + row.periodText(QLatin1Char('.')) +
               QLatin1Char('\t') + (release ? formatDateTime(*release) : QStringLiteral("-")) +
               QLatin1Char('\n');
    }
    if (out.isEmpty()) {
        printErr(QStringLiteral("Для этого вида сроки ожидания в инструкции не указаны\n"));
        return kNoRows;
    }
    printOut(out);
    // Which of two moments a time in the hour the clock goes back was taken as: beside the lines.
    if (const QString note = repeatedHourNote(lastText); !note.isEmpty())
        printErr(note + QLatin1Char('\n'));
    return 0;
}

} // namespace

RAMUXCTL_COMMAND(withdrawal, "withdrawal", kUsage, withdrawal);
