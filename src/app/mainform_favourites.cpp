// The favourites of the main window: the "Избранное" page, the star of the product strip
// (and Ctrl+D), and the user tables made ready whenever the database is (re)opened.
#include "app/mainform.h"

#include "app/accessibility.h"
#include "app/messageboxes.h"
#include "db/userdata.h"
#include "pages/favouritespage.h"
#include "pages/notebox.h"
#include "pages/productpage.h"
#include "pages/ui/htmlrenderer.h"

#include <QBoxLayout>
#include <QFrame>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QToolBar>
#include <QStackedWidget>
#include <QToolButton>

namespace {

QString errorText(const std::exception &e)
{
    if (const auto *ramux = dynamic_cast<const RamuxError *>(&e))
        return ramux->message();
    return QString::fromUtf8(e.what());
}

// The box layout that holds the widget, searched from the top layout down.
QBoxLayout *layoutHolding(QLayout *layout, QWidget *widget)
{
    if (!layout)
        return nullptr;
    if (layout->indexOf(widget) >= 0)
        return qobject_cast<QBoxLayout *>(layout);
    for (int i = 0; i < layout->count(); ++i)
        if (QBoxLayout *inner = layoutHolding(layout->itemAt(i)->layout(), widget))
            return inner;
    return nullptr;
}

} // namespace

void TKalmedaRamuxMainForm::installUserDataUi()
{
    tsFavourites = buildViewPage(PanelFavourites);
    PageControl1->addWidget(tsFavourites);
    // The button carries wherever the page landed in the stack, like every page button.
    m_tags.insert(tbFavourites, PageControl1->indexOf(tsFavourites));
    // Composed whenever it comes to the front, by whichever way it is brought there.
    connect(PageControl1, &QStackedWidget::currentChanged, this, [this](int index) {
        if (PageControl1->widget(index) == tsFavourites)
            RefreshFavouritesPage();
    });

    // The star and the note sit beside the print button, in whatever row holds it.
    btnFavourite = new QPushButton(QStringLiteral("В избранное"), Panel11);
    btnFavourite->setObjectName(QStringLiteral("btnFavourite"));
    btnFavourite->setIcon(QIcon(QStringLiteral(":/icons/favourites.png")));
    btnFavourite->setFixedHeight(22);
    btnFavourite->setToolTip(QStringLiteral("Ctrl+D"));
    btnNote = new QPushButton(QStringLiteral("Заметка…"), Panel11);
    btnNote->setObjectName(QStringLiteral("btnNote"));
    btnNote->setFixedHeight(22);
    if (QBoxLayout *holder = layoutHolding(Panel11->layout(), BitBtn1)) {
        const int at = holder->indexOf(BitBtn1);
        if (holder->direction() == QBoxLayout::LeftToRight) {
            holder->insertWidget(at + 1, btnFavourite);
            holder->insertWidget(at + 2, btnNote);
        } else {
            holder->removeWidget(BitBtn1);
            auto *row = new QHBoxLayout;
            row->setSpacing(4);
            row->addWidget(BitBtn1);
            row->addWidget(btnFavourite);
            row->addWidget(btnNote);
            row->addStretch(1);
            holder->insertLayout(at, row);
        }
    }
    connect(btnFavourite, &QPushButton::clicked, this, [this] { ToggleFavourite(); });
    connect(btnNote, &QPushButton::clicked, this, [this] { EditNote(); });
    auto *star = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_D), this);
    connect(star, &QShortcut::activated, this, [this] {
        if (PageControl1->currentWidget() == tsDrugs && btnFavourite->isEnabled())
            ToggleFavourite();
    });
    productPageShown(std::nullopt);
}

void TKalmedaRamuxMainForm::prepareUserData()
{
    try {
        userdata::ensureTables(DBConn);
        userdata::refreshLastNames(DBConn);
    } catch (const std::exception &) {
        // A file that cannot take the user tables still browses; starring then reports why.
    }
    refreshFavouritesIfShown();
}

void TKalmedaRamuxMainForm::productPageShown(std::optional<qint64> itemId)
{
    m_shownItemId = itemId;
    showAnswersFor(itemId);
    if (!btnFavourite)
        return;
    bool starred = false;
    if (itemId) {
        try {
            const std::optional<userdata::UserItem> item = userdata::item(DBConn, *itemId);
            starred = item && item->favourite;
        } catch (const std::exception &) {
        }
    }
    btnFavourite->setText(starred ? QStringLiteral("Убрать из избранного") : QStringLiteral("В избранное"));
    btnFavourite->setEnabled(itemId.has_value());
    btnNote->setEnabled(itemId.has_value());
}

void TKalmedaRamuxMainForm::ToggleFavourite()
{
    if (!m_shownItemId)
        return;
    try {
        const std::optional<userdata::UserItem> item = userdata::item(DBConn, *m_shownItemId);
        userdata::setFavourite(DBConn, *m_shownItemId, !(item && item->favourite));
    } catch (const std::exception &e) {
        showErrorBox(errorText(e));
    }
    productPageShown(m_shownItemId);
    refreshFavouritesIfShown();
}

void TKalmedaRamuxMainForm::RefreshFavouritesPage()
{
    if (!m_favouritesView) {
        m_favouritesView = new TPBearHTMLRenderer(PanelFavourites);
        nameFavouritesView(m_favouritesView->Viewer());
        m_favouritesView->OnLink = [this](TAbstractHTMLRenderer *sender, const QString &link) {
            PageLinkClick(sender, link);
        };
    }
    const ComposedPage page = composeFavouritesPage(DBConn, Tables);
    try {
        m_favouritesView->LoadDocument(page.document);
    } catch (const std::exception &e) {
        showErrorBox(errorText(e));
    }
}

void TKalmedaRamuxMainForm::refreshFavouritesIfShown()
{
    // A long list takes a while to lay out: it is composed when its page is opened, and again
    // here only while it is in front.
    if (PageControl1->currentWidget() == tsFavourites)
        RefreshFavouritesPage();
}

void TKalmedaRamuxMainForm::recomposeShownProduct()
{
    if (!m_shownItemId || !m_productView)
        return;
    QScrollBar *bar = m_productView->Viewer()->verticalScrollBar();
    const int position = bar->value();
    const ComposedPage page = composeProductPage(PageSources{DBConn, Tables, RussianNames, LatinNames}, *m_shownItemId);
    try {
        m_productView->LoadDocument(page.document);
    } catch (const std::exception &e) {
        showErrorBox(errorText(e));
        return;
    }
    bar->setValue(position);
}
