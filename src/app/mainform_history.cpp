// The history of shown pages: recording what the product, group and manufacturer views show,
// the Back and Forward buttons above them, and going back or forward to a page as it was left.
#include "app/mainform.h"
#include "app/searchcombobox.h"

#include "pages/linkpage.h"
#include "pages/ui/htmlrenderer.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScrollBar>
#include <QStackedWidget>
#include <QStyle>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int kStripHeight = 28; // the height of the print strip of the product page

qint64 selectedId(const QTreeWidget *tree)
{
    const QTreeWidgetItem *item = tree ? tree->currentItem() : nullptr;
    return item ? item->data(0, Qt::UserRole).toLongLong() : 0;
}

// Selects the node of `id` without composing its page (the page is shown another way).
void selectQuietly(QTreeWidget *tree, qint64 id)
{
    if (!tree || id == 0)
        return;
    QTreeWidgetItem *node = TKalmedaRamuxMainForm::FindNodeByData(tree->topLevelItem(0), id);
    if (!node)
        return;
    const QSignalBlocker blocker(tree);
    tree->setCurrentItem(node);
    tree->scrollToItem(node);
}

struct RestoreScope
{
    explicit RestoreScope(bool &flag) : m_flag(flag) { m_flag = true; }
    ~RestoreScope() { m_flag = false; }
    RestoreScope(const RestoreScope &) = delete;
    RestoreScope &operator=(const RestoreScope &) = delete;
    bool &m_flag;
};

} // namespace

void TKalmedaRamuxMainForm::buildHistoryStrips()
{
    const auto makeButton = [this](QWidget *parent, bool back) {
        auto *button = new QToolButton(parent);
        button->setIcon(style()->standardIcon(back ? QStyle::SP_ArrowBack : QStyle::SP_ArrowForward));
        button->setToolTip(back ? QStringLiteral("Назад (Alt+←)") : QStringLiteral("Вперёд (Alt+→)"));
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus); // Alt+← and Alt+→ serve the keyboard
        button->setFixedSize(26, 22);
        button->setEnabled(false);
        connect(button, &QToolButton::clicked, this, [this, back] { back ? GoBack() : GoForward(); });
        return button;
    };

    // The product page: Печать stays where it was; the PDF button follows it and the history
    // ends the row (the row may already exist, holding the favourites' buttons).
    auto *strip = qobject_cast<QVBoxLayout *>(Panel11->layout());
    QHBoxLayout *row = nullptr;
    for (int i = 0; i < strip->count() && !row; ++i) {
        auto *inner = qobject_cast<QHBoxLayout *>(strip->itemAt(i)->layout());
        if (inner && inner->indexOf(BitBtn1) >= 0)
            row = inner;
    }
    if (!row) {
        strip->removeWidget(BitBtn1);
        row = new QHBoxLayout;
        row->addWidget(BitBtn1);
        row->addStretch(1);
        strip->insertLayout(0, row);
    }
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(2);
    PdfButton = new QPushButton(QStringLiteral("Сохранить в PDF…"), Panel11);
    PdfButton->setObjectName(QStringLiteral("PdfButton"));
    PdfButton->setToolTip(QStringLiteral("Сохранить страницу в файл PDF (Ctrl+S)"));
    PdfButton->setFixedHeight(22);
    PdfButton->setMinimumWidth(75);
    connect(PdfButton, &QPushButton::clicked, this, [this] { SavePdfClick(); });
    row->insertWidget(row->indexOf(BitBtn1) + 1, PdfButton);
    int end = row->count();
    if (end > 0 && row->itemAt(end - 1)->spacerItem())
        --end; // before the closing stretch
    BackButtons[0] = makeButton(Panel11, true);
    ForwardButtons[0] = makeButton(Panel11, false);
    row->insertSpacing(end, 6);
    row->insertWidget(end + 1, BackButtons[0]);
    row->insertWidget(end + 2, ForwardButtons[0]);
    BitBtn1->setToolTip(QStringLiteral("Печать (Ctrl+P)"));

    // The group and manufacturer views get a strip of the same look above them.
    int slot = 1;
    for (QFrame *panel : {Panel6, Panel9}) {
        auto *frame = new QFrame(panel);
        frame->setFixedHeight(kStripHeight);
        auto *layout = new QVBoxLayout(frame);
        layout->setContentsMargins(2, 2, 2, 0);
        layout->setSpacing(2);
        auto *buttons = new QHBoxLayout;
        buttons->setContentsMargins(0, 0, 0, 0);
        buttons->setSpacing(2);
        BackButtons[slot] = makeButton(frame, true);
        ForwardButtons[slot] = makeButton(frame, false);
        buttons->addWidget(BackButtons[slot]);
        buttons->addWidget(ForwardButtons[slot]);
        buttons->addStretch(1);
        layout->addLayout(buttons);
        auto *bevel = new QFrame(frame);
        bevel->setFrameShape(QFrame::HLine);
        bevel->setFrameShadow(QFrame::Sunken);
        layout->addWidget(bevel);
        qobject_cast<QVBoxLayout *>(panel->layout())->insertWidget(0, frame);
        ++slot;
    }

    // A view about to show another page first keeps the place of the one it leaves.
    for (TPBearHTMLRenderer *view : {m_productView, m_groupView, m_vendorView}) {
        if (!view)
            continue;
        view->OnBeforeLoad = [this](TAbstractHTMLRenderer *sender) {
            auto *view = static_cast<TPBearHTMLRenderer *>(sender);
            const auto it = m_viewEntry.find(view);
            if (it == m_viewEntry.end())
                return;
            History.setScroll(*it, view->Viewer()->verticalScrollBar()->value());
            m_viewEntry.erase(it);
            m_viewStale.remove(view);
        };
    }
}

