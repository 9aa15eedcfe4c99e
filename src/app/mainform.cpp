#include "app/mainform.h"

#include "app/accessibility.h"
#include "app/firstsize.h"
#include "app/guardedcall.h"
#include "app/look.h"
#include "app/messageboxes.h"
#include "app/searchcombobox.h"
#include "app/sheetwindow.h"
#include "app/splashhooks.h"
#include "db/emptyvalues.h"
#include "db/location.h"
#include "db/options.h"
#include "text/packedcontent.h"
#include "text/ramuxerror.h"
#include "update/datareloadevent.h"
#include "update/proxysettings.h"
#include "update/structuredchangedevent.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

static void initRamuxResources()
{
    // The resources live in a static library; make sure they are registered before use.
    Q_INIT_RESOURCE(resources);
}

namespace {

constexpr int kExitTag = 100; // tbExit's tag: no page has this index
constexpr int kCloseBusyTimeoutMs = 1000;

enum PageIndex { kDrugs = 0, kGroups = 1, kSettings = 2, kAppendix = 3, kAbout = 4, kVendors = 5, kFavourites = 6 };

QFont windowFont()
{
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    return font;
}

} // namespace

TKalmedaRamuxMainForm::TKalmedaRamuxMainForm(const QStringList &arguments, const QString &databasePath,
                                             QWidget *parent)
    : QMainWindow(parent), m_databasePath(databasePath)
{
    if (arguments.isEmpty() || arguments.first().toLower() != QLatin1String("updateonly")) {
        // The first start's copy of the shipped database comes before the opening that reads it;
        // a failed copy is reported once the window exists (FormCreate).
        if (m_databasePath.isEmpty())
            m_firstStart = provideInitialDatabase();
        if (firstStartSucceeded()) {
            m_connectionString =
                BuildConnectionString(m_databasePath.isEmpty() ? LocateDatabaseFile() : m_databasePath);
            m_opening =
                std::async(std::launch::async, [this] { DBConn.openConnectionString(m_connectionString); });
        }
    }
    initRamuxResources();
    setFont(windowFont());
    // The application's own icon, so the tray, the taskbar and every window carry it.
    QIcon icon(QStringLiteral(":/icons/ramux.png"));
    icon.addFile(QStringLiteral(":/icons/ramux-256.png"));
    QApplication::setWindowIcon(icon);

    buildToolBar();
    buildPages();
    // Wide enough for every toolbar button in the font this system has; a stored layout
    // replaces this once the reading starts.
    ensurePolished();
    const QScreen *screen = QGuiApplication::primaryScreen();
    setGeometry(firstStartGeometry(QSize(792, 573), ToolBar1->sizeHint().width(),
                                   screen ? screen->availableGeometry() : QRect()));

    Panel10 = new QLabel(QStringLiteral("Подождите, идет перезагрузка данных..."), this);
    Panel10->setObjectName(QStringLiteral("Panel10"));
    Panel10->setFixedSize(481, 135);
    Panel10->setAlignment(Qt::AlignCenter);
    Panel10->setFrameShape(QFrame::Panel);
    Panel10->setFrameShadow(QFrame::Raised);
    Panel10->setLineWidth(2);
    Panel10->setAutoFillBackground(true);
    QFont waitFont(QStringLiteral("Tahoma"));
    waitFont.setPixelSize(19);
    waitFont.setBold(true);
    Panel10->setFont(waitFont);
    Panel10->hide();

    StatusBar = statusBar();
    StatusBar->setSizeGripEnabled(false);
    StatusBar->hide();

    qApp->installEventFilter(this);
    FormCreate(arguments);
    if (!m_updateOnly)
        setUpReading();
    nameForScreenReaders(*this);
}

TKalmedaRamuxMainForm::~TKalmedaRamuxMainForm()
{
    qApp->removeEventFilter(this);
}

