// The short pages of a distributor or a dealer, shown in the product view with a way back.
#pragma once

#include "pages/productpage.h"

#include <QStringView>
#include <QVector>
#include <optional>

struct AnimalFilter;

enum class PartnerKind { Distributor, Dealer };

// The page of the distributor or dealer `id`: the back link to `currentItemId` (the product
// shown last; empty when there is none), then the description, or the notice that there is
// none. nullopt when the record has no row. Errors throw (link handling swallows them).
std::optional<ComposedPage> composePartnerPage(const PageSources &sources, PartnerKind kind, qint64 id,
                                               std::optional<qint64> currentItemId);

// The three browse trees as the window shows them.
struct BrowseTrees
{
    const QVector<BrowseNode> &products;
    const QVector<BrowseNode> &groups;
    const QVector<BrowseNode> &vendors;
};

// What a click on an internal link shows, without a window: the target is found in its tree
// (first node in tree order) or, for distributors and dealers, in its table, and its page
// composed. nullopt when the link opens nothing. Errors of the partner pages throw; a product
// page carries its error inside. A filter narrows the product lists of group and maker pages.
std::optional<ComposedPage> composeLinkTarget(const PageSources &sources, const BrowseTrees &trees,
                                              QStringView link, std::optional<qint64> currentItemId,
                                              const AnimalFilter *filter = nullptr);

// The node a findNodePath() result leads to.
const BrowseNode *nodeAtPath(const QVector<BrowseNode> &tree, const QVector<int> &path);
