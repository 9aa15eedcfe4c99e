// The species filter: "Вид животного" beside the search box narrows the product tree (both
// name lists), the search drop-down, the product lists of group and maker pages and the results
// page to the products with rows for one species, and the narrowed lists say what they leave
// out. Hidden while the store has no structured data.
#include "app/mainform.h"

#include "answers/animalfilter.h"
#include "app/productletters.h"
#include "app/searchcombobox.h"
#include "pages/searchpage.h"
#include "pages/ui/htmlrenderer.h"
#include "update/structuredchangedevent.h"

#include <QApplication>
#include <QAbstractItemView>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollBar>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

// Refreshes the filter when the worker says the structured data changed. It watches the
// application's events and never consumes one, so the window's own handling sees it too.
class TStructuredWatcher final : public QObject
{
public:
    TStructuredWatcher(TKalmedaRamuxMainForm *window) : QObject(window), m_window(window) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == StructuredDataChangedMessage() && watched == m_window)
            m_window->RefreshAnimalFilter();
        return false;
    }

private:
    TKalmedaRamuxMainForm *m_window;
};

} // namespace

struct AnimalState
{
    QList<Species> species; // in the box after "все"
    QString wanted;         // the chosen code; empty for "все"
    std::shared_ptr<const AnimalFilter> filter;
    std::optional<AnimalIndex> index; // read once per data load, when a species is first chosen
    NameList russian, latin;          // the name lists narrowed to the species
    SearchCatalogs catalogs;          // the results page's catalogues while narrowed
    bool catalogsBuilt = false;
    bool watching = false;
    QLabel *caption = nullptr;
};

void TKalmedaRamuxMainForm::attachAnimalControls(QHBoxLayout *searchLayout)
{
    m_animals = std::make_shared<AnimalState>();
    AnimalState &state = *m_animals;
    state.caption = new QLabel(QStringLiteral("&Вид животного:"), GroupBox1);
    SpeciesBox = new QComboBox(GroupBox1);
    SpeciesBox->setObjectName(QStringLiteral("SpeciesBox"));
    SpeciesBox->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    SpeciesBox->setAccessibleName(QStringLiteral("Вид животного"));
    SpeciesBox->view()->setAccessibleName(QStringLiteral("Виды животных"));
    SpeciesBox->setAccessibleDescription(
        QStringLiteral("Показывать только препараты с данными о дозах или сроках ожидания для этого вида"));
    SpeciesBox->setToolTip(QStringLiteral("Показывать только препараты с данными для этого вида (Alt+В)"));
    state.caption->setBuddy(SpeciesBox);
    searchLayout->addSpacing(6);
    searchLayout->addWidget(state.caption);
    searchLayout->addWidget(SpeciesBox);
    QWidget::setTabOrder(ComboBox2, SpeciesBox);
    state.caption->hide();
    SpeciesBox->hide();
    connect(SpeciesBox, qOverload<int>(&QComboBox::activated), this, [this](int index) {
        m_animals->wanted = SpeciesBox->itemData(index).toString();
        applyAnimalChoice(true);
    });

    // The notice sits above the tree, in the tree's place in the splitter.
    auto *side = new QWidget;
    auto *sideLayout = new QVBoxLayout(side);
    sideLayout->setContentsMargins(0, 0, 0, 0);
    sideLayout->setSpacing(0);
    SpeciesNotice = new QLabel(side);
    SpeciesNotice->setObjectName(QStringLiteral("SpeciesNotice"));
    SpeciesNotice->setTextFormat(Qt::PlainText); // the species name comes from the server
    SpeciesNotice->setWordWrap(true);
    SpeciesNotice->setFrameShape(QFrame::StyledPanel);
    SpeciesNotice->setMargin(3);
    SpeciesNotice->hide();
    const int at = Splitter1->indexOf(TreeView1);
    Splitter1->replaceWidget(at, side);
    sideLayout->addWidget(SpeciesNotice);
    sideLayout->addWidget(TreeView1, 1);
    TreeView1->show();
}

QString TKalmedaRamuxMainForm::AnimalChoice() const
{
    return m_animals && m_animals->filter ? m_animals->filter->species.code : QString();
}

void TKalmedaRamuxMainForm::SetAnimalChoice(const QString &code)
{
    if (!m_animals)
        return;
    m_animals->wanted = code;
    applyAnimalChoice(true);
}

const AnimalFilter *TKalmedaRamuxMainForm::animalFilter() const
{
    return m_animals ? m_animals->filter.get() : nullptr;
}

void TKalmedaRamuxMainForm::RefreshAnimalFilter()
{
    refreshAnimals(true);
}

