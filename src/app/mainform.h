// The main window: toolbar-driven page stack, start-up sequence, browse lists, name search,
// settings page and the data reload requested by the update worker.
#pragma once

#include "db/browselists.h"
#include "db/firststart.h"
#include "db/snapshot.h"
#include "db/sqlitedb.h"
#include "pages/pagehistory.h"

#include <QHash>
#include <QMainWindow>
#include <QStringList>
#include <functional>
#include <future>
#include <memory>

class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QHelpEvent;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QSplitter;
class QStackedWidget;
class QStatusBar;
class QToolBar;
class QToolButton;
class QTreeWidget;
class QThread;
class QTreeWidgetItem;
class AnswersPanel;
class ProductPanel;
class SheetWindow;
class AnimalFilterBar;
class TPBearHTMLRenderer;
class TSearchComboBox;
struct AnimalFilter;
struct FindPageState;

class TKalmedaRamuxMainForm : public QMainWindow
{
    Q_OBJECT

public:
    // `arguments` are the command-line arguments after the program name. An empty
    // `databasePath` means the file the location rule finds (tests pass their own file).
    explicit TKalmedaRamuxMainForm(const QStringList &arguments, const QString &databasePath = QString(),
                                   QWidget *parent = nullptr);
    ~TKalmedaRamuxMainForm() override;

    bool isUpdateOnly() const { return m_updateOnly; }

    // Brings the page of a toolbar button to the front; only that page's button is disabled.
    void ChangePage(QToolButton *sender);
    // The first node from `start` on in tree order whose data is `id`, or nullptr.
    static QTreeWidgetItem *FindNodeByData(QTreeWidgetItem *start, qint64 id);
    // The child of `root` with exactly that text, appended when missing.
    static QTreeWidgetItem *FindLetterNode(QTreeWidgetItem *root, const QString &letter);

    // The list loaders (virtual so a test can make one fail during a reload).
    virtual void LoadItemsTree();
    virtual void LoadSectionsTree();
    virtual void LoadVendorsTree();
    void LoadOptions();
    void SaveOptions();

    // The worker's status line (called on this thread through queued or blocking calls).
    Q_INVOKABLE void SetStatusText(const QString &text);
    Q_INVOKABLE void SetStatusVisible(bool visible);

    // Components, under the names the rest of the program knows them by.
    QToolBar *ToolBar1 = nullptr;
    QToolButton *tbDrugs = nullptr, *tbGroups = nullptr, *tbVendors = nullptr, *tbSettings = nullptr,
                *tbAppendix = nullptr, *tbAbout = nullptr, *tbExit = nullptr, *tbFavourites = nullptr;
    QStackedWidget *PageControl1 = nullptr;
    QWidget *tsDrugs = nullptr, *tsGroups = nullptr, *tsSettings = nullptr, *tsAppendix = nullptr,
            *tsAbout = nullptr, *tsVendors = nullptr;
    QLabel *Panel10 = nullptr;
    QStatusBar *StatusBar = nullptr;

    QGroupBox *GroupBox1 = nullptr;
    QComboBox *ComboBox1 = nullptr;
    TSearchComboBox *ComboBox2 = nullptr;
    QTreeWidget *TreeView1 = nullptr, *TreeView2 = nullptr, *TreeView3 = nullptr;
    QSplitter *Splitter1 = nullptr, *Splitter2 = nullptr, *Splitter3 = nullptr;
    // View owners: each has a vertical layout, so a view is added with layout()->addWidget.
    QFrame *Panel2 = nullptr, *Panel6 = nullptr, *Panel9 = nullptr, *Panel4 = nullptr, *Panel7 = nullptr;
    QFrame *Panel11 = nullptr, *Bevel1 = nullptr;
    QPushButton *BitBtn1 = nullptr;

    QGroupBox *GroupBox3 = nullptr, *GroupBox6 = nullptr;
    QCheckBox *ProgUpd = nullptr, *DataUpd = nullptr;
    QLabel *Label6 = nullptr, *Label9 = nullptr, *Label12 = nullptr, *Label11 = nullptr, *Label13 = nullptr;
    QLineEdit *ApiAddr = nullptr, *ProxyHost = nullptr, *ProxyPort = nullptr, *ProxyUser = nullptr,
              *ProxyPass = nullptr;

    // The reference database of this window and the rows it has read.
    Database DBConn;
    ReferenceSnapshot Tables;
    NameList RussianNames;
    NameList LatinNames;

