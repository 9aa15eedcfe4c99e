// The three browse pages and their lists: building the trees from the core lists, finding nodes,
// and drawing the selected node in bold.
#include "app/mainform.h"

#include "app/productletters.h"
#include "app/searchcombobox.h"
#include "app/animalfilterbar.h"
#include "app/splashhooks.h"

#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

namespace {

// TreeView1CustomDrawItem: the selected node is drawn bold, every other one normally.
class TBoldSelectionDelegate final : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (option->state & QStyle::State_Selected)
            option->font.setBold(true);
    }
};

// Repainting is suspended while a list is refilled and resumed also when the refill throws.
class UpdatesSuspended
{
public:
    explicit UpdatesSuspended(QWidget *widget) : m_widget(widget) { m_widget->setUpdatesEnabled(false); }
    ~UpdatesSuspended() { m_widget->setUpdatesEnabled(true); }
    UpdatesSuspended(const UpdatesSuspended &) = delete;
    UpdatesSuspended &operator=(const UpdatesSuspended &) = delete;

private:
    QWidget *m_widget;
};

QTreeWidgetItem *makeItem(const BrowseNode &node)
{
    auto *item = new QTreeWidgetItem(QStringList{node.text});
    item->setData(0, Qt::UserRole, node.id);
    return item;
}

// Items for a node list and everything under it, without recursion (group chains can be deep).
QList<QTreeWidgetItem *> makeItems(const QVector<BrowseNode> &nodes)
{
    QList<QTreeWidgetItem *> top;
    top.reserve(nodes.size());
    struct Pending
    {
        const BrowseNode *node;
        QTreeWidgetItem *item;
    };
    QVector<Pending> pending;
    for (const BrowseNode &node : nodes) {
        top.push_back(makeItem(node));
        pending.push_back(Pending{&node, top.last()});
    }
    while (!pending.isEmpty()) {
        const Pending p = pending.takeLast();
        if (p.node->children.isEmpty())
            continue;
        QList<QTreeWidgetItem *> children;
        children.reserve(p.node->children.size());
        for (const BrowseNode &child : p.node->children) {
            children.push_back(makeItem(child));
            pending.push_back(Pending{&child, children.last()});
        }
        p.item->addChildren(children);
    }
    return top;
}

} // namespace

QTreeWidget *TKalmedaRamuxMainForm::makeTree(const char *name)
{
    auto *tree = new QTreeWidget;
    tree->setObjectName(QLatin1String(name));
    tree->setHeaderHidden(true);
    tree->setColumnCount(1);
    tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree->setSelectionMode(QAbstractItemView::SingleSelection);
    tree->setSelectionBehavior(QAbstractItemView::SelectRows);
    tree->setUniformRowHeights(true);
    tree->setItemDelegate(new TBoldSelectionDelegate(tree));
    tree->setMinimumWidth(100);
    return tree;
}

void TKalmedaRamuxMainForm::fillTree(QTreeWidget *tree, const QVector<BrowseNode> &nodes)
{
    UpdatesSuspended suspended(tree);
    const QSignalBlocker blocker(tree);
    tree->clear();
    tree->addTopLevelItems(makeItems(nodes));
    tree->setCurrentItem(nullptr);
}

QWidget *TKalmedaRamuxMainForm::buildDrugsPage()
{
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    GroupBox1 = new QGroupBox(QStringLiteral(" Поиск по названию "), page);
    GroupBox1->setFixedHeight(45);
    auto *searchLayout = new QHBoxLayout(GroupBox1);
    searchLayout->setContentsMargins(6, 2, 6, 4);
    ComboBox1 = new QComboBox(GroupBox1);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->addItems({QStringLiteral("Рус."), QStringLiteral("Лат.")});
    ComboBox1->setCurrentIndex(0);
    ComboBox1->setMinimumWidth(45);
    ComboBox1->setSizeAdjustPolicy(QComboBox::AdjustToContents); // "Рус." whole in any font
    ComboBox2 = new TSearchComboBox(GroupBox1);
    ComboBox2->setObjectName(QStringLiteral("ComboBox2"));
    searchLayout->addWidget(ComboBox1);
    searchLayout->addWidget(ComboBox2, 1);
    attachFindControls(searchLayout);
    layout->addWidget(GroupBox1);
    connect(ComboBox2, &TSearchComboBox::keyTyped, this, [this] { m_typed = true; });
    connect(ComboBox2, &QComboBox::editTextChanged, this, [this] {
        if (m_changeAttached)
            ComboBox2Change();
    });
    connect(ComboBox2, &TSearchComboBox::closedUp, this, [this] { ComboBox2CloseUp(); });
    connect(ComboBox2, qOverload<int>(&QComboBox::activated), this,
            [this](int index) { ComboBox2Select(index); });

    Splitter1 = new QSplitter(Qt::Horizontal, page);
    Splitter1->setChildrenCollapsible(false);
    TreeView1 = makeTree("TreeView1");
    Panel2 = new QFrame;
    auto *panel2Layout = new QVBoxLayout(Panel2);
    panel2Layout->setContentsMargins(0, 0, 0, 0);
    panel2Layout->setSpacing(0);
    Panel11 = new QFrame(Panel2);
    Panel11->setFixedHeight(28);
    auto *panel11Layout = new QVBoxLayout(Panel11);
    panel11Layout->setContentsMargins(2, 2, 2, 0);
    panel11Layout->setSpacing(2);
    BitBtn1 = new QPushButton(QStringLiteral("Печать"), Panel11);
    BitBtn1->setFixedSize(75, 22);
    panel11Layout->addWidget(BitBtn1, 0, Qt::AlignLeft);
    Bevel1 = new QFrame(Panel11);
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setFrameShadow(QFrame::Sunken);
    panel11Layout->addWidget(Bevel1);
    panel2Layout->addWidget(Panel11, 0, Qt::AlignTop); // stays at the top, view or no view
    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    Splitter1->addWidget(TreeView1);
    Splitter1->addWidget(Panel2);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({223, 569});
    layout->addWidget(Splitter1, 1);
    connect(TreeView1, &QTreeWidget::itemExpanded, this,
            [](QTreeWidgetItem *item) { openProductLetter(item); });
    connect(TreeView1, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem *current) {
        if (current)
            TreeView1Change(current);
    });
    attachAnimalControls(searchLayout);
    return page;
}