void TKalmedaRamuxMainForm::buildToolBar()
{
    ToolBar1 = new QToolBar(this);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setContextMenuPolicy(Qt::PreventContextMenu);
    ToolBar1->setIconSize(QSize(24, 24));
    ToolBar1->setContentsMargins(3, 3, 3, 3);
    ToolBar1->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    addToolBar(Qt::TopToolBarArea, ToolBar1);

    auto add = [&](const QString &caption, const char *icon, int tag, bool sizesToCaption) {
        auto *button = new QToolButton(ToolBar1);
        button->setText(caption);
        button->setIcon(toolbarIcon(QLatin1String(icon)));
        button->setIconSize(QSize(24, 24));
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setMinimumHeight(44);
        // The fixed-width button keeps 149 pixels unless its caption needs more in this font.
        if (!sizesToCaption)
            button->setMinimumWidth(149);
        ToolBar1->addWidget(button);
        m_tags.insert(button, tag);
        if (tag == kExitTag)
            connect(button, &QToolButton::clicked, this, [this] { tbExitClick(); });
        else
            connect(button, &QToolButton::clicked, this, [this, button] { ChangePage(button); });
        return button;
    };
    tbDrugs = add(QStringLiteral("  Препараты  "), "drugs", kDrugs, true);
    tbGroups = add(QStringLiteral("Фармакологические группы"), "groups", kGroups, false);
    tbVendors = add(QStringLiteral("  Производители  "), "vendors", kVendors, true);
    tbFavourites = add(QStringLiteral("  Избранное  "), "favourites", kFavourites, true);
    tbSettings = add(QStringLiteral("  Настройка  "), "settings", kSettings, true);
    tbAppendix = add(QStringLiteral("   Дополнительно   "), "appendix", kAppendix, true);
    tbAbout = add(QStringLiteral("  О программе  "), "about", kAbout, true);
    tbExit = add(QStringLiteral("  Выход  "), "exit", kExitTag, true);
}

QWidget *TKalmedaRamuxMainForm::buildViewPage(QFrame *&panel)
{
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    panel = new QFrame(page);
    auto *panelLayout = new QVBoxLayout(panel);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    panelLayout->setSpacing(0);
    layout->addWidget(panel);
    return page;
}

void TKalmedaRamuxMainForm::buildPages()
{
    PageControl1 = new QStackedWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    setCentralWidget(PageControl1);
    tsDrugs = buildDrugsPage();
    tsGroups = buildGroupsPage();
    tsSettings = buildSettingsPage();
    tsAppendix = buildViewPage(Panel4);
    tsAbout = buildViewPage(Panel7);
    tsVendors = buildVendorsPage();
    // Stack order is the page index the buttons carry.
    for (QWidget *page : {tsDrugs, tsGroups, tsSettings, tsAppendix, tsAbout, tsVendors})
        PageControl1->addWidget(page);
    installUserDataUi(); // adds the favourites page and gives its button the page's index
}

void TKalmedaRamuxMainForm::FormCreate(const QStringList &arguments)
{
    // 1. Update-only mode: nothing else is set up; the window is never shown.
    if (!arguments.isEmpty() && arguments.first().toLower() == QLatin1String("updateonly")) {
        m_updateOnly = true;
        return;
    }
    ShowStatus(QStringLiteral("Запуск программы..."));
    setWindowTitle(QStringLiteral("Ramux"));
    createViews();
    installNotesSettings();
    RussianNames.clear();
    LatinNames.clear();
    ShowStatus(QStringLiteral("Открытие базы данных..."));
    if (m_databasePath.isEmpty() && !provideDatabaseOnFirstStart()) {
        requestExit(0);
        return; // only reached when a test has replaced the exit
    }
    try {
        openDatabase();
    } catch (const std::exception &e) {
        showErrorBox(QString::fromUtf8(e.what()));
    }
    if (!DBConn.isOpen()) {
        showErrorBox(QStringLiteral("Не удается открыть базу данных"));
        requestExit(0);
        return; // only reached when a test has replaced the exit
    }
    LoadOptions();
    try {
        FetchGreetingPage();
    } catch (...) {
        // The greeting page is a courtesy; start-up goes on without it.
    }
    // The stack has no tabs at all: the toolbar is the only page switcher.
    // A list that fails to load is reported and left empty; the others still load.
    m_nameLists = std::async(std::launch::async, [this] { return buildNameLists(Tables); });
    for (void (TKalmedaRamuxMainForm::*load)() :
         {&TKalmedaRamuxMainForm::LoadSectionsTree, &TKalmedaRamuxMainForm::LoadItemsTree,
          &TKalmedaRamuxMainForm::LoadVendorsTree}) {
        const QString failure = runGuarded([this, load] { (this->*load)(); });
        if (!failure.isNull())
            showErrorBox(failure);
    }
    CloseSplash();
}

void TKalmedaRamuxMainForm::openDatabase()
{
    if (m_opening.valid())
        m_opening.get(); // rethrows what the opening threw
    else
        DBConn.openConnectionString(m_connectionString);
    try {
        structuredvalues::clearEmptyValues(DBConn, structuredvalues::Scan::OncePerFile);
    } catch (const RamuxError &) {
        // A file it cannot write keeps its '' values; the readers take them for absent too.
    }
    DBConnAfterConnect();
}

