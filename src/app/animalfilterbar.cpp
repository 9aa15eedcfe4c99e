// The species filter: the box, the notice, the narrowed name lists and the product tree narrowed
// to them. Hidden while the store has no structured data.
#include "app/animalfilterbar.h"

#include "app/productletters.h"
#include "db/sqlitedb.h"
#include "update/structuredchangedevent.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

AnimalFilterBar::AnimalFilterBar(Database &db, const NameList &russian, const NameList &latin, QObject *window)
    : QObject(window), m_db(db), m_allRussian(russian), m_allLatin(latin), m_window(window)
{}

void AnimalFilterBar::attach(QHBoxLayout *searchRow, QWidget *boxParent, QWidget *before, QSplitter *splitter,
                           QTreeWidget *tree)
{
    m_tree = tree;
    m_caption = new QLabel(QStringLiteral("&Вид животного:"), boxParent);
    m_box = new QComboBox(boxParent);
    m_box->setObjectName(QStringLiteral("SpeciesBox"));
    m_box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_box->setAccessibleName(QStringLiteral("Вид животного"));
    m_box->view()->setAccessibleName(QStringLiteral("Виды животных"));
    m_box->setAccessibleDescription(
        QStringLiteral("Показывать только препараты с данными о дозах или сроках ожидания для этого вида"));
    m_box->setToolTip(QStringLiteral("Показывать только препараты с данными для этого вида (Alt+В)"));
    m_caption->setBuddy(m_box);
    searchRow->addSpacing(6);
    searchRow->addWidget(m_caption);
    searchRow->addWidget(m_box);
    QWidget::setTabOrder(before, m_box);
    m_caption->hide();
    m_box->hide();
    connect(m_box, qOverload<int>(&QComboBox::activated), this, [this](int index) {
        m_wanted = m_box->itemData(index).toString();
        apply(true);
    });

    // The notice sits above the tree, in the tree's place in the splitter.
    auto *side = new QWidget;
    auto *sideLayout = new QVBoxLayout(side);
    sideLayout->setContentsMargins(0, 0, 0, 0);
    sideLayout->setSpacing(0);
    m_notice = new QLabel(side);
    m_notice->setObjectName(QStringLiteral("SpeciesNotice"));
    m_notice->setTextFormat(Qt::PlainText); // the species name comes from the server
    m_notice->setWordWrap(true);
    m_notice->setFrameShape(QFrame::StyledPanel);
    m_notice->setMargin(3);
    m_notice->hide();
    const int at = splitter->indexOf(tree);
    splitter->replaceWidget(at, side);
    sideLayout->addWidget(m_notice);
    sideLayout->addWidget(tree, 1);
    tree->show();
}

QString AnimalFilterBar::choice() const
{
    return m_filter ? m_filter->species.code : QString();
}

void AnimalFilterBar::choose(const QString &code)
{
    m_wanted = code;
    apply(true);
}

void AnimalFilterBar::followCalculator(const QString &code)
{
    if (m_filter && code != m_filter->species.code && findSpecies(m_species, code))
        choose(code);
}

bool AnimalFilterBar::eventFilter(QObject *watched, QEvent *event)
{
    // Watches the application's events and never consumes one, so the window sees it too.
    if (event->type() == StructuredDataChangedMessage() && watched == m_window)
        refresh(true);
    return false;
}

void AnimalFilterBar::refresh(bool shownPagesToo)
{
    if (!m_box)
        return;
    if (!m_watching) {
        // Installed after the window's own filter, so it is asked first and never left out.
        qApp->installEventFilter(this);
        m_watching = true;
    }
    m_index.reset();
    try {
        m_species = speciesInUse(m_db);
    } catch (const std::exception &) {
        m_species.clear(); // unreadable structured tables: no filter, as on an older server
    }
    {
        const QSignalBlocker blocker(m_box);
        m_box->clear();
        m_box->addItem(QStringLiteral("все"), QString());
        for (const Species &s : std::as_const(m_species))
            m_box->addItem(s.name, s.code);
    }
    const bool offered = !m_species.isEmpty();
    m_caption->setVisible(offered);
    m_box->setVisible(offered);
    apply(shownPagesToo);
}

void AnimalFilterBar::apply(bool shownPagesToo)
{
    if (!m_box)
        return;
    const std::optional<Species> chosen =
        m_wanted.isEmpty() ? std::nullopt : findSpecies(m_species, m_wanted);
    std::shared_ptr<AnimalFilter> filter;
    if (chosen) {
        try {
            if (!m_index)
                m_index = loadAnimalIndex(m_db);
            filter = std::make_shared<AnimalFilter>(filterFor(*m_index, *chosen));
        } catch (const std::exception &) {
            filter.reset(); // shown whole rather than narrowed wrongly
        }
    }
    m_filter = filter;
    m_catalogsBuilt = false;
    m_russian = filter ? namesKept(m_allRussian, *filter) : NameList();
    m_latin = filter ? namesKept(m_allLatin, *filter) : NameList();
    {
        const QSignalBlocker blocker(m_box);
        const int index = filter ? m_box->findData(filter->species.code) : 0;
        m_box->setCurrentIndex(qMax(index, 0));
    }
    narrowTree();
    if (filter) {
        m_notice->setText(
            narrowedNotice(filter->species.name, countWithoutAnswers(*filter, m_allRussian, m_allLatin)));
    }
    m_notice->setVisible(filter != nullptr);
    emit speciesChanged(choice());
    emit changed(shownPagesToo);
}

void AnimalFilterBar::narrowTree()
{
    std::shared_ptr<const QSet<qint64>> keep;
    if (m_filter)
        keep = std::shared_ptr<const QSet<qint64>>(m_filter, &m_filter->withSpecies);
    m_tree->setUpdatesEnabled(false);
    for (int r = 0; r < m_tree->topLevelItemCount(); ++r) {
        QTreeWidgetItem *root = m_tree->topLevelItem(r);
        for (int l = 0; l < root->childCount(); ++l) {
            QTreeWidgetItem *letter = root->child(l);
            const int shown = narrowProductLetter(letter, keep);
            letter->setHidden(keep && shown == 0);
        }
    }
    m_tree->setUpdatesEnabled(true);
}

const NameList &AnimalFilterBar::shownNames(bool latin) const
{
    if (m_filter)
        return latin ? m_latin : m_russian;
    return latin ? m_allLatin : m_allRussian;
}

const SearchCatalogs &AnimalFilterBar::searchCatalogs(const SearchCatalogs &all)
{
    if (!m_catalogsBuilt && m_filter) {
        // The names the species keeps and those without any data: the page lists the first and
        // counts the second.
        m_catalogs.products = finder::buildProductCatalog(namesKeptOrWithout(m_allRussian, *m_filter),
                                                          namesKeptOrWithout(m_allLatin, *m_filter));
        m_catalogs.groups = all.groups;
        m_catalogs.makers = all.makers;
        m_catalogsBuilt = true;
    }
    return m_filter ? m_catalogs : all;
}
