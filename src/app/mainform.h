// The main window: toolbar-driven page stack, start-up sequence, browse lists, name search,
// settings page and the data reload requested by the update worker.
#pragma once

#include "db/browselists.h"
#include "db/snapshot.h"
#include "db/sqlitedb.h"

#include <QHash>
#include <QMainWindow>
#include <QStringList>
#include <memory>

class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
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
class QTreeWidgetItem;
class TPBearHTMLRenderer;
class TSearchComboBox;
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
                *tbAppendix = nullptr, *tbAbout = nullptr, *tbExit = nullptr;
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

    // The search box handlers (public for tests that drive them like the user would).
    void ComboBox2Change();
    void ComboBox2CloseUp();
    void ComboBox2Select(int index);
    void ChangeProxyVar();

    // The results page of the search in the product view, for any text (mainform_findpage.cpp).
    Q_INVOKABLE void ShowSearchResults(const QString &query);
    QPushButton *FindButton = nullptr; // "Найти" at the search box's right end

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

    void buildToolBar();
    void buildPages();
    QWidget *buildDrugsPage();
    QWidget *buildGroupsPage();
    QWidget *buildVendorsPage();
    QWidget *buildSettingsPage();
    QWidget *buildViewPage(QFrame *&panel);
    QTreeWidget *makeTree(const char *name);
    void fillTree(QTreeWidget *tree, const QVector<BrowseNode> &nodes);

    // The search results page (mainform_findpage.cpp): its controls, and the way a text hit's
    // link shows the product page at the matched section.
    void attachFindControls(QHBoxLayout *searchLayout);
    bool prepareSearchHit(QObject *view, const QString &link);
    void revealSearchHit();
    std::shared_ptr<FindPageState> m_find;

    bool m_updateOnly = false;
    QString m_databasePath;
    QString m_connectionString;
    QHash<QToolButton *, int> m_tags; // a page button's page index; tbExit has none
    bool m_typed = false;             // the typed mark of ComboBox2
    bool m_changeAttached = true;     // ComboBox2Change runs only while attached
};
