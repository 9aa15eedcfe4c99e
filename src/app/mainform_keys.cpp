// The keyboard: every action of the window without the mouse. Ctrl+1, Ctrl+2, ... are the page
// buttons of the toolbar from the left, whatever buttons it has; Alt+←/→ go back and forward;
// Ctrl+P and Ctrl+S print and save the product page; F6 moves between list and view; the zoom
// keys and Ctrl+C act on the shown view.
#include "app/mainform.h"

#include "pages/stylezoom.h"
#include "pages/ui/htmlrenderer.h"

#include <QAction>
#include <QShortcut>
#include <QStackedWidget>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>

namespace {
constexpr int kNumberedPages = 9;
} // namespace

void TKalmedaRamuxMainForm::setUpKeys()
{
    const auto bind = [this](const QKeySequence &keys, auto slot) {
        auto *shortcut = new QShortcut(keys, this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, slot);
    };
    for (int n = 1; n <= kNumberedPages; ++n)
        bind(QKeySequence(Qt::CTRL | Qt::Key(Qt::Key_0 + n)), [this, n] { SwitchToolbarPage(n); });
    bind(QKeySequence(Qt::ALT | Qt::Key_Left), [this] { GoBack(); });
    bind(QKeySequence(Qt::ALT | Qt::Key_Right), [this] { GoForward(); });
    const auto onProductPage = [this](void (TKalmedaRamuxMainForm::*action)()) {
        return [this, action] {
            if (PageControl1->currentWidget() == tsDrugs && PageControl1->isEnabled())
                (this->*action)();
        };
    };
    bind(QKeySequence(Qt::CTRL | Qt::Key_P), onProductPage(&TKalmedaRamuxMainForm::BitBtn1Click));
    bind(QKeySequence(Qt::CTRL | Qt::Key_S), onProductPage(&TKalmedaRamuxMainForm::SavePdfClick));
    bind(QKeySequence(Qt::Key_F6), [this] { SwitchFocusListView(); });
    bind(QKeySequence(Qt::CTRL | Qt::Key_Plus), [this] { SetZoom(stylezoom::stepped(m_zoom, 1)); });
    bind(QKeySequence(Qt::CTRL | Qt::Key_Equal), [this] { SetZoom(stylezoom::stepped(m_zoom, 1)); });
    bind(QKeySequence(Qt::CTRL | Qt::Key_Minus), [this] { SetZoom(stylezoom::stepped(m_zoom, -1)); });
    bind(QKeySequence(Qt::CTRL | Qt::Key_0), [this] { SetZoom(stylezoom::kDefault); });
    bind(QKeySequence::Copy, [this] { CopyPageText(); });
}

void TKalmedaRamuxMainForm::SwitchToolbarPage(int number)
{
    int seen = 0;
    for (QAction *action : ToolBar1->actions()) {
        auto *button = qobject_cast<QToolButton *>(ToolBar1->widgetForAction(action));
        if (!button || button == tbExit || !action->isVisible())
            continue;
        if (++seen == number) {
            if (button->isEnabled() && ToolBar1->isEnabled())
                button->click();
            return;
        }
    }
}

void TKalmedaRamuxMainForm::SwitchFocusListView()
{
    QWidget *page = PageControl1->currentWidget();
    QTreeWidget *tree = nullptr;
    for (QTreeWidget *candidate : {TreeView1, TreeView2, TreeView3}) {
        if (page->isAncestorOf(candidate))
            tree = candidate;
    }
    QWidget *viewer = nullptr;
    for (TPBearHTMLRenderer *view : {m_productView, m_groupView, m_vendorView, m_appendixView, m_aboutView}) {
        if (view && page->isAncestorOf(view->Viewer()))
            viewer = view->Viewer();
    }
    if (!viewer)
        return;
    // From the view to the list; from anywhere else (the list, the search box) to the view.
    if (tree && viewer->hasFocus())
        tree->setFocus(Qt::ShortcutFocusReason);
    else
        viewer->setFocus(Qt::ShortcutFocusReason);
}
