// Narrowing lists of products to one species: which products a narrowed list keeps, and the
// words it says about those it leaves out. Read from the client store; an older store without
// the structured tables has no species and nothing to narrow by.
#pragma once

#include "answers/productanswers.h"
#include "db/browselists.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

class Database;

struct AnimalFilter
{
    Species species;
    QSet<qint64> withSpecies; // products with a dose or withdrawal row for the species
    QSet<qint64> withAnswers; // products with any structured row at all

    bool keeps(qint64 id) const { return withSpecies.contains(id); }
    bool lacksAnswers(qint64 id) const { return !withAnswers.contains(id); }
};

// The species some product has an offered row for, in species id order; empty without the tables.
QList<Species> speciesInUse(Database &db);
// The products with any withdrawal row or any offered dose row (the rule of productsWithSpecies).
QSet<qint64> productsWithAnswers(Database &db);
// Both sets for one species.
AnimalFilter loadAnimalFilter(Database &db, const Species &species);

// Every species' products at once, read in one pass, for a window that switches between them.
struct AnimalIndex
{
    QHash<qint64, QSet<qint64>> bySpecies;
    QSet<qint64> withAnswers;
};
AnimalIndex loadAnimalIndex(Database &db);
AnimalFilter filterFor(const AnimalIndex &index, const Species &species);

// What a list narrowed to `speciesName` says about the rest; `withoutAnswers` is how many of
// its products have no structured rows at all (plain text, not escaped).
QString narrowedNotice(const QString &speciesName, int withoutAnswers);

// The entries whose product the filter keeps, in list order.
NameList namesKept(const NameList &names, const AnimalFilter &filter);
// The entries the filter keeps or that have no structured rows (what a narrowed search looks
// through, so that it can count the products it leaves out for want of data).
NameList namesKeptOrWithout(const NameList &names, const AnimalFilter &filter);
// How many distinct products of the lists have no structured rows.
int countWithoutAnswers(const AnimalFilter &filter, const NameList &first, const NameList &second = {});
