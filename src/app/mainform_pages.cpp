// The page views of the main window and their handlers: composing a record's page when a list
// selection changes, following links between pages, and the print button.
#include "app/mainform.h"

#include "app/messageboxes.h"
#include "pages/grouppage.h"
#include "pages/htmljoiner.h"
#include "pages/linkpage.h"
#include "pages/links.h"
#include "pages/productpage.h"
#include "pages/ui/htmlrenderer.h"
#include "pages/ui/printing.h"

#include <QFrame>
#include <QLayout>
#include <QToolButton>
#include <QTreeWidget>

namespace {

// Link handling is silent about everything, composition errors included; the selection
// handlers it calls report theirs only outside it. GUI thread only.
int g_linkDepth = 0;

struct LinkScope
{
    LinkScope() { ++g_linkDepth; }
    ~LinkScope() { --g_linkDepth; }
    LinkScope(const LinkScope &) = delete;
    LinkScope &operator=(const LinkScope &) = delete;
};

void reportPageError(const QString &text)
{
    if (g_linkDepth == 0)
        showErrorBox(text);
}

QString errorText(const std::exception &e)
{
    if (const auto *ramux = dynamic_cast<const RamuxError *>(&e))
        return ramux->message();
    return QString::fromUtf8(e.what());
}

qint64 nodeId(const QTreeWidgetItem *node)
{
    return node->data(0, Qt::UserRole).toLongLong();
}

// A built-in page, plain-appended to a fresh joiner, into a view.
void loadBuiltInPage(TPBearHTMLRenderer *view, const QString &resource)
{
    THTMLJoiner joiner;
    joiner.AddHTML(QString::fromUtf8(builtInResource(resource).value_or(QByteArray())));
    view->LoadDocument(joiner.GetDocument());
}

// Selects the node; the list's own selection handler composes the page, or, when the node
// is selected already, `compose` does.
void selectAndCompose(QTreeWidget *tree, QTreeWidgetItem *node, const std::function<void()> &compose)
{
    if (tree->currentItem() == node) {
        compose();
        return;
    }
    tree->setCurrentItem(node);
    tree->scrollToItem(node);
}

} // namespace

void TKalmedaRamuxMainForm::createViews()
{
    const auto bind = [this](TPBearHTMLRenderer *view) {
        view->OnLink = [this](TAbstractHTMLRenderer *sender, const QString &link) {
            PageLinkClick(sender, link);
        };
        return view;
    };
    m_productView = bind(new TPBearHTMLRenderer(Panel2));
    m_groupView = bind(new TPBearHTMLRenderer(Panel6));
    m_vendorView = bind(new TPBearHTMLRenderer(Panel9));
    m_appendixView = bind(new TPBearHTMLRenderer(Panel4));
    loadBuiltInPage(m_appendixView, QStringLiteral("MORE_HTML"));
    m_aboutView = bind(new TPBearHTMLRenderer(Panel7));
    loadBuiltInPage(m_aboutView, QStringLiteral("ABOUT_HTML"));
}

void TKalmedaRamuxMainForm::TreeView1Change(QTreeWidgetItem *node)
{
    if (!node || !m_productView)
        return;
    const qint64 id = nodeId(node);
    const ComposedPage page = composeProductPage(PageSources{DBConn, Tables, RussianNames, LatinNames}, id);
    // The back link of partner pages returns to the product composed last.
    if (Tables.items.locate(id))
        m_currentItemId = id;
    try {
        m_productView->LoadDocument(page.document);
    } catch (const std::exception &e) {
        reportPageError(errorText(e));
        return;
    }
    productPageShown(Tables.items.locate(id) ? std::optional<qint64>(id) : std::nullopt);
    if (Tables.items.locate(id))
        noteShown(HistoryKind::Product, id, m_productView);
    if (page.error)
        reportPageError(*page.error);
}

void TKalmedaRamuxMainForm::TreeView2Change(QTreeWidgetItem *node)
{
    if (!node || !m_groupView)
        return;
    QVector<ChildNode> children;
    children.reserve(node->childCount());
    for (int i = 0; i < node->childCount(); ++i)
        children.push_back(ChildNode{nodeId(node->child(i)), node->child(i)->text(0)});
    try {
        const std::optional<ComposedPage> page = composeGroupPage(
            PageSources{DBConn, Tables, RussianNames, LatinNames}, nodeId(node), children, animalFilter());
        if (page) {
            m_groupView->LoadDocument(page->document);
            noteShown(HistoryKind::Group, nodeId(node), m_groupView);
        }
    } catch (const std::exception &e) {
        reportPageError(errorText(e));
    }
}

void TKalmedaRamuxMainForm::TreeView3Change(QTreeWidgetItem *node)
{
    if (!node || !m_vendorView)
        return;
    try {
        const std::optional<ComposedPage> page = composeVendorPage(
            PageSources{DBConn, Tables, RussianNames, LatinNames}, nodeId(node), animalFilter());
        if (page) {
            m_vendorView->LoadDocument(page->document);
            noteShown(HistoryKind::Vendor, nodeId(node), m_vendorView);
        }
    } catch (const std::exception &e) {
        reportPageError(errorText(e));
    }
}

void TKalmedaRamuxMainForm::PageLinkClick(QObject *view, const QString &link)
{
    const LinkScope scope;
    try {
        const bool searchHit = prepareSearchHit(view, link);
        const std::optional<InternalLink> target = parseInternalLink(link);
        if (!target)
            return;
        QTreeWidget *tree = nullptr;
        QToolButton *button = nullptr;
        std::function<void(QTreeWidgetItem *)> compose;
        switch (target->target) {
        case LinkTarget::Section:
            tree = TreeView2;
            button = tbGroups;
            compose = [this](QTreeWidgetItem *node) { TreeView2Change(node); };
            break;
        case LinkTarget::Item:
            tree = TreeView1;
            button = tbDrugs;
            compose = [this](QTreeWidgetItem *node) { TreeView1Change(node); };
            break;
        case LinkTarget::Vendor:
            tree = TreeView3;
            button = tbVendors;
            compose = [this](QTreeWidgetItem *node) { TreeView3Change(node); };
            break;
        case LinkTarget::Dealer:
        case LinkTarget::Distributor: {
            std::optional<qint64> current = m_currentItemId;
            if (!current && !Tables.items.rows.isEmpty())
                current = Tables.items.rows.first().id; // the table's first row in name order
            const PartnerKind kind =
                target->target == LinkTarget::Dealer ? PartnerKind::Dealer : PartnerKind::Distributor;
            const std::optional<ComposedPage> page = composePartnerPage(
                PageSources{DBConn, Tables, RussianNames, LatinNames}, kind, target->id, current);
            if (page && m_productView) {
                m_productView->LoadDocument(page->document);
                productPageShown(std::nullopt);
                noteShown(target->target == LinkTarget::Dealer ? HistoryKind::Dealer : HistoryKind::Distributor,
                          target->id, m_productView, current.value_or(0));
            }
            return;
        }
        }
        QTreeWidgetItem *node = FindNodeByData(tree->topLevelItem(0), target->id);
        if (!node)
            return;
        selectAndCompose(tree, node, [&] { compose(node); });
        ChangePage(button);
        if (searchHit)
            revealSearchHit();
    } catch (...) {
        // A link that cannot be followed does nothing.
    }
}

void TKalmedaRamuxMainForm::BitBtn1Click()
{
    if (m_productView)
        printViewWithDialog(*m_productView, this);
}