    // The five HTML views (created by createViews, owned by their panels).
    TPBearHTMLRenderer *m_productView = nullptr, *m_groupView = nullptr, *m_vendorView = nullptr,
                       *m_appendixView = nullptr, *m_aboutView = nullptr;
    // The product whose page was composed last: where a partner page's back link leads.
    std::optional<qint64> m_currentItemId;

    // Page handlers (mainform_pages.cpp).
    void createViews();
    void TreeView1Change(QTreeWidgetItem *node);
    void TreeView2Change(QTreeWidgetItem *node);
    void TreeView3Change(QTreeWidgetItem *node);
    void PageLinkClick(QObject *view, const QString &link);
    void BitBtn1Click();
    // Greeting page from the server (mainform_greeting.cpp).
    void FetchGreetingPage();

    // The user's favourites and notes (mainform_favourites.cpp, mainform_notes.cpp).
    QWidget *tsFavourites = nullptr;
    QFrame *PanelFavourites = nullptr;
    TPBearHTMLRenderer *m_favouritesView = nullptr;
    QPushButton *btnFavourite = nullptr, *btnNote = nullptr;
    QGroupBox *GroupBoxNotes = nullptr;
    QLabel *DataStatus = nullptr, *NotesMessage = nullptr;
    QCheckBox *PrintNotes = nullptr;
    QPushButton *btnExportNotes = nullptr, *btnImportNotes = nullptr;
    // The product whose page the product view shows now, if it shows one.
    std::optional<qint64> m_shownItemId;
    void installUserDataUi();
    void installNotesSettings(); // needs the product view: called once the views exist
    void prepareUserData();
    void productPageShown(std::optional<qint64> itemId);
    void ToggleFavourite();
    void EditNote();
    void RefreshFavouritesPage();
    void refreshFavouritesIfShown();
    // Composes the shown product's page again (after its note changed), keeping the scroll.
    void recomposeShownProduct();
    void ExportNotes();
    void ImportNotes();
    void loadUserSettings();
    // The "data as of" line; called again whenever an update run ends.
    Q_INVOKABLE void RefreshDataStatus();
    // Refreshes the status line when the worker's run ends.
    void watchUpdateWorker(QThread *worker);

    // The search box handlers (public for tests that drive them like the user would).
    void ComboBox2Change();
    void ComboBox2CloseUp();
    void ComboBox2Select(int index);
    void ChangeProxyVar();

    // History of shown pages (mainform_history.cpp). Going back or forward restores the page,
    // its toolbar page, the list selection and the scroll position; pages gone since a data
    // reload are skipped.
    void GoBack();
    void GoForward();
    // Records the search results page for `query`, once it is in the product view.
    void NoteSearchShown(const QString &query);
    PageHistory History;
    QToolButton *BackButtons[3] = {}, *ForwardButtons[3] = {}; // product, group, vendor strips

    // Reading (mainform_reading.cpp): zoom of every view, the page as PDF, its text copied.
    int Zoom() const { return m_zoom; }
    void SetZoom(int level);
    void SavePdfClick();
    void CopyPageText();
    QPushButton *PdfButton = nullptr;

    // Keyboard (mainform_keys.cpp): Ctrl+N brings the N-th page button of the toolbar from the
    // left; F6 moves the focus between the list and the view of the shown page.
    void SwitchToolbarPage(int number);
    void SwitchFocusListView();
    // Whether the list shows the item's name cut short (it then has the whole name as tooltip).
    static bool IsNameCut(const QTreeWidget *tree, const QTreeWidgetItem *item);

    // The results page of the search in the product view, for any text (mainform_findpage.cpp).
    Q_INVOKABLE void ShowSearchResults(const QString &query);
    QPushButton *FindButton = nullptr; // "Найти" at the search box's right end

