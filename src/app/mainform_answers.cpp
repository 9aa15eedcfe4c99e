// The product panel in the main window: below the product view, filled whenever the view shows a
// product, refreshed quietly when an update run changed only the structured rows, opened from the
// product strip or with Ctrl+R, and sharing one species with the species filter. The panel's own
// wiring lives in ProductPanel.
#include "app/mainform.h"

#include "app/answerspanel.h"
#include "app/productpanel.h"
#include "app/sheetsettingsbox.h"
#include "app/sheetwindow.h"
#include "app/animalfilterbar.h"
#include "pages/ui/htmlrenderer.h"

#include <QBoxLayout>
#include <QPushButton>
#include <QShortcut>
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
        connect(m_speciesFilter, &AnimalFilterBar::speciesChanged, m_productPanel,
                &ProductPanel::setWindowSpecies);
        connect(m_productPanel, &ProductPanel::speciesChosen, m_speciesFilter,
                &AnimalFilterBar::followCalculator);
        m_productPanel->setWindowSpecies(m_speciesFilter->choice());
    }

    // The treatment sheet: its own window, fed by the panel and opened from the strip or Ctrl+L.
    m_sheet = new SheetWindow(DBConn, this);
    btnSheet = new QPushButton(QStringLiteral("Лист назначения"), Panel11);
    btnSheet->setObjectName(QStringLiteral("btnSheet"));
    btnSheet->setFixedHeight(22);
    btnSheet->setToolTip(QStringLiteral("Лист назначения для владельца (Ctrl+L)"));
    m_productPanel->addToStrip(btnSheet);
    connect(btnSheet, &QPushButton::clicked, m_sheet, &SheetWindow::showSheet);
    auto *sheetKeys = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_L), this);
    sheetKeys->setContext(Qt::WindowShortcut);
    connect(sheetKeys, &QShortcut::activated, m_sheet, &SheetWindow::showSheet);
    connect(m_answers, &AnswersPanel::sheetLineRequested, m_sheet,
            [this](qint64 itemId, const DoseCalculation &calculation, const QString &lastDose) {
                m_sheet->addCalculation(itemId, calculation, lastDose);
                m_sheet->showSheet();
            });
    if (auto *page = qobject_cast<QBoxLayout *>(tsSettings->layout()))
        page->insertWidget(qMax(0, page->count() - 1), new SheetSettingsBox(DBConn, tsSettings));
    connect(m_sheet, &SheetWindow::productRequested, this, [this](const QString &link) {
        PageLinkClick(m_productView, link);
    });
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
