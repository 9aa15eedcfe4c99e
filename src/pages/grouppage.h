// The pages of a pharmacological group and of a manufacturer.
#pragma once

#include "pages/productpage.h"

#include <QVector>
#include <optional>

struct AnimalFilter;

// A child node of the selected group node, as the group tree shows it.
struct ChildNode
{
    qint64 id = 0;
    QString text;
};

// TreeView2Change: the page of the group `sectionId`, with its subgroups given in tree order.
// nullopt when the group has no row (the view keeps its page). An error throws: nothing is
// to be loaded then. With a filter the product list keeps only the products of its species
// and says how many of the others have no structured data; without one the page is as ever.
std::optional<ComposedPage> composeGroupPage(const PageSources &sources, qint64 sectionId,
                                             const QVector<ChildNode> &children,
                                             const AnimalFilter *filter = nullptr);

// TreeView3Change: the page of the manufacturer `vendorId`; nullopt when it has no row.
std::optional<ComposedPage> composeVendorPage(const PageSources &sources, qint64 vendorId,
                                              const AnimalFilter *filter = nullptr);

// The child nodes of a node of a browse tree.
QVector<ChildNode> childNodesOf(const BrowseNode &node);
