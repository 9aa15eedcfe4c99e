// Publishing the product rows of the structured tables. Their sources carry no ids: a row is
// known by its product and its place in the product's block, so an unchanged row keeps its
// id and stamp, a changed one is updated in place and a removed one leaves a tombstone.
#pragma once

#include "content/content.h"

#include <functional>
#include <vector>

namespace structuredsource {

// Tables whose rows are paired by (item_id, ord) rather than by id.
bool isItemOrderTable(const QString &table);

struct RowChange
{
    enum class Kind { Insert, Update, Remove };
    Kind kind = Kind::Insert;
    qint64 id = 0;
    std::vector<int> columns;         // Update: the columns that differ
    const ContentRow *from = nullptr; // Insert and Update: the wanted row
};

// The changes that bring `current` to `wanted`; `highestId` gives the highest id the table has
// ever used (deleted rows included), asked only when a row is new.
std::vector<RowChange> planByItemOrder(const ContentTable &wanted, const ContentTable &current,
                                       const std::function<qint64()> &highestId);

} // namespace structuredsource
