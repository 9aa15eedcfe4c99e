#include "app/productletters.h"

#include <QTreeWidget>
#include <QTreeWidgetItem>

namespace {

class TProductLetterItem final : public QTreeWidgetItem
{
public:
    static constexpr int kType = QTreeWidgetItem::UserType + 1;

    explicit TProductLetterItem(BrowseNode &&letter)
        : QTreeWidgetItem(QStringList{letter.text}, kType), m_products(std::move(letter.children))
    {
        setData(0, Qt::UserRole, letter.id);
        // The expand button before the products exist, so the letter can be opened.
        setChildIndicatorPolicy(m_products.isEmpty() ? DontShowIndicatorWhenChildless : ShowIndicator);
    }

    bool holds(qint64 id) const
    {
        for (const BrowseNode &product : m_products) {
            if (product.id == id)
                return true;
        }
        return false;
    }

    void open()
    {
        if (m_products.isEmpty())
            return;
        QList<QTreeWidgetItem *> items;
        items.reserve(m_products.size());
        for (const BrowseNode &product : std::as_const(m_products)) {
            auto *item = new QTreeWidgetItem(QStringList{product.text});
            item->setData(0, Qt::UserRole, product.id);
            items.push_back(item);
        }
        m_products = {};
        setChildIndicatorPolicy(DontShowIndicatorWhenChildless);
        addChildren(items);
        if (m_keep)
            hideOthers();
    }

    int narrow(std::shared_ptr<const QSet<qint64>> keep)
    {
        m_keep = std::move(keep);
        if (m_products.isEmpty())
            return hideOthers();
        int shown = 0; // not opened: its products are hidden once made
        for (const BrowseNode &product : std::as_const(m_products))
            shown += !m_keep || m_keep->contains(product.id);
        return shown;
    }

private:
    // Rows hidden through the view by their place: an item's own setHidden looks its row up
    // among thousands of siblings each time.
    int hideOthers()
    {
        QTreeWidget *tree = treeWidget();
        const QModelIndex parent = tree ? tree->indexFromItem(this) : QModelIndex();
        int shown = 0;
        for (int i = 0; i < childCount(); ++i) {
            const bool show = !m_keep || m_keep->contains(child(i)->data(0, Qt::UserRole).toLongLong());
            if (tree)
                tree->setRowHidden(i, parent, !show);
            shown += show;
        }
        return shown;
    }

    QVector<BrowseNode> m_products;             // empty once opened
    std::shared_ptr<const QSet<qint64>> m_keep; // the products shown; all when null
};

TProductLetterItem *letterItem(QTreeWidgetItem *item)
{
    return item && item->type() == TProductLetterItem::kType ? static_cast<TProductLetterItem *>(item)
                                                             : nullptr;
}

} // namespace

QList<QTreeWidgetItem *> makeProductTreeItems(QVector<BrowseNode> roots)
{
    QList<QTreeWidgetItem *> items;
    items.reserve(roots.size());
    for (BrowseNode &root : roots) {
        auto *item = new QTreeWidgetItem(QStringList{root.text});
        item->setData(0, Qt::UserRole, root.id);
        QList<QTreeWidgetItem *> letters;
        letters.reserve(root.children.size());
        for (BrowseNode &letter : root.children)
            letters.push_back(new TProductLetterItem(std::move(letter)));
        item->addChildren(letters);
        items.push_back(item);
    }
    return items;
}

void openProductLetter(QTreeWidgetItem *item)
{
    if (TProductLetterItem *letter = letterItem(item))
        letter->open();
}

bool unopenedLetterHolds(const QTreeWidgetItem *item, qint64 id)
{
    return item && item->type() == TProductLetterItem::kType &&
           static_cast<const TProductLetterItem *>(item)->holds(id);
}

int narrowProductLetter(QTreeWidgetItem *item, std::shared_ptr<const QSet<qint64>> keep)
{
    TProductLetterItem *letter = letterItem(item);
    return letter ? letter->narrow(std::move(keep)) : 0;
}
