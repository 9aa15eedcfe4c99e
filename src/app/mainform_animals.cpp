// The species filter in the main window: placed beside the search box, and the pages the window
// shows composed again when the filter changes. The filter's own state lives in AnimalFilterBar.
#include "app/mainform.h"

#include "app/searchcombobox.h"
#include "app/animalfilterbar.h"
#include "pages/ui/htmlrenderer.h"

#include <QComboBox>
#include <QGroupBox>
#include <QScrollBar>
#include <QTreeWidget>

void TKalmedaRamuxMainForm::attachAnimalControls(QHBoxLayout *searchLayout)
{
    m_speciesFilter = new AnimalFilterBar(DBConn, RussianNames, LatinNames, this);
    m_speciesFilter->attach(searchLayout, GroupBox1, ComboBox2, Splitter1, TreeView1);
    SpeciesBox = m_speciesFilter->box();
    SpeciesNotice = m_speciesFilter->notice();
    connect(m_speciesFilter, &AnimalFilterBar::changed, this, [this](bool shownPagesToo) {
        if (shownPagesToo)
            recomposeFilteredPages();
    });
}

QString TKalmedaRamuxMainForm::AnimalChoice() const
{
    return m_speciesFilter ? m_speciesFilter->choice() : QString();
}

void TKalmedaRamuxMainForm::SetAnimalChoice(const QString &code)
{
    if (m_speciesFilter)
        m_speciesFilter->choose(code);
}

const AnimalFilter *TKalmedaRamuxMainForm::animalFilter() const
{
    return m_speciesFilter ? m_speciesFilter->filter() : nullptr;
}

void TKalmedaRamuxMainForm::RefreshAnimalFilter()
{
    if (m_speciesFilter)
        m_speciesFilter->refresh(true);
}

void TKalmedaRamuxMainForm::recomposeFilteredPages()
{
    if (QTreeWidgetItem *group = TreeView2->currentItem(); group && m_viewEntry.contains(m_groupView))
        recomposeKeepingPlace(m_groupView, [this, group] { TreeView2Change(group); });
    if (QTreeWidgetItem *vendor = TreeView3->currentItem(); vendor && m_viewEntry.contains(m_vendorView))
        recomposeKeepingPlace(m_vendorView, [this, vendor] { TreeView3Change(vendor); });
    recomposeShownResults();
}

void TKalmedaRamuxMainForm::recomposeKeepingPlace(TPBearHTMLRenderer *view,
                                                  const std::function<void()> &compose)
{
    if (!view)
        return;
    // The page is the same entry of the history, composed anew where it was read.
    const int scroll = view->Viewer()->verticalScrollBar()->value();
    const auto entry = m_viewEntry.constFind(view);
    const std::optional<quint64> serial =
        entry != m_viewEntry.constEnd() ? std::optional<quint64>(*entry) : std::nullopt;
    const bool restoring = m_restoringHistory;
    m_restoringHistory = true;
    compose();
    m_restoringHistory = restoring;
    if (serial)
        m_viewEntry[view] = *serial;
    view->Viewer()->document()->pageCount(); // laid out whole, so the range is long enough
    view->Viewer()->verticalScrollBar()->setValue(scroll);
}