    // The product panel below the product view (mainform_answers.cpp, wired by ProductPanel).
    AnswersPanel *m_answers = nullptr;
    QPushButton *btnDose = nullptr;
    ProductPanel *m_productPanel = nullptr;
    SheetWindow *m_sheet = nullptr; // "Лист назначения", wired in installAnswersPanel
    QPushButton *btnSheet = nullptr;
    void installAnswersPanel();
    void showAnswersFor(std::optional<qint64> itemId);
    void OpenDoseCalculator();
    // The species filter (mainform_animals.cpp): "Вид животного" beside the search box narrows
    // the product tree, the drop-down, the product lists of group and maker pages and the
    // results page to the products with rows for one species (its state is AnimalFilterBar's).
    AnimalFilterBar *m_speciesFilter = nullptr;
    QComboBox *SpeciesBox = nullptr;
    QLabel *SpeciesNotice = nullptr; // above the product tree while it is narrowed
    // Reads the species anew (the structured data changed), keeping the choice while its
    // species is still there, and narrows the lists and the shown pages again.
    void RefreshAnimalFilter();
    QString AnimalChoice() const; // the chosen species' code; empty for "все"
    void SetAnimalChoice(const QString &code);
    const AnimalFilter *animalFilter() const; // null for "все"

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void FormCreate(const QStringList &arguments);
    void FormShow();
    void FormClose();
    void FormResize();
    void tbExitClick();
    // Returns true when the event was DataReloadMessage (it is then consumed).
    bool ApplicationEventsMessage(QEvent *event);
    void reloadData();
    // Opens DBConn from the connection string and runs DBConnAfterConnect; throws on failure.
    void openDatabase();
    void DBConnAfterConnect();
    // First start (mainform_firststart.cpp): false when the start must end (the reason was shown).
    bool provideDatabaseOnFirstStart();
    bool firstStartSucceeded() const;
    // The built-in note while the reference has no products; cleared once it has some.
    void showEmptyReferencePage();

    void buildToolBar();
    void buildPages();
    QWidget *buildDrugsPage();
    QWidget *buildGroupsPage();
    QWidget *buildVendorsPage();
    QWidget *buildSettingsPage();
    QWidget *buildViewPage(QFrame *&panel);
    QTreeWidget *makeTree(const char *name);
    void fillTree(QTreeWidget *tree, const QVector<BrowseNode> &nodes);

    // Reading comforts, set up after the window's own start (mainform_history.cpp and friends).
    void setUpReading();
    bool readingEvent(QObject *watched, QEvent *event);
    void buildHistoryStrips();
    void setUpKeys();
    void restoreLayout();
    void saveLayout();
    bool listToolTipEvent(QWidget *widget, QHelpEvent *event);
    void noteShown(HistoryKind kind, qint64 id, TPBearHTMLRenderer *view, qint64 currentItem = 0);
    void captureScrolls();
    bool historyEntryExists(const HistoryEntry &entry) const;
    bool showHistoryEntry(const HistoryEntry &entry);
    void stepHistory(int direction);
    void updateHistoryButtons();
    void historyAfterReload();
    QString shownPageTitle() const;
    void showPassingStatus(const QString &text);

    // The search results page (mainform_findpage.cpp): its controls, and the way a text hit's
    // link shows the product page at the matched section.
    void attachFindControls(QHBoxLayout *searchLayout);
    bool prepareSearchHit(QObject *view, const QString &link);
    void revealSearchHit();
    std::shared_ptr<FindPageState> m_find;
    bool loadSearchResults(const QString &query);
    void recomposeShownResults();

    // The species filter (mainform_animals.cpp): placed by the window, the pages it shows
    // composed again when the choice changes.
    void attachAnimalControls(QHBoxLayout *searchLayout);
    void recomposeFilteredPages();
    void recomposeKeepingPlace(TPBearHTMLRenderer *view, const std::function<void()> &compose);

    bool m_updateOnly = false;
    bool m_emptyPageShown = false;
    bool m_restoringHistory = false;
    bool m_layoutRestored = false;
    bool m_statusWanted = false; // the worker's wish for the status bar
    int m_zoom = 100;
    int m_wheelRemainder = 0;
    QHash<TPBearHTMLRenderer *, quint64> m_viewEntry; // the history entry each view shows
    QHash<TPBearHTMLRenderer *, bool> m_viewStale;    // its page was composed before a data reload
    QString m_databasePath;
    QString m_connectionString;
    // The first opening of DBConn (its key derivation is most of the start-up's reading time),
    // started on another thread while the widgets are built; openDatabase takes it over.
    std::future<void> m_opening;
    FirstStartResult m_firstStart; // what the first start did about a missing database
    // The product name lists, built from Tables on another thread while the group tree loads;
    // LoadItemsTree takes them over.
    std::future<NameLists> m_nameLists;
    QHash<QToolButton *, int> m_tags; // a page button's page index; tbExit has none
    bool m_typed = false;             // the typed mark of ComboBox2
    bool m_changeAttached = true;     // ComboBox2Change runs only while attached
};