void TKalmedaRamuxMainForm::DBConnAfterConnect()
{
    ShowStatus(QStringLiteral("Открытие таблиц..."));
    if (!DBConn.hasTable(QStringLiteral("options")))
        throw DbError(QStringLiteral("no such table: options"), 1);
    try {
        const std::optional<QString> splash = readStoredSplash(DBConn);
        if (splash) {
            const QString page = trimControl(*splash);
            if (!page.isEmpty())
                ShowPage(page);
        }
    } catch (...) {
        // A stored greeting page that cannot be read leaves the built-in page in the splash.
    }
    // Name lists built from the previous rows (a loader that failed never took them) are
    // dropped, once they no longer read Tables.
    if (m_nameLists.valid())
        m_nameLists = {};
    loadReferenceTables(DBConn, Tables);
    prepareUserData();
}

void TKalmedaRamuxMainForm::FormShow()
{
    ChangePage(tbDrugs);
}

void TKalmedaRamuxMainForm::ChangePage(QToolButton *sender)
{
    const int page = m_tags.value(sender, -1);
    for (auto it = m_tags.constBegin(); it != m_tags.constEnd(); ++it)
        it.key()->setEnabled(it.value() != page);
    if (page >= 0 && page < PageControl1->count())
        PageControl1->setCurrentIndex(page);
}

void TKalmedaRamuxMainForm::tbExitClick()
{
    close();
}

void TKalmedaRamuxMainForm::FormResize()
{
    // Integer division truncates toward zero, as the panel's placement always has.
    Panel10->move((width() - Panel10->width()) / 2, (height() - Panel10->height()) / 2);
}

void TKalmedaRamuxMainForm::FormClose()
{
    try {
        // The worker writes one page per transaction, so a short wait always finds the lock
        // free; closing must never sit out the full time-out behind it.
        if (!m_updateOnly)
            saveLayout();
        DBConn.setBusyTimeout(kCloseBusyTimeoutMs);
        SaveOptions();
    } catch (...) {
        // The window always closes; the stored row keeps its earlier values.
    }
}

bool TKalmedaRamuxMainForm::ApplicationEventsMessage(QEvent *event)
{
    if (event->type() == StructuredDataChangedMessage()) {
        if (!m_updateOnly)
            showAnswersFor(m_shownItemId); // quietly: no reload, no details window
        if (!m_updateOnly && m_sheet)
            m_sheet->reload();
        return true;
    }
    if (event->type() != DataReloadMessage())
        return false;
    if (!m_updateOnly)
        reloadData();
    return true;
}

void TKalmedaRamuxMainForm::reloadData()
{
    DBConn.close();
    try {
        openDatabase();
    } catch (const std::exception &e) {
        showErrorBox(QString::fromUtf8(e.what()));
        requestExit(0);
        return;
    }
    PageControl1->setEnabled(false);
    FormResize();
    Panel10->show();
    Panel10->raise();
    const QString failure = runGuarded([this] {
        TreeView2->clear();
        LoadSectionsTree();
        LoadItemsTree();
        LoadVendorsTree();
    });
    PageControl1->setEnabled(true);
    Panel10->hide();
    CloseSplash();
    historyAfterReload();
    showAnswersFor(m_shownItemId); // the reload brought the structured rows too
    if (m_sheet)
        m_sheet->reload();
    // The application's general error report: the error's text in a message box.
    if (!failure.isNull())
        showErrorBox(failure);
}

void TKalmedaRamuxMainForm::SetStatusText(const QString &text)
{
    StatusBar->showMessage(text);
}

void TKalmedaRamuxMainForm::SetStatusVisible(bool visible)
{
    m_statusWanted = visible;
    StatusBar->setVisible(visible);
}

bool TKalmedaRamuxMainForm::eventFilter(QObject *watched, QEvent *event)
{
    if (ApplicationEventsMessage(event))
        return true;
    if (!m_updateOnly && readingEvent(watched, event))
        return true;
    return QMainWindow::eventFilter(watched, event);
}

void TKalmedaRamuxMainForm::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TKalmedaRamuxMainForm::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TKalmedaRamuxMainForm::closeEvent(QCloseEvent *event)
{
    FormClose();
    event->accept();
    // Closing this window ends the program, also when it was never shown (update-only mode)
    // and so never counts as the last visible window.
    QCoreApplication::quit();
}
