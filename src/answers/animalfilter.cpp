#include "answers/animalfilter.h"

#include "answers/amounttext.h"
#include "answers/answerstore.h"
#include "db/sqlitedb.h"

namespace {

// A dose row counts once a strength it refers to is here, as in loadProductAnswers; an empty
// substance is none.
const char *const kOfferedDose = "(EXISTS (SELECT 1 FROM item_strengths s WHERE s.item_id = d.item_id "
                                 "AND (NULLIF(d.substance, '') IS NULL OR s.substance = d.substance))"
                                 // a dose in the product's own measure needs no strength
                                 " OR (d.dose_unit IN ('мл', 'таблетка', 'болюс', 'капсула', 'пипетка', "
                                 "'доза', 'г препарата') AND NOT EXISTS (SELECT 1 FROM item_strengths s "
                                 "WHERE s.item_id = d.item_id)))";

} // namespace

QList<Species> speciesInUse(Database &db)
{
    QList<Species> used;
    // One look into the species indexes each: far cheaper than reading every row.
    Statement withdrawal =
        db.prepare(QStringLiteral("SELECT 1 FROM item_withdrawals WHERE species_id = ?1 LIMIT 1"));
    Statement dose = db.prepare(QStringLiteral("SELECT 1 FROM item_doses d WHERE d.species_id = ?1 AND ") +
                                QLatin1String(kOfferedDose) + QLatin1String(" LIMIT 1"));
    for (const Species &s : loadSpecies(db)) { // empty without the tables
        withdrawal.reset();
        withdrawal.bind(1, s.id);
        dose.reset();
        dose.bind(1, s.id);
        if (withdrawal.step() || dose.step())
            used << s;
    }
    return used;
}

QSet<qint64> productsWithAnswers(Database &db)
{
    QSet<qint64> items;
    if (!hasAnswerTables(db))
        return items;
    // Two reads through the item_id indexes; the set drops the repeats.
    for (const QString &sql : {QStringLiteral("SELECT DISTINCT item_id FROM item_withdrawals"),
                               QStringLiteral("SELECT DISTINCT d.item_id FROM item_doses d WHERE ") +
                                   QLatin1String(kOfferedDose)}) {
        Statement st = db.prepare(sql);
        while (st.step())
            items.insert(st.int64(0));
    }
    return items;
}

AnimalFilter loadAnimalFilter(Database &db, const Species &species)
{
    AnimalFilter filter;
    filter.species = species;
    filter.withSpecies = productsWithSpecies(db, species.id);
    filter.withAnswers = productsWithAnswers(db);
    return filter;
}

AnimalIndex loadAnimalIndex(Database &db)
{
    AnimalIndex index;
    if (!hasAnswerTables(db))
        return index;
    for (const QString &sql : {QStringLiteral("SELECT species_id, item_id FROM item_withdrawals"),
                               QStringLiteral("SELECT d.species_id, d.item_id FROM item_doses d WHERE ") +
                                   QLatin1String(kOfferedDose)}) {
        Statement st = db.prepare(sql);
        while (st.step()) {
            index.bySpecies[st.int64(0)].insert(st.int64(1));
            index.withAnswers.insert(st.int64(1));
        }
    }
    return index;
}

AnimalFilter filterFor(const AnimalIndex &index, const Species &species)
{
    return AnimalFilter{species, index.bySpecies.value(species.id), index.withAnswers};
}

QString narrowedNotice(const QString &speciesName, int withoutAnswers)
{
    const QString shown = QStringLiteral("Показаны препараты с данными для вида «%1»").arg(speciesName);
    if (withoutAnswers <= 0)
        return shown + QStringLiteral("; остальные видны при выборе «все»");
    // "у 1 препарата", "у 21 препарата", but "у 11 препаратов", "у 5 препаратов".
    const bool one = withoutAnswers % 10 == 1 && withoutAnswers % 100 != 11;
    return shown + QStringLiteral("; у %1 %2 структурированных данных нет — они видны при выборе «все»")
                       .arg(amountText(Decimal::fromInt(withoutAnswers)))
                       .arg(one ? QStringLiteral("препарата") : QStringLiteral("препаратов"));
}

NameList namesKept(const NameList &names, const AnimalFilter &filter)
{
    NameList kept;
    for (const NameEntry &entry : names) {
        if (filter.keeps(entry.id))
            kept.push_back(entry);
    }
    return kept;
}

NameList namesKeptOrWithout(const NameList &names, const AnimalFilter &filter)
{
    NameList kept;
    for (const NameEntry &entry : names) {
        if (filter.keeps(entry.id) || filter.lacksAnswers(entry.id))
            kept.push_back(entry);
    }
    return kept;
}

int countWithoutAnswers(const AnimalFilter &filter, const NameList &first, const NameList &second)
{
    QSet<qint64> without;
    for (const NameList *list : {&first, &second}) {
        for (const NameEntry &entry : *list) {
            if (filter.lacksAnswers(entry.id))
                without.insert(entry.id);
        }
    }
    return int(without.size());
}
