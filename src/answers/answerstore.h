// Reads the structured rows (species, strengths, doses, withdrawal periods) from a client store.
// Read-only and tolerant: an older database without the tables simply has no answers, and a
// row that does not check out is left out rather than shown half right.
#pragma once

#include "answers/productanswers.h"

#include <QList>
#include <QSet>

class Database;

// Whether the store has all four tables with the columns this reader needs.
bool hasAnswerTables(Database &db);
// Every species, in id order; empty without the tables.
QList<Species> loadSpecies(Database &db);
// One product's rows in the source's order. A dose row whose strength (substance) has not
// arrived yet is not offered.
ProductAnswers loadProductAnswers(Database &db, qint64 itemId);
// The species a product has offered rows for, in species id order.
QList<Species> speciesOfProduct(Database &db, qint64 itemId);
// The products with a withdrawal row or an offered dose row for a species.
QSet<qint64> productsWithSpecies(Database &db, qint64 speciesId);
