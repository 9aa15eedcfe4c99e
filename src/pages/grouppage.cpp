#include "pages/grouppage.h"

#include "answers/animalfilter.h"
#include "db/snapshot.h"
#include "pages/htmljoiner.h"
#include "text/packedcontent.h"

#include <QHash>
#include <algorithm>

namespace {

// "<LI><A HREF="PREFIX<id>">text</A></LI>", the text unescaped.
QString entryLink(const QString &prefix, qint64 id, const QString &text)
{
    return QLatin1String("<LI><A HREF=\"") + prefix + QString::number(id) + QLatin1String("\">") + text +
           QLatin1String("</A></LI>");
}

// id -> the first key the list carries for it (the lists are sorted, so the first in order).
QHash<qint64, QString> firstKeys(const NameList &list)
{
    QHash<qint64, QString> keys;
    keys.reserve(list.size());
    for (const NameEntry &entry : list)
        if (!keys.contains(entry.id))
            keys.insert(entry.id, entry.key);
    return keys;
}

// The products linked directly to the record, sorted by their entry text. A product in
// neither name list has no text and is left out; a product linked twice is listed twice.
// A filter keeps its species' products and puts its notice under the heading.
void appendProducts(THTMLJoiner &joiner, const PageSources &src, const RowTable<LinkRow> &links,
                    qint64 targetId, const QString &heading, const AnimalFilter *filter)
{
    const QHash<qint64, QString> russian = firstKeys(src.russianNames);
    const QHash<qint64, QString> latin = firstKeys(src.latinNames);
    QVector<NameEntry> entries;
    for (const LinkRow &link : links.rows) {
        if (link.targetId != targetId)
            continue;
        const qint64 itemId = link.itemId.value_or(0);
        QString text = russian.value(itemId);
        const auto lat = latin.constFind(itemId);
        if (lat != latin.constEnd())
            text += QLatin1String(" (") + *lat + QLatin1Char(')');
        if (!text.isEmpty())
            entries.push_back(NameEntry{std::move(text), itemId});
    }
    if (entries.isEmpty())
        return;
    QString html = heading;
    if (filter) {
        const int without = countWithoutAnswers(*filter, entries);
        entries.erase(std::remove_if(entries.begin(), entries.end(),
                                     [filter](const NameEntry &e) { return !filter->keeps(e.id); }),
                      entries.end());
        html += QLatin1String("<BR/><I>") + narrowedNotice(filter->species.name.toHtmlEscaped(), without) +
                QLatin1String("</I>");
        if (entries.isEmpty()) {
            joiner.AddHTML(html + QLatin1String("<BR/>"));
            return;
        }
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const NameEntry &a, const NameEntry &b) { return compareNames(a.key, b.key) < 0; });
    html += QLatin1String("<UL>");
    for (const NameEntry &entry : entries)
        html += entryLink(QStringLiteral("ITEM:"), entry.id, entry.key);
    html += QLatin1String("</UL>");
    joiner.AddHTML(html);
}

std::optional<QString> present(const std::optional<QString> &field)
{
    if (!field)
        return std::nullopt;
    QString trimmed = trimControl(*field);
    if (trimmed.isEmpty())
        return std::nullopt;
    return trimmed;
}

// The page opening and the title, the same on group and manufacturer pages.
void appendOpeningAndTitle(THTMLJoiner &joiner, const std::optional<QString> &name)
{
    joiner.AddHTML(pageskeleton::opening());
    if (const auto title = present(name))
        joiner.AddHTML(QLatin1String("<H3>") + *title + QLatin1String("</H3><BR/>"));
}

void appendDescription(THTMLJoiner &joiner, const PageSources &sources, const QString &table, qint64 id,
                       const QString &heading)
{
    if (const auto description = present(readDescription(sources.db, table, id))) {
        joiner.AddHTML(heading);
        joiner.AddPacked(*description);
    }
}

ComposedPage finish(THTMLJoiner &joiner)
{
    joiner.AddHTML(pageskeleton::closing());
    return ComposedPage{joiner.GetDocument(), joiner.body(), std::nullopt};
}

} // namespace

std::optional<ComposedPage> composeGroupPage(const PageSources &sources, qint64 sectionId,
                                             const QVector<ChildNode> &children, const AnimalFilter *filter)
{
    const SectionRow *row = sources.snapshot.sections.locate(sectionId);
    if (!row)
        return std::nullopt;
    THTMLJoiner joiner;
    appendOpeningAndTitle(joiner, row->name);
    if (!children.isEmpty()) {
        QString html = QStringLiteral("<BR/><B>Подгруппы:</B><UL>");
        for (const ChildNode &child : children)
            html += entryLink(QStringLiteral("SECT:"), child.id, child.text);
        html += QLatin1String("</UL>");
        joiner.AddHTML(html);
    }
    appendDescription(joiner, sources, QStringLiteral("sections"), sectionId,
                      QStringLiteral("<BR/><B>Описание группы:</B><BR/>"));
    appendProducts(joiner, sources, sources.snapshot.itemsToSections, sectionId,
                   QStringLiteral("<BR/><B>Препараты, входящие в группу:</B>"), filter);
    return finish(joiner);
}

std::optional<ComposedPage> composeVendorPage(const PageSources &sources, qint64 vendorId,
                                              const AnimalFilter *filter)
{
    const NamedRow *row = sources.snapshot.vendors.locate(vendorId);
    if (!row)
        return std::nullopt;
    THTMLJoiner joiner;
    appendOpeningAndTitle(joiner, row->name);
    appendDescription(joiner, sources, QStringLiteral("vendors"), vendorId,
                      QStringLiteral("<BR/><B>Информация о поставщике:</B><BR/>"));
    appendProducts(joiner, sources, sources.snapshot.itemsToVendors, vendorId,
                   QStringLiteral("<BR/><B>Производимые препараты:</B>"), filter);
    return finish(joiner);
}

QVector<ChildNode> childNodesOf(const BrowseNode &node)
{
    QVector<ChildNode> children;
    children.reserve(node.children.size());
    for (const BrowseNode &child : node.children)
        children.push_back(ChildNode{child.id, child.text});
    return children;
}
