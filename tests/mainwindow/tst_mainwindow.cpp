// The main window: pages and buttons, start-up failure, the reload event, update-only mode,
// the lists it fills and hostile databases.
#include "app/mainform.h"
#include "fixture.h"
#include "update/datareloadevent.h"

#include <QApplication>
#include <QLabel>
#include <QStackedWidget>
#include <QStatusBar>
#include <QToolButton>

namespace {
QString u(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

// A window whose product loader fails, as a list reload can.
class FailingReloadForm final : public TKalmedaRamuxMainForm
{
public:
    using TKalmedaRamuxMainForm::TKalmedaRamuxMainForm;
    bool fail = false;
    bool failForeign = false; // a throw that is no std::exception
    bool failMemory = false;
    void LoadItemsTree() override
    {
        if (fail)
            throw RamuxError(QStringLiteral("items unreadable"));
        if (failForeign)
            throw 42;
        if (failMemory)
            throw std::bad_alloc();
        TKalmedaRamuxMainForm::LoadItemsTree();
    }
};

const char *kContent =
    "INSERT INTO sections (id, parent_id, name) VALUES (1, 0, 'Группа'), (2, 1, 'Подгруппа');"
    "INSERT INTO vendors (id, name) VALUES (1, 'Бета'), (2, 'Альфа');"
    "INSERT INTO items (id, name, name_lat) VALUES (10, 'ёрш', 'Ersh'), (11, 'ель', NULL),"
    " (12, '123', '7-x');";
} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void startsWithProductPageAndSwitchesByToolbar()
    {
        WindowFixture f;
        f.create(u(kContent));
        TKalmedaRamuxMainForm w({}, f.path);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.windowTitle(), QStringLiteral("Ramux"));
        // The program's own icon for every window and the tray, sharp up to the desktop's size.
        QVERIFY(QApplication::windowIcon().availableSizes().contains(QSize(256, 256)));
        QCOMPARE(w.windowIcon().cacheKey(), QApplication::windowIcon().cacheKey());
        QCOMPARE(w.PageControl1->currentWidget(), w.tsDrugs);
        QVERIFY(!w.tbDrugs->isEnabled());
        for (QToolButton *b : {w.tbGroups, w.tbVendors, w.tbSettings, w.tbAppendix, w.tbAbout, w.tbExit})
            QVERIFY(b->isEnabled());
        QVERIFY(w.StatusBar->isHidden());
        QVERIFY(w.Panel10->isHidden());
        QVERIFY(f.errors.isEmpty());

