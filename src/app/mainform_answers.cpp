// The product panel in the main window: placed below the product view, filled whenever the view
// shows a product, refreshed quietly when an update run changed only the structured rows, opened
// from the product strip or with Ctrl+R, and printed after the page when the user made something.
#include "app/mainform.h"

#include "answers/answerstore.h"
#include "app/answerspanel.h"
#include "app/sheetsettingsbox.h"
#include "app/sheetwindow.h"
#include "db/runstatus.h"
#include "pages/ui/htmlrenderer.h"

#include <QBoxLayout>
#include <QFrame>
#include <QLoggingCategory>
#include <QPushButton>
#include <QShortcut>
#include <QStackedWidget>

Q_LOGGING_CATEGORY(lcPanel, "ramux.panel")

namespace {

// The box layout that holds the widget, searched from the top layout down.
QBoxLayout *rowHolding(QLayout *layout, QWidget *widget)
{
    if (!layout)
        return nullptr;
    if (layout->indexOf(widget) >= 0)
        return qobject_cast<QBoxLayout *>(layout);
    for (int i = 0; i < layout->count(); ++i) {
        if (QBoxLayout *inner = rowHolding(layout->itemAt(i)->layout(), widget))
            return inner;
    }
    return nullptr;
}

// The page printed with the panel's additions before the closing of its body.
QString withAppendix(const QString &html, const QString &appendix)
{
    if (appendix.isEmpty())
        return html;
    const qsizetype body = html.lastIndexOf(QLatin1String("</body>"), -1, Qt::CaseInsensitive);
    if (body < 0)
        return html + appendix;
    QString out = html;
    out.insert(body, appendix);
    return out;
}

} // namespace

void TKalmedaRamuxMainForm::installAnswersPanel()
{
    m_answers = new AnswersPanel(Panel2);
    Panel2->layout()->addWidget(m_answers);

    btnDose = new QPushButton(QStringLiteral("Расчёт дозы"), Panel11);
    btnDose->setObjectName(QStringLiteral("btnDose"));
    btnDose->setFixedHeight(22);
    btnDose->setToolTip(QStringLiteral("Расчёт дозы и сроки ожидания (Ctrl+R)"));
    btnDose->setAccessibleName(QStringLiteral("Расчёт дозы"));
    btnDose->setAccessibleDescription(QStringLiteral("Открыть расчёт дозы и сроки ожидания (Ctrl+R)"));
    QWidget *after = btnNote ? static_cast<QWidget *>(btnNote) : BitBtn1;
    if (QBoxLayout *row = rowHolding(Panel11->layout(), after))
        row->insertWidget(row->indexOf(after) + 1, btnDose);
    connect(btnDose, &QPushButton::clicked, this, [this] { OpenDoseCalculator(); });
    auto *keys = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_R), this);
    keys->setContext(Qt::WindowShortcut);
    connect(keys, &QShortcut::activated, this, [this] { OpenDoseCalculator(); });

    // The treatment sheet: its own window, fed by the panel and opened from the strip or Ctrl+L.
    m_sheet = new SheetWindow(DBConn, this);
    btnSheet = new QPushButton(QStringLiteral("Лист назначения"), Panel11);
    btnSheet->setObjectName(QStringLiteral("btnSheet"));
    btnSheet->setFixedHeight(22);
    btnSheet->setToolTip(QStringLiteral("Лист назначения для владельца (Ctrl+L)"));
    if (QBoxLayout *row = rowHolding(Panel11->layout(), btnDose))
        row->insertWidget(row->indexOf(btnDose) + 1, btnSheet);
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

    // The paper gets the calculation and the dates the user made; without them it is the page.
    const auto pagePrint = m_productView->PrintFilter;
    m_productView->PrintFilter = [this, pagePrint](const QString &html) {
        const QString page = pagePrint ? pagePrint(html) : html;
        if (!m_answers || !m_answers->isVisibleTo(Panel2))
            return page;
        QString asOf;
        try {
            asOf = runstatus::statusLine(DBConn);
        } catch (const std::exception &) {
        }
        return withAppendix(page, m_answers->printHtml(asOf));
    };
    showAnswersFor(m_shownItemId);
}

void TKalmedaRamuxMainForm::showAnswersFor(std::optional<qint64> itemId)
{
    if (!m_answers)
        return;
    ProductAnswers answers;
    QList<Species> species;
    if (itemId && DBConn.isOpen()) {
        try {
            answers = loadProductAnswers(DBConn, *itemId);
            if (!answers.isEmpty())
                species = loadSpecies(DBConn);
        } catch (const std::exception &e) {
            // The page stays readable without its panel.
            qCWarning(lcPanel) << "structured rows of" << *itemId << "not read:" << e.what();
            answers = ProductAnswers{};
        }
    }
    m_answers->setProduct(itemId, answers, species);
    if (btnDose)
        btnDose->setEnabled(m_answers->hasRows());
}

void TKalmedaRamuxMainForm::OpenDoseCalculator()
{
    if (!m_answers || !m_answers->hasRows() || !PageControl1->isEnabled())
        return;
    if (PageControl1->currentWidget() != tsDrugs)
        ChangePage(tbDrugs);
    m_answers->openCalculator();
}