QWidget *TKalmedaRamuxMainForm::buildGroupsPage()
{
    auto *page = new QWidget;
    auto *layout = new QHBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    Splitter2 = new QSplitter(Qt::Horizontal, page);
    Splitter2->setChildrenCollapsible(false);
    TreeView2 = makeTree("TreeView2");
    Panel6 = new QFrame;
    auto *panelLayout = new QVBoxLayout(Panel6);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    panelLayout->setSpacing(0);
    Splitter2->addWidget(TreeView2);
    Splitter2->addWidget(Panel6);
    Splitter2->setStretchFactor(1, 1);
    Splitter2->setSizes({223, 569});
    layout->addWidget(Splitter2);
    // Single-expand: the selected group opens, the one selected before closes (unless the
    // new one lies inside it).
    connect(TreeView2, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem *current, QTreeWidgetItem *previous) {
                if (previous && current) {
                    bool ancestor = false;
                    for (QTreeWidgetItem *p = current->parent(); p && !ancestor; p = p->parent())
                        ancestor = p == previous;
                    if (!ancestor)
                        previous->setExpanded(false);
                }
                if (current) {
                    current->setExpanded(true);
                    TreeView2Change(current);
                }
            });
    return page;
}

QWidget *TKalmedaRamuxMainForm::buildVendorsPage()
{
    auto *page = new QWidget;
    auto *layout = new QHBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    Splitter3 = new QSplitter(Qt::Horizontal, page);
    Splitter3->setChildrenCollapsible(false);
    TreeView3 = makeTree("TreeView3");
    TreeView3->setRootIsDecorated(false); // a flat list: no buttons, no lines
    TreeView3->setItemsExpandable(false);
    Panel9 = new QFrame;
    auto *panelLayout = new QVBoxLayout(Panel9);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    panelLayout->setSpacing(0);
    Splitter3->addWidget(TreeView3);
    Splitter3->addWidget(Panel9);
    Splitter3->setStretchFactor(1, 1);
    Splitter3->setSizes({223, 569});
    layout->addWidget(Splitter3);
    connect(TreeView3, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem *current) {
        if (current)
            TreeView3Change(current);
    });
    return page;
}

void TKalmedaRamuxMainForm::LoadItemsTree()
{
    ShowStatus(QStringLiteral("Загрузка препаратов..."));
    UpdatesSuspended suspended(TreeView1);
    RussianNames.clear();
    LatinNames.clear();
    {
        const QSignalBlocker blocker(TreeView1);
        TreeView1->clear();
    }
    NameLists names = m_nameLists.valid() ? m_nameLists.get() : buildNameLists(Tables);
    QVector<BrowseNode> tree = buildProductTree(names);
    RussianNames = std::move(names.russian);
    LatinNames = std::move(names.latin);
    {
        const QSignalBlocker blocker(TreeView1);
        TreeView1->addTopLevelItems(makeProductTreeItems(std::move(tree)));
        TreeView1->setCurrentItem(nullptr);
    }
    if (m_speciesFilter)
        m_speciesFilter->refresh(false); // the filter narrows the new tree as it did the old one
    showEmptyReferencePage();
}

void TKalmedaRamuxMainForm::LoadSectionsTree()
{
    // One status per group level, as the loader reports while it descends.
    const QString status = QStringLiteral("Загрузка категорий...");
    {
        const QSignalBlocker blocker(TreeView2);
        TreeView2->clear();
    }
    const QVector<BrowseNode> tree = buildSectionTree(Tables, [&status] { ShowStatus(status); });
    fillTree(TreeView2, tree);
}

void TKalmedaRamuxMainForm::LoadVendorsTree()
{
    ShowStatus(QStringLiteral("Загрузка производителей..."));
    fillTree(TreeView3, buildVendorList(Tables));
}

QTreeWidgetItem *TKalmedaRamuxMainForm::FindNodeByData(QTreeWidgetItem *start, qint64 id)
{
    if (!start)
        return nullptr;
    // The iterator walks from the start item to the end of the whole tree in tree order.
    for (QTreeWidgetItemIterator it(start); *it; ++it) {
        if ((*it)->data(0, Qt::UserRole).toLongLong() == id)
            return *it;
        // A product letter not opened yet opens when it holds the id: the walk goes on into it.
        if (unopenedLetterHolds(*it, id))
            openProductLetter(*it);
    }
    return nullptr;
}

QTreeWidgetItem *TKalmedaRamuxMainForm::FindLetterNode(QTreeWidgetItem *root, const QString &letter)
{
    for (int i = 0; i < root->childCount(); ++i) {
        if (root->child(i)->text(0) == letter)
            return root->child(i);
    }
    auto *node = new QTreeWidgetItem(root, QStringList{letter});
    node->setData(0, Qt::UserRole, qint64(0));
    return node;
}
