// The product tree's items: the roots and their letters at once, a letter's products only when
// the letter is first opened or a walk looks for one of them. Tens of thousands of product items
// would otherwise be made at every start for the few letters a user opens.
#pragma once

#include "db/browselists.h"

#include <QList>
#include <QSet>
#include <memory>

class QTreeWidgetItem;

// Items for buildProductTree's roots; every letter keeps its products aside, unopened.
QList<QTreeWidgetItem *> makeProductTreeItems(QVector<BrowseNode> roots);

// Gives an unopened letter its product items (in list order); any other item stays as it is.
void openProductLetter(QTreeWidgetItem *item);

// Whether `item` is an unopened letter that keeps a product with that id.
bool unopenedLetterHolds(const QTreeWidgetItem *item, qint64 id);

// Shows only the letter's products in `keep` (every product when it is null); the others are
// hidden, now or when the letter opens, so links and the history still find them. Returns how
// many of the letter's products stay shown; any other item is left alone and counts 0.
int narrowProductLetter(QTreeWidgetItem *item, std::shared_ptr<const QSet<qint64>> keep);
