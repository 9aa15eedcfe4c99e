// ramuxctl dose LINK --species S --weight KG [--form N] [--route R] [--indication TEXT] [--db PATH]:
// the dose calculator of the product panel, one block of tab-separated lines per fitting row.
// `--weight ""` is no weight: the rows per animal are computed, those per kg refused.
#include "answerargs.h"
#include "doseblock.h"
#include "command.h"

#include "answers/answerstore.h"
#include "db/schema.h"
#include "db/sqlitedb.h"

namespace {

constexpr int kBadUsage = 2;
constexpr int kAllRefused = 3;
constexpr char kUsage[] =
    "dose LINK --species S --weight KG [--form N] [--route R] [--indication TEXT] [--db PATH]";

int usageError(const QString &why = {})
{
    if (!why.isEmpty())
        printErr(QStringLiteral("ramuxctl dose: %1\n").arg(why));
    printErr(QStringLiteral("usage: ramuxctl %1\n").arg(QLatin1String(kUsage)));
    return kBadUsage;
}

int dose(CommandContext &ctx)
{
    const QString path = takeDatabasePath(ctx.args);
    const QString speciesText = takeOption(ctx.args, QStringLiteral("--species"));
    const QString absent = QStringLiteral("\x01");
    const QString weightText = takeOption(ctx.args, QStringLiteral("--weight"), absent);
    const QString formText = takeOption(ctx.args, QStringLiteral("--form"));
    const QString route = takeOption(ctx.args, QStringLiteral("--route"));
    const QString indication = takeOption(ctx.args, QStringLiteral("--indication"));
    if (ctx.args.size() != 1 || speciesText.isEmpty() || weightText == absent)
        return usageError();
    const auto item = productOfLink(ctx.args.first());
    if (!item)
        return usageError(QStringLiteral("LINK is a product link, ITEM:N"));
    int form = 0;
    if (!formText.isEmpty()) {
        bool ok = false;
        form = formText.toInt(&ok);
        if (!ok || form < 1)
            return usageError(QStringLiteral("--form needs a number from 1"));
    }

    Database db;
    db.open(path, schema::databasePassword());
    if (!productListed(db, *item))
        return kAllRefused;
    const auto species = speciesArgument(db, speciesText);
    if (!species)
        return kAllRefused;
    const WeightInput weight = parseWeight(weightText);
    const ProductAnswers answers = loadProductAnswers(db, *item);
    std::optional<qint64> strength;
    if (form > 0) {
        if (form > answers.strengths.size())
            return usageError(QStringLiteral("the product has %1 form(s)").arg(answers.strengths.size()));
        strength = answers.strengths.at(form - 1).id;
    }

    QStringList blocks;
    QString refusals;
    for (const DoseAnswer &answer :
         answerDoses(answers, species->id, weightText, route, indication, strength)) {
        if (answer.result.ok()) {
            blocks << doseBlock(*species, answer, weight.kg);
            continue;
        }
        QStringList where;
        for (const QString &part : {answer.row.route, answer.row.indication}) {
            if (!part.isEmpty())
                where << field(part);
        }
        refusals += (where.isEmpty() ? QString() : where.join(QStringLiteral(", ")) + QStringLiteral(": ")) +
                    field(answer.result.refusal) + QLatin1Char('\n');
    }
    printOut(blocks.join(QLatin1Char('\n')));
    printErr(refusals);
    return blocks.isEmpty() ? kAllRefused : 0;
}

} // namespace

RAMUXCTL_COMMAND(dose, "dose", kUsage, dose);
