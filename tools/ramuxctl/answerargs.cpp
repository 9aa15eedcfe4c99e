// Shared arguments of the dose and withdrawal commands.
#include "answerargs.h"

#include "answers/answerstore.h"
#include "command.h"
#include "db/sqlitedb.h"
#include "pages/links.h"

std::optional<qint64> productOfLink(const QString &link)
{
    const auto parsed = parseInternalLink(link);
    if (!parsed || parsed->target != LinkTarget::Item)
        return std::nullopt;
    return parsed->id;
}

bool productListed(Database &db, qint64 itemId)
{
    Statement st = db.prepare(QStringLiteral("SELECT 1 FROM items WHERE id = ?1"));
    st.bind(1, itemId);
    if (st.step())
        return true;
    printErr(QStringLiteral("Препарата ITEM:%1 в справочнике нет\n").arg(itemId));
    return false;
}

std::optional<Species> speciesArgument(Database &db, const QString &codeOrName)
{
    const QList<Species> all = loadSpecies(db);
    const auto species = findSpecies(all, codeOrName);
    if (!species) {
        if (all.isEmpty())
            printErr(QStringLiteral("В базе нет структурированных данных о видах животных\n"));
        else
            printErr(QStringLiteral("Вид «%1» в справочнике не найден\n").arg(codeOrName));
    }
    return species;
}

QString field(QString text)
{
    for (QChar &c : text) {
        if (c.unicode() < 32)
            c = QLatin1Char(' ');
    }
    return text;
}
