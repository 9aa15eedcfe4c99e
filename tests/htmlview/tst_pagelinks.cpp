// The main window's pages: list selections compose pages into the views, links move between
// pages with the lists following, errors are reported or swallowed, the print button prints.
#include "app/mainform.h"
#include "app/searchcombobox.h"

#include "mainwindow/fixture.h"
#include "text/base64.h"
#include "text/cp1251.h"
#include "pages/ui/htmlrenderer.h"
#include "pages/ui/printing.h"
#include <QApplication>
#include <QComboBox>

#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QTextBlock>
#include <QToolButton>

namespace {

QString pack(const QString &html)
{
    return QStringLiteral("<HTML>") + Base64EncodeString(encodeCp1251Html(html)) + QStringLiteral("</HTML>");
}

QString text(TPBearHTMLRenderer *view)
{
    return view->Viewer()->toPlainText();
}

qint64 currentId(QTreeWidget *tree)
{
    return tree->currentItem() ? tree->currentItem()->data(0, Qt::UserRole).toLongLong() : -1;
}

} // namespace

class TestPageLinks : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void builtInPagesAreLoadedAtStart();
    void selectingListNodesShowsTheirPages();
    void linksSelectComposeAndBringThePageToFront();
    void badLinksChangeNothing();
    void partnerPagesAndTheWayBack();
    void compositionErrorsReportedOnSelectionOnly();
    void clickInAViewFollowsTheLink();
    void nameSearchShowsTheProductPage();
    void printButtonPrintsTheProductPage();

private:
    std::unique_ptr<WindowFixture> m_fixture;
    std::unique_ptr<TKalmedaRamuxMainForm> m_window;
};

