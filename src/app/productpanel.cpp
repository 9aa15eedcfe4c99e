// The product panel's wiring: the store read for the product shown, the strip's button, Ctrl+R,
// the window's species and the printed appendix.
#include "app/productpanel.h"

#include "answers/answerstore.h"
#include "app/answerspanel.h"
#include "db/runstatus.h"
#include "db/sqlitedb.h"
#include "pages/ui/htmlrenderer.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QFrame>
#include <QLoggingCategory>
#include <QPushButton>
#include <QShortcut>
#include <algorithm>

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

ProductPanel::ProductPanel(Database &db, QObject *parent) : QObject(parent), m_db(db) {}

void ProductPanel::attach(QFrame *page, QWidget *strip, QWidget *after, QWidget *window)
{
    m_page = page;
    m_panel = new AnswersPanel(page);
    page->layout()->addWidget(m_panel);

    m_button = new QPushButton(QStringLiteral("Расчёт дозы"), strip);
    m_button->setObjectName(QStringLiteral("btnDose"));
    m_button->setFixedHeight(22);
    m_button->setToolTip(QStringLiteral("Расчёт дозы и сроки ожидания (Ctrl+R)"));
    m_button->setAccessibleName(QStringLiteral("Расчёт дозы"));
    m_button->setAccessibleDescription(QStringLiteral("Открыть расчёт дозы и сроки ожидания (Ctrl+R)"));
    m_button->hide();
    if (QBoxLayout *row = rowHolding(strip->layout(), after))
        row->insertWidget(row->indexOf(after) + 1, m_button);
    connect(m_button, &QPushButton::clicked, this, &ProductPanel::openRequested);
    m_keys = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_R), window);
    m_keys->setContext(Qt::WindowShortcut);
    m_keys->setEnabled(false);
    connect(m_keys, &QShortcut::activated, this, &ProductPanel::openRequested);

    connect(m_panel->speciesBox(), qOverload<int>(&QComboBox::activated), this, [this](int index) {
        const qint64 id = m_panel->speciesBox()->itemData(index).toLongLong();
        for (const Species &s : std::as_const(m_species)) {
            if (s.id == id)
                emit speciesChosen(s.code);
        }
    });
}

void ProductPanel::attachPrinting(TPBearHTMLRenderer *view)
{
    const auto pagePrint = view->PrintFilter;
    view->PrintFilter = [this, pagePrint](const QString &html) {
        const QString page = pagePrint ? pagePrint(html) : html;
        if (!m_panel || !m_panel->isVisibleTo(m_page))
            return page;
        QString asOf;
        try {
            asOf = runstatus::statusLine(m_db);
        } catch (const std::exception &) {
        }
        return withAppendix(page, m_panel->printHtml(asOf));
    };
}

void ProductPanel::showProduct(std::optional<qint64> itemId)
{
    if (!m_panel)
        return;
    ProductAnswers answers;
    m_species.clear();
    if (itemId && m_db.isOpen()) {
        try {
            answers = loadProductAnswers(m_db, *itemId);
            if (!answers.isEmpty())
                m_species = loadSpecies(m_db);
        } catch (const std::exception &e) {
            // The page stays readable without its panel.
            qCWarning(lcPanel) << "structured rows of" << *itemId << "not read:" << e.what();
            answers = ProductAnswers{};
        }
    }
    // A row for a species the store does not name has nobody to be shown for.
    const auto unknown = [this](qint64 speciesId) {
        return std::none_of(m_species.cbegin(), m_species.cend(),
                            [speciesId](const Species &s) { return s.id == speciesId; });
    };
    answers.doses.removeIf([&](const DoseRow &row) { return unknown(row.speciesId); });
    answers.withdrawals.removeIf([&](const WithdrawalRow &row) { return unknown(row.speciesId); });
    m_panel->setProduct(itemId, answers, m_species);
    m_button->setVisible(m_panel->hasRows());
    m_keys->setEnabled(m_panel->hasRows());
    takeWindowSpecies();
}

void ProductPanel::openCalculator()
{
    if (m_panel)
        m_panel->openCalculator();
}

void ProductPanel::setWindowSpecies(const QString &code)
{
    m_windowSpecies = code;
    takeWindowSpecies();
}

void ProductPanel::takeWindowSpecies()
{
    if (!m_panel || !m_panel->hasRows() || m_windowSpecies.isEmpty())
        return;
    const std::optional<Species> species = findSpecies(m_species, m_windowSpecies);
    QComboBox *box = m_panel->speciesBox();
    const int at = species ? box->findData(species->id) : -1;
    if (at >= 0 && at != box->currentIndex())
        box->setCurrentIndex(at);
}
