// The search results page in the product view: Return in the search box, the "Найти" button
// and Ctrl+F; a text hit's link shows the product page at the matched section.
#include "app/mainform.h"

#include "app/searchcombobox.h"
#include "app/animalfilterbar.h"
#include "pages/links.h"
#include "pages/searchpage.h"
#include "pages/ui/htmlrenderer.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QTextBlock>
#include <QTextDocument>
#include <QToolButton>

struct FindPageState
{
    // The catalogues and the lists they were built from: a reload replaces the lists, which
    // is how a stale catalogue is told apart.
    SearchCatalogs catalogs;
    bool built = false;
    NameList russian, latin;
    QVector<SectionRow> sections;
    QVector<NamedRow> vendors;

    // The results page on show, what it was for, and the places its text hits lead to.
    QString document;
    QString query;
    QHash<qint64, SearchTarget> targets;
    std::optional<SearchTarget> pending;
    bool watching = false; // the view's highlight is cleared whenever its page changes
};

void TKalmedaRamuxMainForm::attachFindControls(QHBoxLayout *searchLayout)
{
    m_find = std::make_shared<FindPageState>();
    FindButton = new QPushButton(QStringLiteral("Найти"), GroupBox1);
    FindButton->setObjectName(QStringLiteral("FindButton"));
    FindButton->setFixedHeight(22);
    FindButton->setMaximumWidth(60);
    FindButton->setAutoDefault(false);
    FindButton->setFocusPolicy(Qt::NoFocus); // the box keeps the keyboard
    searchLayout->addWidget(FindButton);
    connect(FindButton, &QPushButton::clicked, this, [this] { ShowSearchResults(ComboBox2->currentText()); });
    connect(ComboBox2, &TSearchComboBox::searchRequested, this,
            [this] { ShowSearchResults(ComboBox2->currentText()); });
    auto *find = new QShortcut(QKeySequence::Find, this);
    find->setContext(Qt::WindowShortcut);
    connect(find, &QShortcut::activated, this, [this] {
        ChangePage(tbDrugs);
        ComboBox2->setFocus(Qt::ShortcutFocusReason);
        ComboBox2->lineEdit()->selectAll();
    });
}

void TKalmedaRamuxMainForm::ShowSearchResults(const QString &query)
{
    if (!loadSearchResults(query))
        return;
    productPageShown(std::nullopt); // no star or note for a results page
    ChangePage(tbDrugs);
    NoteSearchShown(query);
}

bool TKalmedaRamuxMainForm::loadSearchResults(const QString &query)
{
    if (!m_productView || !m_find)
        return false;
    FindPageState &state = *m_find;
    if (!state.watching) {
        THTMLViewer *viewer = m_productView->Viewer();
        connect(viewer, &QTextEdit::textChanged, viewer, [viewer] {
            if (!viewer->extraSelections().isEmpty())
                viewer->setExtraSelections({});
        });
        state.watching = true;
    }
    const PageSources sources{DBConn, Tables, RussianNames, LatinNames};
    if (!state.built || !state.russian.isSharedWith(RussianNames) || !state.latin.isSharedWith(LatinNames) ||
        !state.sections.isSharedWith(Tables.sections.rows) ||
        !state.vendors.isSharedWith(Tables.vendors.rows)) {
        state.catalogs = buildSearchCatalogs(sources);
        state.russian = RussianNames;
        state.latin = LatinNames;
        state.sections = Tables.sections.rows;
        state.vendors = Tables.vendors.rows;
        state.built = true;
    }
    const AnimalFilter *filter = animalFilter();
    const SearchPage page = composeSearchPage(
        sources, filter ? m_speciesFilter->searchCatalogs(state.catalogs) : state.catalogs, query, filter);
    try {
        m_productView->LoadDocument(page.page.document);
    } catch (const std::exception &) {
        return false; // the page is our own; it decodes
    }
    state.document = m_productView->Document();
    state.query = query;
    state.targets = page.targets;
    state.pending.reset();
    return true;
}

void TKalmedaRamuxMainForm::recomposeShownResults()
{
    if (!m_find || !m_productView || m_find->document.isEmpty() ||
        m_productView->Document() != m_find->document)
        return;
    const QString query = m_find->query;
    recomposeKeepingPlace(m_productView, [this, &query] { loadSearchResults(query); });
}

bool TKalmedaRamuxMainForm::prepareSearchHit(QObject *view, const QString &link)
{
    if (!m_find || view != m_productView || m_productView->Document() != m_find->document)
        return false;
    const std::optional<InternalLink> target = parseInternalLink(link);
    if (!target || target->target != LinkTarget::Item || !m_find->targets.contains(target->id))
        return false;
    m_find->pending = m_find->targets.value(target->id);
    return true;
}

void TKalmedaRamuxMainForm::revealSearchHit()
{
    if (!m_find || !m_find->pending || !m_productView)
        return;
    const SearchTarget target = *m_find->pending;
    m_find->pending.reset();
    THTMLViewer *viewer = m_productView->Viewer();
    QTextDocument *document = viewer->document();
    const QTextDocument::FindFlags exact = QTextDocument::FindCaseSensitively | QTextDocument::FindWholeWords;

    // The section's heading; the introduction has none and starts the page.
    QTextCursor from(document);
    if (target.field > 0) {
        const QTextCursor heading = document->find(textindex::fieldHeading(target.field), 0, exact);
        if (!heading.isNull())
            from = heading;
    }
    QTextCursor word = document->find(target.word, from, exact);
    if (word.isNull())
        word = document->find(target.word, from);

    // The heading at the top of the view: from the far end, showing it scrolls it up there.
    viewer->verticalScrollBar()->setValue(viewer->verticalScrollBar()->maximum());
    QTextCursor place = from;
    place.clearSelection();
    viewer->setTextCursor(place);
    viewer->ensureCursorVisible();
    if (word.isNull())
        return;
    QTextEdit::ExtraSelection mark;
    mark.cursor = word;
    mark.format.setBackground(QColor(255, 236, 128));
    viewer->setExtraSelections({mark});
    QTextCursor at = word;
    at.clearSelection();
    viewer->setTextCursor(at);
    viewer->ensureCursorVisible();
}
