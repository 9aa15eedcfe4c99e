// The product panel in the main window: below the product view, filled whenever the view shows a
// product, refreshed quietly when an update run changed only the structured rows, opened from the
// product strip or with Ctrl+R, and sharing one species with the species filter. The panel's own
// wiring lives in ProductPanel.
#include "app/mainform.h"

#include "app/answerspanel.h"
#include "app/productpanel.h"
#include "app/speciesfilter.h"

#include <QPushButton>
#include <QStackedWidget>

void TKalmedaRamuxMainForm::installAnswersPanel()
{
    m_productPanel = new ProductPanel(DBConn, this);
    m_productPanel->attach(Panel2, Panel11, btnNote ? static_cast<QWidget *>(btnNote) : BitBtn1, this);
    m_productPanel->attachPrinting(m_productView);
    m_answers = m_productPanel->panel();
    btnDose = m_productPanel->button();
    connect(m_productPanel, &ProductPanel::openRequested, this, [this] { OpenDoseCalculator(); });
    if (m_speciesFilter) {
        connect(m_speciesFilter, &SpeciesFilter::speciesChanged, m_productPanel,
                &ProductPanel::setWindowSpecies);
        connect(m_productPanel, &ProductPanel::speciesChosen, m_speciesFilter,
                &SpeciesFilter::followCalculator);
        m_productPanel->setWindowSpecies(m_speciesFilter->choice());
    }
    showAnswersFor(m_shownItemId);
}

void TKalmedaRamuxMainForm::showAnswersFor(std::optional<qint64> itemId)
{
    if (m_productPanel)
        m_productPanel->showProduct(itemId);
}

void TKalmedaRamuxMainForm::OpenDoseCalculator()
{
    if (!m_answers || !m_answers->hasRows() || !PageControl1->isEnabled())
        return;
    if (PageControl1->currentWidget() != tsDrugs)
        ChangePage(tbDrugs);
    m_productPanel->openCalculator();
}
