// The publisher's guard against a careless mass deletion: an emptied or half-copied sources
// folder must not take a served reference with it. Reordering links removes no pair and
// does not count.
#pragma once

#include "content/content.h"

#include <QString>
#include <vector>

struct MassDeletion
{
    QString table;
    qint64 live = 0; // ids (link tables: distinct pairs) the file holds now
    qint64 gone = 0; // of those, the ones the sources no longer have
};

// Tables of more than kMassDeleteFloor live rows that would lose more than half of them.
constexpr qint64 kMassDeleteFloor = 20;
std::vector<MassDeletion> massDeletions(const ContentSet &wanted, const ContentSet &current);

// "items: публикация удалит 161 из 161 записей ...", naming the option that allows it.
QString massDeletionMessage(const MassDeletion &deletion);