void TKalmedaRamuxMainForm::refreshAnimals(bool shownPagesToo)
{
    if (!m_animals)
        return;
    AnimalState &state = *m_animals;
    if (!state.watching) {
        // Installed after the window's own filter, so it is asked first and never left out.
        qApp->installEventFilter(new TStructuredWatcher(this));
        state.watching = true;
    }
    state.index.reset();
    try {
        state.species = speciesInUse(DBConn);
    } catch (const std::exception &) {
        state.species.clear(); // unreadable structured tables: no filter, as on an older server
    }
    {
        const QSignalBlocker blocker(SpeciesBox);
        SpeciesBox->clear();
        SpeciesBox->addItem(QStringLiteral("все"), QString());
        for (const Species &s : std::as_const(state.species))
            SpeciesBox->addItem(s.name, s.code);
    }
    const bool offered = !state.species.isEmpty();
    state.caption->setVisible(offered);
    SpeciesBox->setVisible(offered);
    applyAnimalChoice(shownPagesToo);
}

void TKalmedaRamuxMainForm::applyAnimalChoice(bool shownPagesToo)
{
    AnimalState &state = *m_animals;
    const std::optional<Species> chosen =
        state.wanted.isEmpty() ? std::nullopt : findSpecies(state.species, state.wanted);
    std::shared_ptr<AnimalFilter> filter;
    if (chosen) {
        try {
            if (!state.index)
                state.index = loadAnimalIndex(DBConn);
            filter = std::make_shared<AnimalFilter>(filterFor(*state.index, *chosen));
        } catch (const std::exception &) {
            filter.reset(); // shown whole rather than narrowed wrongly
        }
    }
    state.filter = filter;
    state.catalogsBuilt = false;
    state.russian = filter ? namesKept(RussianNames, *filter) : NameList();
    state.latin = filter ? namesKept(LatinNames, *filter) : NameList();
    {
        const QSignalBlocker blocker(SpeciesBox);
        const int index = filter ? SpeciesBox->findData(filter->species.code) : 0;
        SpeciesBox->setCurrentIndex(qMax(index, 0));
    }
    narrowProductTree();
    if (filter) {
        SpeciesNotice->setText(
            narrowedNotice(filter->species.name, countWithoutAnswers(*filter, RussianNames, LatinNames)));
    }
    SpeciesNotice->setVisible(filter != nullptr);
    if (!shownPagesToo)
        return;
    if (QTreeWidgetItem *group = TreeView2->currentItem(); group && m_viewEntry.contains(m_groupView))
        recomposeKeepingPlace(m_groupView, [this, group] { TreeView2Change(group); });
    if (QTreeWidgetItem *vendor = TreeView3->currentItem(); vendor && m_viewEntry.contains(m_vendorView))
        recomposeKeepingPlace(m_vendorView, [this, vendor] { TreeView3Change(vendor); });
    recomposeShownResults();
}

void TKalmedaRamuxMainForm::narrowProductTree()
{
    std::shared_ptr<const QSet<qint64>> keep;
    if (m_animals->filter)
        keep = std::shared_ptr<const QSet<qint64>>(m_animals->filter, &m_animals->filter->withSpecies);
    TreeView1->setUpdatesEnabled(false);
    for (int r = 0; r < TreeView1->topLevelItemCount(); ++r) {
        QTreeWidgetItem *root = TreeView1->topLevelItem(r);
        for (int l = 0; l < root->childCount(); ++l) {
            QTreeWidgetItem *letter = root->child(l);
            const int shown = narrowProductLetter(letter, keep);
            letter->setHidden(keep && shown == 0);
        }
    }
    TreeView1->setUpdatesEnabled(true);
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

const NameList &TKalmedaRamuxMainForm::shownNames(bool latin) const
{
    if (m_animals && m_animals->filter)
        return latin ? m_animals->latin : m_animals->russian;
    return latin ? LatinNames : RussianNames;
}

const SearchCatalogs &TKalmedaRamuxMainForm::animalSearchCatalogs(const SearchCatalogs &all)
{
    AnimalState &state = *m_animals;
    if (!state.catalogsBuilt && state.filter) {
        // The names the species keeps and those without any data: the page lists the first and
        // counts the second.
        state.catalogs.products = finder::buildProductCatalog(namesKeptOrWithout(RussianNames, *state.filter),
                                                              namesKeptOrWithout(LatinNames, *state.filter));
        state.catalogs.groups = all.groups;
        state.catalogs.makers = all.makers;
        state.catalogsBuilt = true;
    }
    return state.filter ? state.catalogs : all;
}