void TKalmedaRamuxMainForm::noteShown(HistoryKind kind, qint64 id, TPBearHTMLRenderer *view, qint64 currentItem)
{
    if (m_restoringHistory || !view)
        return;
    captureScrolls();
    HistoryEntry entry;
    entry.kind = kind;
    entry.id = id;
    entry.currentItem = currentItem;
    QTreeWidget *tree = kind == HistoryKind::Group ? TreeView2 : kind == HistoryKind::Vendor ? TreeView3 : TreeView1;
    QWidget *page = kind == HistoryKind::Group ? tsGroups : kind == HistoryKind::Vendor ? tsVendors : tsDrugs;
    entry.toolbarPage = PageControl1->indexOf(page);
    entry.selectedId = selectedId(tree);
    m_viewEntry[view] = History.visit(entry);
    updateHistoryButtons();
}

void TKalmedaRamuxMainForm::NoteSearchShown(const QString &query)
{
    if (m_restoringHistory || !m_productView)
        return;
    captureScrolls();
    HistoryEntry entry;
    entry.kind = HistoryKind::Search;
    entry.query = query;
    entry.toolbarPage = PageControl1->indexOf(tsDrugs);
    entry.selectedId = selectedId(TreeView1);
    m_viewEntry[m_productView] = History.visit(entry);
    updateHistoryButtons();
}

void TKalmedaRamuxMainForm::captureScrolls()
{
    for (auto it = m_viewEntry.constBegin(); it != m_viewEntry.constEnd(); ++it)
        History.setScroll(it.value(), it.key()->Viewer()->verticalScrollBar()->value());
}

bool TKalmedaRamuxMainForm::historyEntryExists(const HistoryEntry &entry) const
{
    switch (entry.kind) {
    case HistoryKind::Product:
        return Tables.items.locate(entry.id) && FindNodeByData(TreeView1->topLevelItem(0), entry.id);
    case HistoryKind::Group:
        return FindNodeByData(TreeView2->topLevelItem(0), entry.id);
    case HistoryKind::Vendor:
        return FindNodeByData(TreeView3->topLevelItem(0), entry.id);
    case HistoryKind::Distributor:
        return Tables.distributors.locate(entry.id);
    case HistoryKind::Dealer:
        return Tables.dealers.locate(entry.id);
    case HistoryKind::Search:
        return true; // a query can always be searched again
    }
    return false;
}