        QTest::mouseClick(w.tbSettings, Qt::LeftButton);
        QCOMPARE(w.PageControl1->currentWidget(), w.tsSettings);
        QVERIFY(!w.tbSettings->isEnabled());
        QVERIFY(w.tbDrugs->isEnabled());
        QTest::mouseClick(w.tbVendors, Qt::LeftButton);
        QCOMPARE(w.PageControl1->currentWidget(), w.tsVendors); // last page of the stack
        QVERIFY(w.tbExit->isEnabled());
    }

    void waitPanelStaysCentredEvenWhenLargerThanWindow()
    {
        WindowFixture f;
        f.create();
        TKalmedaRamuxMainForm w({}, f.path);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.resize(800, 600);
        QTRY_COMPARE(w.Panel10->pos(), QPoint((w.width() - 481) / 2, (w.height() - 135) / 2));
        QCOMPARE(w.Panel10->size(), QSize(481, 135));
        w.resize(300, 200);
        QTRY_VERIFY(w.width() < 800);
        // Narrower than the panel: placed at a negative left, still centred.
        QCOMPARE(w.Panel10->pos(), QPoint((w.width() - 481) / 2, (w.height() - 135) / 2));
        if (w.width() < 481)
            QVERIFY(w.Panel10->pos().x() < 0);
    }

    void missingDatabaseReportsAndExitsWithZero()
    {
        WindowFixture f;
        TKalmedaRamuxMainForm w({}, f.dir.filePath(QStringLiteral("absent.rxd")));
        QCOMPARE(f.errors.size(), 2);
        QVERIFY(!f.errors[0].isEmpty());
        QCOMPARE(f.errors[1], u("Не удается открыть базу данных"));
        QCOMPARE(f.exits, QList<int>{0});
        QVERIFY(!w.isVisible());
    }

    void reloadEventShowsNewRowsAndReenablesPages()
    {
        WindowFixture f;
        f.create(u(kContent));
        TKalmedaRamuxMainForm w({}, f.path);
        w.show();
        QCOMPARE(w.TreeView3->topLevelItemCount(), 2);
        f.run(u("INSERT INTO sections (id, parent_id, name) VALUES (3, 0, 'Новая');"
                "INSERT INTO vendors (id, name) VALUES (3, 'Гамма');"
                "INSERT INTO items (id, name) VALUES (13, 'жук');"));
        QCoreApplication::postEvent(&w, new DataReloadEvent(5, 7)); // parameters are ignored
        QTRY_COMPARE(w.TreeView3->topLevelItemCount(), 3);
        QCOMPARE(treeTexts(w.TreeView2), (QStringList{u("Группа"), u("  Подгруппа"), u("Новая")}));
        QVERIFY(treeTexts(w.TreeView1).contains(u("    ЖУК")));
        QVERIFY(TKalmedaRamuxMainForm::FindNodeByData(w.TreeView1->topLevelItem(0), 13));
        QVERIFY(w.PageControl1->isEnabled());
        QVERIFY(w.Panel10->isHidden());
        QVERIFY(f.errors.isEmpty() && f.exits.isEmpty());
    }

    void reloadThatFailsInALoaderStillReenables()
    {
        WindowFixture f;
        f.create(u(kContent));
        FailingReloadForm w({}, f.path);
        w.show();
        w.fail = true;
        f.run(QStringLiteral("INSERT INTO vendors (id, name) VALUES (3, 'G');"));
        DataReloadEvent event;
        QVERIFY(QCoreApplication::sendEvent(&w, &event)); // consumed
        QCOMPARE(f.errors, QStringList{QStringLiteral("items unreadable")});
        QVERIFY(w.PageControl1->isEnabled());
        QVERIFY(w.Panel10->isHidden());
        QCOMPARE(w.TreeView2->topLevelItemCount(), 1); // groups reloaded before the failure
        QVERIFY(f.exits.isEmpty());
    }

    void reloadThatThrowsAnythingIsReportedAndTheWindowGoesOn()
    {
        WindowFixture f;
        f.create(u(kContent));
        FailingReloadForm w({}, f.path);
        w.show();
        w.failForeign = true;
        DataReloadEvent event;
        QVERIFY(QCoreApplication::sendEvent(&w, &event));
        w.failForeign = false;
        w.failMemory = true;
        QVERIFY(QCoreApplication::sendEvent(&w, &event));
        QCOMPARE(f.errors, (QStringList{u("Неизвестная ошибка"), u("Недостаточно памяти")}));
        QVERIFY(w.PageControl1->isEnabled());
        QVERIFY(w.Panel10->isHidden());
        // The next reload works as if nothing had happened.
        w.failMemory = false;
        f.run(u("INSERT INTO items (id, name) VALUES (13, 'жук');"));
        QVERIFY(QCoreApplication::sendEvent(&w, &event));
        QVERIFY(TKalmedaRamuxMainForm::FindNodeByData(w.TreeView1->topLevelItem(0), 13));
        QCOMPARE(f.errors.size(), 2);
        QVERIFY(f.exits.isEmpty());
    }

    void reloadThatCannotReopenExitsWithZero()
    {
        WindowFixture f;
        f.create();
        TKalmedaRamuxMainForm w({}, f.path);
        QFile::remove(f.path);
        QFile::remove(f.path + QStringLiteral("-wal"));
        QFile::remove(f.path + QStringLiteral("-shm"));
        DataReloadEvent event;
        QVERIFY(QCoreApplication::sendEvent(&w, &event));
        QCOMPARE(f.errors.size(), 1);
        QCOMPARE(f.exits, QList<int>{0});
    }

    void updateOnlyModeConsumesReloadWithoutWork()
    {
        WindowFixture f;
        f.create(u(kContent));
        TKalmedaRamuxMainForm w({QStringLiteral("UpdateOnly"), QStringLiteral("x")}, f.path);
        QVERIFY(w.isUpdateOnly());
        QVERIFY(!w.DBConn.isOpen());
        DataReloadEvent event;
        QVERIFY(QCoreApplication::sendEvent(&w, &event));
        QVERIFY(!w.DBConn.isOpen());
        QCOMPARE(w.TreeView1->topLevelItemCount(), 0);
        QVERIFY(f.errors.isEmpty() && f.exits.isEmpty());
        // Only the first argument selects the mode.
        TKalmedaRamuxMainForm normal({QStringLiteral("x"), QStringLiteral("updateonly")}, f.path);
        QVERIFY(!normal.isUpdateOnly());
        QVERIFY(normal.DBConn.isOpen());
    }

    void listsShowWhatTheDatabaseHolds()
    {
        WindowFixture f;
        f.create(u(kContent) + u("INSERT INTO sections (id, parent_id, name) VALUES (5, 77, 'Сирота');"));
        TKalmedaRamuxMainForm w({}, f.path);
        QCOMPARE(treeTexts(w.TreeView1),
                 (QStringList{u("Русское название"), u("  Е"), u("    ЕЛЬ"), u("  Ё"), u("    ЁРШ"), u("  *"),
                              u("    123"), u("Латинское название"), u("  E"), u("    ERSH"), u("  X"),
                              u("    7-X")}));
        QCOMPARE(treeTexts(w.TreeView2), (QStringList{u("Группа"), u("  Подгруппа")}));
        QCOMPARE(treeTexts(w.TreeView3), (QStringList{u("Альфа"), u("Бета")}));
        QCOMPARE(w.RussianNames.size(), 3);
        QCOMPARE(w.LatinNames.size(), 2);
        // Tree order goes on past the start node's own subtree; id 0 is the first root.
        QTreeWidgetItem *root = w.TreeView1->topLevelItem(0);
        QCOMPARE(TKalmedaRamuxMainForm::FindNodeByData(root, 0), root);
        QTreeWidgetItem *latin = TKalmedaRamuxMainForm::FindNodeByData(root->child(2), 10);
        QVERIFY(latin);
        QCOMPARE(latin->parent()->parent(), w.TreeView1->topLevelItem(1));
        QCOMPARE(TKalmedaRamuxMainForm::FindNodeByData(root, 999), nullptr);
        QCOMPARE(TKalmedaRamuxMainForm::FindLetterNode(root, u("Ё")), root->child(1));
        QCOMPARE(TKalmedaRamuxMainForm::FindLetterNode(root, u("Ъ"))->parent(), root);
    }

    void productLettersGetTheirItemsWhenOpenedOrLookedFor()
    {
        WindowFixture f;
        f.create(u(kContent));
        TKalmedaRamuxMainForm w({}, f.path);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTreeWidgetItem *russian = w.TreeView1->topLevelItem(0);
        QTreeWidgetItem *latin = w.TreeView1->topLevelItem(1);
        // At start the roots hold their letters, each closed, with a button to open it.
        for (QTreeWidgetItem *root : {russian, latin}) {
            QVERIFY(root->childCount() > 0);
            for (int i = 0; i < root->childCount(); ++i) {
                QCOMPARE(root->child(i)->childCount(), 0);
                QCOMPARE(root->child(i)->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
            }
        }
        // The walk keeps tree order: from the Russian "*" on, id 10 is the Latin ERSH, and only
        // the letter holding it was opened.
        QTreeWidgetItem *ersh = TKalmedaRamuxMainForm::FindNodeByData(russian->child(2), 10);
        QVERIFY(ersh);
        QCOMPARE(ersh->text(0), u("ERSH"));
        QCOMPARE(ersh->parent(), latin->child(0));
        QCOMPARE(russian->child(1)->childCount(), 0);
        QCOMPARE(latin->child(1)->childCount(), 0);
        QTreeWidgetItem *yorsh = TKalmedaRamuxMainForm::FindNodeByData(russian, 10);
        QCOMPARE(yorsh->parent(), russian->child(1));
        QCOMPARE(TKalmedaRamuxMainForm::FindNodeByData(russian, 999), nullptr);
        QVERIFY(!russian->child(1)->isExpanded()); // found, not shown

        // The user opens a letter from the keyboard; closing and opening again adds nothing.
        russian->setExpanded(true);
        w.TreeView1->setFocus();
        w.TreeView1->setCurrentItem(russian->child(0));
        QTest::keyClick(w.TreeView1, Qt::Key_Right);
        QVERIFY(russian->child(0)->isExpanded());
        QCOMPARE(russian->child(0)->childCount(), 1);
        QCOMPARE(russian->child(0)->child(0)->text(0), u("ЕЛЬ"));
        QCOMPARE(russian->child(0)->child(0)->data(0, Qt::UserRole).toLongLong(), 11);
        QTest::keyClick(w.TreeView1, Qt::Key_Left);
        QTest::keyClick(w.TreeView1, Qt::Key_Right);
        QCOMPARE(russian->child(0)->childCount(), 1);
        // Selecting a found product shows it inside its opened letter.
        w.TreeView1->setCurrentItem(yorsh);
        QVERIFY(russian->child(1)->isExpanded());
    }

    void hostileDatabaseStillBringsUpTheWindow()
    {
        WindowFixture f;
        const QString longName = QString(10000, QChar(0x0436));
        f.createRaw(
            QStringLiteral(
                "CREATE TABLE options (id INTEGER);"
                "CREATE TABLE sections (id INTEGER, parent_id INTEGER, name TEXT);"
                "INSERT INTO sections VALUES (1, 2, 'a'), (2, 1, 'b'), (3, 3, 'self'), (4, NULL, 'top'), "
                "(NULL, 0, 'x');"
                "CREATE TABLE vendors (id INTEGER, name TEXT);"
                "INSERT INTO vendors VALUES (NULL, 'nokey'), (1, NULL);"
                "CREATE TABLE distributors (id INTEGER); CREATE TABLE dealers (id INTEGER);"
                "CREATE TABLE items (id INTEGER, name TEXT);"
                "INSERT INTO items VALUES (NULL, 'noid'), (1, '%1'), (2, NULL);"
                "CREATE TABLE items_to_sections (id INTEGER); CREATE TABLE items_to_vendors (id INTEGER);"
                "CREATE TABLE items_to_dealers (id INTEGER); CREATE TABLE items_to_distributors (id "
                "INTEGER);")
                .arg(longName));
        TKalmedaRamuxMainForm w({}, f.path);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(f.exits.isEmpty());
        QCOMPARE(treeTexts(w.TreeView2), QStringList{QStringLiteral("top")});
        QCOMPARE(w.TreeView3->topLevelItemCount(), 1);
        QCOMPARE(w.RussianNames.size(), 1);
        QCOMPARE(w.RussianNames[0].key.size(), 10000);
        QVERIFY(w.LatinNames.isEmpty());
    }

    void windowWithoutTablesComesUpWithEmptyLists()
    {
        WindowFixture f;
        f.createRaw(QStringLiteral("CREATE TABLE unrelated (x INTEGER);"));
        TKalmedaRamuxMainForm w({}, f.path);
        QCOMPARE(f.errors.size(), 1); // the table that could not be opened; start-up goes on
        QVERIFY(f.exits.isEmpty());
        QCOMPARE(w.TreeView1->topLevelItemCount(), 2);
        QCOMPARE(w.TreeView1->topLevelItem(0)->childCount(), 0);
        QCOMPARE(w.TreeView2->topLevelItemCount(), 0);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
