// ramuxctl sheet --species S --weight KG [--last T] --item LINK [--route R] [--indication T]
// [--form N] [--last T] [--item LINK ...] [--pdf FILE] [--db PATH]: a treatment sheet, one block
// per product in the order given, then the withdrawal combined per tissue.
#include "answerargs.h"
#include "command.h"
#include "doseblock.h"

#include "answers/sheetprint.h"
#include "answers/sheetstore.h"
#include "answers/answerstore.h"
#include "db/demoreference.h"
#include "db/schema.h"
#include "db/sqlitedb.h"
#include "pages/render/pagedocument.h"

namespace {

constexpr int kBadUsage = 2;
constexpr int kRefused = 3;
constexpr char kUsage[] =
    "sheet --species S --weight KG [--last \"DD.MM.YYYY HH:MM\"] --item LINK [--route R] [--indication T] "
    "[--form N] [--last ...] [--item LINK ...] [--pdf FILE] [--db PATH]";

int usageError(const QString &why = {})
{
    if (!why.isEmpty())
        printErr(QStringLiteral("ramuxctl sheet: %1\n").arg(why));
    printErr(QStringLiteral("usage: ramuxctl %1\n").arg(QLatin1String(kUsage)));
    return kBadUsage;
}

struct ItemArgs
{
    QString link;
    qint64 id = 0;
    QString route, indication, last;
    int form = 0;
};

struct SheetArgs
{
    QString species, weight, pdf;
    ItemArgs common; // before the first --item: for every item
    QList<ItemArgs> items;
};

// Walks the arguments in order; returns the reason of a usage error, or empty.
QString parseArgs(QStringList args, SheetArgs &out)
{
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString key = args.at(i);
        if (i + 1 >= args.size())
            return QStringLiteral("%1 needs a value").arg(key);
        const QString value = args.at(++i);
        ItemArgs &target = out.items.isEmpty() ? out.common : out.items.last();
        if (key == QLatin1String("--species"))
            out.species = value;
        else if (key == QLatin1String("--weight"))
            out.weight = value;
        else if (key == QLatin1String("--pdf"))
            out.pdf = value;
        else if (key == QLatin1String("--item")) {
            ItemArgs item = out.common;
            item.link = value;
            const auto id = productOfLink(value);
            if (!id)
                return QStringLiteral("LINK is a product link, ITEM:N");
            item.id = *id;
            out.items << item;
        } else if (key == QLatin1String("--route"))
            target.route = value;
        else if (key == QLatin1String("--indication"))
            target.indication = value;
        else if (key == QLatin1String("--last")) {
            if (!parseLastDose(value))
                return QStringLiteral("--last needs a local date and time as DD.MM.YYYY HH:MM");
            target.last = value;
        } else if (key == QLatin1String("--form")) {
            bool ok = false;
            target.form = value.toInt(&ok);
            if (!ok || target.form < 1)
                return QStringLiteral("--form needs a number from 1");
        } else
            return QStringLiteral("unknown option %1").arg(key);
    }
    if (out.species.isEmpty() || out.weight.isEmpty() || out.items.isEmpty())
        return QStringLiteral("--species, --weight and at least one --item are needed");
    return {};
}

QString combinedLine(const CombinedTissue &c)
{
    const QString release = c.release ? formatDateTime(*c.release) : QStringLiteral("-");
    QString period = c.period;
    if (c.state == CombinedTissue::State::Period) // the command line writes numbers with a point
        period.replace(QLatin1Char(','), QLatin1Char('.'));
    return QStringLiteral("combined\t%1\t%2\t%3\t%4\n")
        .arg(tissueText(c.tissue), field(period), release, QStringLiteral("ITEM:%1").arg(c.itemId));
}

int writePdf(const QString &html, const QString &file)
{
    QString error;
    const int pages = writePagePdf(
        html, [](int, const QUrl &) { return QVariant(); }, file, &error);
    if (pages == 0) {
        printErr(QStringLiteral("cannot write %1: %2\n").arg(file, error));
        return 1;
    }
    return 0;
}

int sheet(CommandContext &ctx)
{
    const QString path = takeDatabasePath(ctx.args);
    SheetArgs args;
    const QString why = parseArgs(ctx.args, args);
    if (!why.isEmpty())
        return usageError(why);

    Database db;
    db.open(path, schema::databasePassword());
    const auto species = speciesArgument(db, args.species);
    if (!species)
        return kRefused;
    SheetPatient patient;
    patient.species = *species;
    patient.weightText = args.weight;
    patient.date = QDate::currentDate();
    QList<SheetLineInput> inputs;
    for (const ItemArgs &item : args.items) {
        SheetChoice choice{item.route, item.indication, QString()};
        SheetLineInput in = loadSheetLine(db, item.id, choice, item.last.isEmpty() ? std::nullopt : parseLastDose(item.last));
        if (item.form > 0) {
            if (item.form > in.answers.strengths.size())
                return usageError(QStringLiteral("%1 has %2 form(s)").arg(item.link).arg(in.answers.strengths.size()));
            in.choice.form = in.answers.strengths.at(item.form - 1).describe();
        }
        inputs << in;
    }

    const SheetComposition composed = composeSheet(patient, inputs);
    QStringList blocks;
    QString refusals;
    for (int i = 0; i < composed.lines.size(); ++i) {
        const SheetLine &line = composed.lines.at(i);
        QString block = QStringLiteral("item\t%1\t%2\n").arg(args.items.at(i).link, field(line.name));
        if (line.computed()) {
            block += doseBlock(*species, *line.dose, *composed.weightKg);
        } else {
            block += QStringLiteral("refused\t%1\n").arg(field(line.refusal));
            refusals += QStringLiteral("%1: %2\n").arg(args.items.at(i).link, field(line.refusal));
        }
        blocks << block;
    }
    QString combined;
    if (composed.noWithdrawalData) {
        for (Tissue tissue : {Tissue::Meat, Tissue::Milk, Tissue::Eggs, Tissue::Honey})
            combined += QStringLiteral("combined\t%1\t%2\t-\t-\n").arg(tissueText(tissue), noDataText());
    }
    for (const CombinedTissue &c : composed.combined)
        combined += combinedLine(c);
    if (!combined.isEmpty())
        blocks << combined;
    printOut(blocks.join(QLatin1Char('\n')));
    printErr(refusals);
    if (!args.pdf.isEmpty()) {
        SheetPrintOptions options = sheetPrintOptions(db, composed);
        options.demo = demoreference::holdsDemo(db);
        if (writePdf(sheetHtml(composed, options), args.pdf) != 0)
            return 1;
    }
    return composed.allComputed() ? 0 : kRefused;
}

} // namespace

RAMUXCTL_COMMAND(sheet, "sheet", kUsage, sheet);