bool TKalmedaRamuxMainForm::showHistoryEntry(const HistoryEntry &entry)
{
    const RestoreScope scope(m_restoringHistory);
    TPBearHTMLRenderer *view = m_productView;
    QTreeWidget *tree = TreeView1;
    if (entry.kind == HistoryKind::Group) {
        view = m_groupView;
        tree = TreeView2;
    } else if (entry.kind == HistoryKind::Vendor) {
        view = m_vendorView;
        tree = TreeView3;
    }
    if (!view)
        return false;
    // A page still in its view is only brought to the front.
    if (!m_viewEntry.contains(view) || m_viewEntry.value(view) != entry.serial || m_viewStale.value(view)) {
        try {
            switch (entry.kind) {
            case HistoryKind::Product:
            case HistoryKind::Group:
            case HistoryKind::Vendor: {
                QTreeWidgetItem *node = FindNodeByData(tree->topLevelItem(0), entry.id);
                if (!node)
                    return false;
                if (tree->currentItem() != node) {
                    tree->setCurrentItem(node); // its selection handler composes the page
                } else if (entry.kind == HistoryKind::Product) {
                    TreeView1Change(node);
                } else if (entry.kind == HistoryKind::Group) {
                    TreeView2Change(node);
                } else {
                    TreeView3Change(node);
                }
                tree->scrollToItem(node);
                break;
            }
            case HistoryKind::Distributor:
            case HistoryKind::Dealer: {
                const PartnerKind kind =
                    entry.kind == HistoryKind::Dealer ? PartnerKind::Dealer : PartnerKind::Distributor;
                std::optional<qint64> current;
                if (entry.currentItem != 0)
                    current = entry.currentItem;
                const std::optional<ComposedPage> page = composePartnerPage(
                    PageSources{DBConn, Tables, RussianNames, LatinNames}, kind, entry.id, current);
                if (!page)
                    return false;
                view->LoadDocument(page->document);
                productPageShown(std::nullopt); // no product strip actions on a partner page
                selectQuietly(tree, entry.selectedId);
                break;
            }
            case HistoryKind::Search: {
                ShowSearchResults(entry.query);
                selectQuietly(tree, entry.selectedId);
                // The box shows what was searched, without a drop-down for it.
                const bool attached = m_changeAttached;
                m_changeAttached = false;
                ComboBox2->setEditText(entry.query);
                m_changeAttached = attached;
                break;
            }
            }
        } catch (...) {
            return false; // as a link that cannot be followed: nothing happens
        }
        m_viewEntry[view] = entry.serial;
        m_viewStale.remove(view);
    }
    for (auto it = m_tags.constBegin(); it != m_tags.constEnd(); ++it) {
        if (it.value() == entry.toolbarPage && it.key() != tbExit) {
            ChangePage(it.key());
            break;
        }
    }
    // The whole page is laid out first, or the scroll range would still be short of it.
    view->Viewer()->document()->pageCount();
    view->Viewer()->verticalScrollBar()->setValue(entry.scroll);
    return true;
}

void TKalmedaRamuxMainForm::stepHistory(int direction)
{
    if (!PageControl1->isEnabled())
        return; // a data reload is under way
    captureScrolls();
    const PageHistory::Exists exists = [this](const HistoryEntry &entry) { return historyEntryExists(entry); };
    // A view showing a page that is no entry (a letter of the product list, a page that could
    // not be composed) goes back to the entry it left first.
    if (const HistoryEntry *current = History.current(); direction < 0 && current) {
        TPBearHTMLRenderer *view = current->kind == HistoryKind::Group    ? m_groupView
                                   : current->kind == HistoryKind::Vendor ? m_vendorView
                                                                          : m_productView;
        const HistoryEntry entry = *current;
        if (view && !m_viewEntry.contains(view) && exists(entry) && showHistoryEntry(entry)) {
            updateHistoryButtons();
            return;
        }
    }
    const std::optional<HistoryEntry> entry = direction < 0 ? History.back(exists) : History.forward(exists);
    if (entry)
        showHistoryEntry(*entry);
    updateHistoryButtons();
}

void TKalmedaRamuxMainForm::GoBack()
{
    stepHistory(-1);
}

void TKalmedaRamuxMainForm::GoForward()
{
    stepHistory(+1);
}

void TKalmedaRamuxMainForm::updateHistoryButtons()
{
    for (int i = 0; i < 3; ++i) {
        if (BackButtons[i])
            BackButtons[i]->setEnabled(History.canGoBack());
        if (ForwardButtons[i])
            ForwardButtons[i]->setEnabled(History.canGoForward());
    }
}

void TKalmedaRamuxMainForm::historyAfterReload()
{
    captureScrolls();
    // The views keep their pages as composed before; shown again, a page is composed anew.
    for (auto it = m_viewEntry.constBegin(); it != m_viewEntry.constEnd(); ++it)
        m_viewStale[it.key()] = true;
    History.prune([this](const HistoryEntry &entry) { return historyEntryExists(entry); });
    updateHistoryButtons();
}
