#include "pages/linkpage.h"

#include "db/snapshot.h"
#include "pages/grouppage.h"
#include "pages/htmljoiner.h"
#include "pages/links.h"
#include "text/packedcontent.h"

std::optional<ComposedPage> composePartnerPage(const PageSources &sources, PartnerKind kind, qint64 id,
                                               std::optional<qint64> currentItemId)
{
    const bool distributor = kind == PartnerKind::Distributor;
    const RowTable<NamedRow> &table = distributor ? sources.snapshot.distributors : sources.snapshot.dealers;
    if (!table.locate(id))
        return std::nullopt;
    const std::optional<QString> description = readDescription(
        sources.db, distributor ? QStringLiteral("distributors") : QStringLiteral("dealers"), id);

    THTMLJoiner joiner;
    joiner.AddHTML(pageskeleton::opening());
    joiner.AddHTML(QLatin1String("<A HREF=\"ITEM:") +
                   (currentItemId ? QString::number(*currentItemId) : QString()) +
                   QStringLiteral("\">Назад</A><BR><HR>"));
    const QString trimmed = description ? trimControl(*description) : QString();
    if (trimmed.isEmpty())
        joiner.AddHTML(QStringLiteral("К сожалению, требуемая информация отсутствует в базе данных"));
    else
        joiner.AddPacked(trimmed);
    joiner.AddHTML(pageskeleton::closing());
    return ComposedPage{joiner.GetDocument(), joiner.body(), std::nullopt};
}

const BrowseNode *nodeAtPath(const QVector<BrowseNode> &tree, const QVector<int> &path)
{
    const QVector<BrowseNode> *level = &tree;
    const BrowseNode *node = nullptr;
    for (int index : path) {
        if (index < 0 || index >= level->size())
            return nullptr;
        node = &level->at(index);
        level = &node->children;
    }
    return node;
}

std::optional<ComposedPage> composeLinkTarget(const PageSources &sources, const BrowseTrees &trees,
                                              QStringView link, std::optional<qint64> currentItemId,
                                              const AnimalFilter *filter)
{
    const std::optional<InternalLink> parsed = parseInternalLink(link);
    if (!parsed)
        return std::nullopt;
    auto find = [&](const QVector<BrowseNode> &tree) {
        return nodeAtPath(tree, findNodePath(tree, parsed->id));
    };
    switch (parsed->target) {
    case LinkTarget::Item:
        if (const BrowseNode *node = find(trees.products))
            return composeProductPage(sources, node->id);
        return std::nullopt;
    case LinkTarget::Section:
        if (const BrowseNode *node = find(trees.groups))
            return composeGroupPage(sources, node->id, childNodesOf(*node), filter);
        return std::nullopt;
    case LinkTarget::Vendor:
        if (const BrowseNode *node = find(trees.vendors))
            return composeVendorPage(sources, node->id, filter);
        return std::nullopt;
    case LinkTarget::Distributor:
        return composePartnerPage(sources, PartnerKind::Distributor, parsed->id, currentItemId);
    case LinkTarget::Dealer:
        return composePartnerPage(sources, PartnerKind::Dealer, parsed->id, currentItemId);
    }
    return std::nullopt;
}