void TestPageLinks::init()
{
    m_fixture = std::make_unique<WindowFixture>();
    m_fixture->create();
    Database db;
    db.open(m_fixture->path, schema::databasePassword());
    db.exec(QStringLiteral(
        "INSERT INTO sections (id, parent_id, name) VALUES (1, 0, 'Верхняя'), (2, 1, 'Нижняя');"
        "INSERT INTO vendors (id, name) VALUES (5, 'Завод');"
        "INSERT INTO distributors (id, name, description) VALUES (7, 'Склад', '  ');"
        "INSERT INTO dealers (id, name) VALUES (8, 'Аптека');"
        "INSERT INTO items (id, name, name_lat) VALUES (10, 'Альфа', 'Alpha'), (11, 'Бета', NULL),"
        " (12, 'Сломанный', NULL);"
        "INSERT INTO items_to_sections (item_id, section_id) VALUES (10, 2), (11, 2);"
        "INSERT INTO items_to_vendors (item_id, vendor_id) VALUES (10, 5);"
        "INSERT INTO items_to_distributors (item_id, distributor_id) VALUES (10, 7);"
        "INSERT INTO items_to_dealers (item_id, dealer_id) VALUES (10, 8);"));
    Statement st = db.prepare(QStringLiteral("UPDATE items SET form = ?1, effect = ?2 WHERE id = 12"));
    st.bind(1, pack(QStringLiteral("<p>Таблетки</p>")));
    st.bind(2, QStringLiteral("<HTML>QUJD\tREVG</HTML>"));
    st.run();
    db.close();
    m_window = std::make_unique<TKalmedaRamuxMainForm>(QStringList{}, m_fixture->path);
    m_window->resize(900, 600);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestPageLinks::cleanup()
{
    m_window.reset();
    m_fixture.reset();
}

void TestPageLinks::builtInPagesAreLoadedAtStart()
{
    TKalmedaRamuxMainForm &w = *m_window;
    QVERIFY(text(w.m_appendixView).contains(QStringLiteral("Дополнительная информация")));
    QVERIFY(text(w.m_aboutView).contains(QStringLiteral("Версия 1.1")));
    QVERIFY(m_fixture->errors.isEmpty());
}

void TestPageLinks::selectingListNodesShowsTheirPages()
{
    TKalmedaRamuxMainForm &w = *m_window;
    w.TreeView1->setCurrentItem(w.FindNodeByData(w.TreeView1->topLevelItem(0), 10));
    QVERIFY(text(w.m_productView).startsWith(QStringLiteral("Альфа")));
    QVERIFY(text(w.m_productView).contains(QStringLiteral("Верхняя → Нижняя")));

    w.TreeView2->setCurrentItem(w.FindNodeByData(w.TreeView2->topLevelItem(0), 1));
    QVERIFY(text(w.m_groupView).contains(QStringLiteral("Подгруппы:\nНижняя")));

    w.TreeView3->setCurrentItem(w.TreeView3->topLevelItem(0));
    QVERIFY(text(w.m_vendorView).contains(QStringLiteral("АЛЬФА (ALPHA)")));
    QVERIFY(m_fixture->errors.isEmpty());
}

void TestPageLinks::linksSelectComposeAndBringThePageToFront()
{
    TKalmedaRamuxMainForm &w = *m_window;
    w.PageLinkClick(w.m_productView, QStringLiteral("SECT:2"));
    QCOMPARE(currentId(w.TreeView2), qint64(2));
    QCOMPARE(w.PageControl1->currentWidget(), w.tsGroups);
    QVERIFY(!w.tbGroups->isEnabled());
    QVERIFY(w.tbDrugs->isEnabled());
    QVERIFY(text(w.m_groupView).contains(QStringLiteral("АЛЬФА (ALPHA)\nБЕТА")));

    w.PageLinkClick(w.m_groupView, QStringLiteral("item: 11 "));
    QCOMPARE(currentId(w.TreeView1), qint64(11));
    QCOMPARE(w.PageControl1->currentWidget(), w.tsDrugs);
    QVERIFY(!w.tbDrugs->isEnabled());
    QVERIFY(text(w.m_productView).startsWith(QStringLiteral("Бета")));

    // A link to the node already selected composes its page again.
    w.m_productView->LoadDocument(pack(QStringLiteral("<p>другое</p>")));
    w.PageLinkClick(w.m_groupView, QStringLiteral("ITEM:11"));
    QVERIFY(text(w.m_productView).startsWith(QStringLiteral("Бета")));

    w.PageLinkClick(w.m_productView, QStringLiteral("vend:5"));
    QCOMPARE(currentId(w.TreeView3), qint64(5));
    QCOMPARE(w.PageControl1->currentWidget(), w.tsVendors);
    QVERIFY(text(w.m_vendorView).startsWith(QStringLiteral("Завод")));

    // ITEM:0 is the root "Русское название": the product view is emptied.
    w.PageLinkClick(w.m_vendorView, QStringLiteral("ITEM:0"));
    QCOMPARE(w.TreeView1->currentItem(), w.TreeView1->topLevelItem(0));
    QCOMPARE(text(w.m_productView), QString());
    QVERIFY(m_fixture->errors.isEmpty());
}

void TestPageLinks::badLinksChangeNothing()
{
    TKalmedaRamuxMainForm &w = *m_window;
    w.PageLinkClick(w.m_productView, QStringLiteral("ITEM:10"));
    const QString shown = text(w.m_productView);
    const QString longLink = QStringLiteral("ITEM:") + QString(100000, QLatin1Char('9'));
    for (const QString &link :
         {QStringLiteral("ITEM:10a"), QStringLiteral("ITEM:"), QStringLiteral("ITEM:999"),
          QStringLiteral("SECT:999"), QStringLiteral("DIST:999"), QStringLiteral("FOO:1"),
          QStringLiteral("RES:style_css"), longLink}) {
        w.PageLinkClick(w.m_productView, link);
        QCOMPARE(currentId(w.TreeView1), qint64(10));
        QCOMPARE(w.PageControl1->currentWidget(), w.tsDrugs);
        QCOMPARE(text(w.m_productView), shown);
    }
    QVERIFY(m_fixture->errors.isEmpty());
}

void TestPageLinks::partnerPagesAndTheWayBack()
{
    TKalmedaRamuxMainForm &w = *m_window;
    w.PageLinkClick(w.m_productView, QStringLiteral("ITEM:10"));
    QTreeWidgetItem *selected = w.TreeView1->currentItem();
    // A group page in between does not move the product the back link returns to.
    w.PageLinkClick(w.m_productView, QStringLiteral("SECT:1"));
    w.PageLinkClick(w.m_productView, QStringLiteral("DIST:7"));
    QCOMPARE(w.PageControl1->currentWidget(), w.tsGroups); // partner pages do not switch pages
    QCOMPARE(text(w.m_productView).simplified(),
             QStringLiteral("Назад К сожалению, требуемая информация отсутствует в базе данных"));
    QVERIFY(w.m_productView->FindPart(u"HTML"));
    const QString body = decodeCp1251(*w.m_productView->FindPart(u"HTML"));
    QVERIFY(body.contains(QStringLiteral("<A HREF=\"ITEM:10\">Назад</A><BR><HR>")));

    w.PageLinkClick(w.m_productView, QStringLiteral("DEAL:8"));
    QVERIFY(text(w.m_productView).endsWith(QStringLiteral("отсутствует в базе данных")));
    w.PageLinkClick(w.m_productView, QStringLiteral("ITEM:10"));
    QCOMPARE(w.TreeView1->currentItem(), selected);
    QVERIFY(text(w.m_productView).startsWith(QStringLiteral("Альфа")));
}

void TestPageLinks::compositionErrorsReportedOnSelectionOnly()
{
    TKalmedaRamuxMainForm &w = *m_window;
    w.TreeView1->setCurrentItem(w.FindNodeByData(w.TreeView1->topLevelItem(0), 12));
    QCOMPARE(m_fixture->errors, QStringList{QStringLiteral("Invalid Base64 Character")});
    // What was composed before the failing section is shown, closed.
    QCOMPARE(text(w.m_productView).simplified(),
             QStringLiteral("Сломанный Форма выпуска: Таблетки Фармакологические свойства:"));

    w.PageLinkClick(w.m_productView, QStringLiteral("ITEM:10"));
    w.PageLinkClick(w.m_productView, QStringLiteral("ITEM:12"));
    QCOMPARE(m_fixture->errors.size(), 1);
    QVERIFY(text(w.m_productView).startsWith(QStringLiteral("Сломанный")));
}

void TestPageLinks::clickInAViewFollowsTheLink()
{
    TKalmedaRamuxMainForm &w = *m_window;
    w.ChangePage(w.tbGroups);
    w.TreeView2->setCurrentItem(w.FindNodeByData(w.TreeView2->topLevelItem(0), 2));
    THTMLViewer *viewer = w.m_groupView->Viewer();
    // The first product entry of the page: "АЛЬФА (ALPHA)".
    const QTextCursor found = viewer->document()->find(QStringLiteral("АЛЬФА"));
    QVERIFY(!found.isNull());
    QTextCursor at(viewer->document());
    at.setPosition(found.selectionStart() + 2);
    QTest::mouseClick(viewer->viewport(), Qt::LeftButton, {}, viewer->cursorRect(at).center());
    QTRY_COMPARE(currentId(w.TreeView1), qint64(10));
    QCOMPARE(w.PageControl1->currentWidget(), w.tsDrugs);
    QVERIFY(text(w.m_productView).startsWith(QStringLiteral("Альфа")));
}

void TestPageLinks::nameSearchShowsTheProductPage()
{
    TKalmedaRamuxMainForm &w = *m_window;
    w.ComboBox1->setCurrentIndex(1); // Latin names: keys the test can type
    w.ComboBox2->setFocus();
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("alp"));
    QTRY_COMPARE(w.ComboBox2->count(), 1);
    w.ComboBox2Select(0);
    QCOMPARE(currentId(w.TreeView1), qint64(10));
    QVERIFY(text(w.m_productView).startsWith(QStringLiteral("Альфа")));
}

void TestPageLinks::printButtonPrintsTheProductPage()
{
    TKalmedaRamuxMainForm &w = *m_window;
    w.PageLinkClick(w.m_productView, QStringLiteral("ITEM:10"));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("product.pdf"));
    int shown = 0;
    setPrintDialogFunction([&](QPrinter &printer, int pageCount, QWidget *parent) {
        ++shown;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(path);
        return pageCount == 1 && parent == &w;
    });
    QTest::mouseClick(w.BitBtn1, Qt::LeftButton);
    setPrintDialogFunction({});
    QCOMPARE(shown, 1);
    QFile pdf(path);
    QVERIFY(pdf.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromLatin1(pdf.readAll())
                 .count(QRegularExpression(QStringLiteral("/Type\\s*/Page(?![a-zA-Z])"))),
             1);
}

QTEST_MAIN(TestPageLinks)
#include "tst_pagelinks.moc"
