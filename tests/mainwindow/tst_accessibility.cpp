// The window as a screen reader meets it: the accessibility tree walked from the window on the
// demo reference, every toolbar page brought up in turn, and every control a person can reach
// named; the pages stay readable with a keyboard caret, and links still open from the keyboard.
#include "app/mainform.h"
#include "app/searchcombobox.h"
#include "fixture.h"
#include "pages/ui/htmlrenderer.h"

#include "content/content.h"
#include "content/sourcereader.h"

#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTextDocumentFragment>
#include <QTextEdit>
#include <QToolButton>

namespace {

// A control a person reaches and acts on; layout frames, labels and scroll bars are not.
bool isInteractive(const QWidget *w)
{
    if (qobject_cast<const QScrollBar *>(w))
        return false;
    return qobject_cast<const QAbstractButton *>(w) || qobject_cast<const QLineEdit *>(w) ||
           qobject_cast<const QComboBox *>(w) || qobject_cast<const QAbstractSpinBox *>(w) ||
           qobject_cast<const QAbstractItemView *>(w) || qobject_cast<const QTextEdit *>(w) ||
           qobject_cast<const QAbstractSlider *>(w);
}

QString describe(const QWidget *w)
{
    QStringList path;
    for (const QObject *o = w; o; o = o->parent())
        path.prepend(o->objectName().isEmpty() ? QString::fromLatin1(o->metaObject()->className())
                                               : o->objectName());
    return path.join(QLatin1Char('/'));
}

// Every widget of the tree under `iface` that is interactive and has no name, as a path.
void collectUnnamed(QAccessibleInterface *iface, QSet<QString> &unnamed, QSet<QObject *> &seen, int depth = 0)
{
    if (!iface || depth > 60)
        return;
    QObject *object = iface->object();
    if (object && seen.contains(object))
        return;
    if (object)
        seen.insert(object);
    auto *widget = qobject_cast<QWidget *>(object);
    if (widget && isInteractive(widget) && iface->text(QAccessible::Name).trimmed().isEmpty())
        unnamed.insert(describe(widget));
    // An item view's children are its cells; the view itself is what needs the name.
    if (qobject_cast<QAbstractItemView *>(widget))
        return;
    for (int i = 0; i < iface->childCount(); ++i)
        collectUnnamed(iface->child(i), unnamed, seen, depth + 1);
}

} // namespace

class TestAccessibility : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_path = m_dir.filePath(QStringLiteral("demo.rxd"));
        writeClientDatabase(loadDemoContent(demoContentDir()), m_path);
    }

    void everyControlOfEveryPageHasAName()
    {
        WindowFixture f;
        TKalmedaRamuxMainForm w({}, m_path);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QSet<QString> unnamed;
        QSet<QObject *> seen;
        // A product page first, so that what its page adds (strip, panel) is there too.
        QTreeWidgetItem *letter = w.TreeView1->topLevelItem(0)->child(0);
        letter->setExpanded(true);
        QVERIFY(letter->childCount() > 0);
        w.TreeView1->setCurrentItem(letter->child(0));
        QTRY_VERIFY(w.m_shownItemId.has_value());
        for (QToolButton *button :
             {w.tbDrugs, w.tbGroups, w.tbVendors, w.tbFavourites, w.tbSettings, w.tbAppendix, w.tbAbout}) {
            w.ChangePage(button);
            QCoreApplication::processEvents();
            seen.clear();
            collectUnnamed(QAccessible::queryAccessibleInterface(&w), unnamed, seen);
        }
        QStringList list = unnamed.values();
        list.sort();
        QVERIFY2(list.isEmpty(), qPrintable(QStringLiteral("\nwithout an accessible name:\n  ") +
                                            list.join(QStringLiteral("\n  "))));
    }

    // The page views keep a caret for reading line by line; Tab still reaches a link and Enter
    // still follows it, and Backspace still goes back.
    void viewsKeepACaretAndLinksOpenFromTheKeyboard()
    {
        WindowFixture f;
        TKalmedaRamuxMainForm w({}, m_path);
        w.show();
        QApplication::setActiveWindow(&w);
        QVERIFY(QTest::qWaitForWindowActive(&w));
        THTMLViewer *viewer = w.m_productView->Viewer();
        const Qt::TextInteractionFlags reading =
            Qt::TextSelectableByKeyboard | Qt::LinksAccessibleByKeyboard | Qt::LinksAccessibleByMouse;
        for (TPBearHTMLRenderer *view :
             {w.m_productView, w.m_groupView, w.m_vendorView, w.m_appendixView, w.m_aboutView})
            QCOMPARE(view->Viewer()->textInteractionFlags(), reading);
        QVERIFY(viewer->isReadOnly());
        QCOMPARE(viewer->accessibleName(), QStringLiteral("Страница препарата"));

        QTreeWidgetItem *letter = w.TreeView1->topLevelItem(0)->child(0);
        letter->setExpanded(true);
        w.TreeView1->setCurrentItem(letter->child(0));
        QTRY_VERIFY(w.m_shownItemId.has_value());
        const QString page = viewer->toPlainText();
        viewer->setFocus();
        QTRY_VERIFY(viewer->hasFocus());
        // The caret moves through the text and nothing of it changes.
        QTest::keyClick(viewer, Qt::Key_Down);
        QTest::keyClick(viewer, Qt::Key_End);
        QVERIFY(viewer->textCursor().position() > 0);
        QTest::keyClick(viewer, Qt::Key_X);
        QCOMPARE(viewer->toPlainText(), page);
        // Ctrl+C copies what the caret selected, and the whole page when nothing is.
        QTest::keyClick(viewer, Qt::Key_Home, Qt::ControlModifier);
        QTest::keyClick(viewer, Qt::Key_End, Qt::ShiftModifier);
        const QString line = viewer->textCursor().selection().toPlainText();
        QVERIFY(!line.isEmpty() && line.size() < page.size());
        QTest::keyClick(viewer, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), line);
        QTest::keyClick(viewer, Qt::Key_Right);
        QTest::keyClick(viewer, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), page);

        QString anchor;
        for (int i = 0; i < 40 && !anchor.startsWith(QLatin1String("SECT:")); ++i) {
            QTest::keyClick(viewer, Qt::Key_Tab);
            anchor = viewer->textCursor().charFormat().anchorHref();
        }
        QVERIFY2(anchor.startsWith(QLatin1String("SECT:")), qPrintable(anchor));
        QTest::keyClick(viewer, Qt::Key_Return);
        QTRY_COMPARE(w.PageControl1->currentWidget(), w.tsGroups);
        QVERIFY(w.TreeView2->currentItem());
        QCOMPARE(
            QStringLiteral("SECT:%1").arg(w.TreeView2->currentItem()->data(0, Qt::UserRole).toLongLong()),
            anchor);
    }

private:
    QTemporaryDir m_dir;
    QString m_path;
};

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
