// A whole round without the mouse, by key events alone: search, open, follow a link, go back,
// save the page as PDF; and the numbered toolbar keys, F6, Ctrl+C.
#include "readingfixture.h"

#include "app/searchcombobox.h"
#include "pages/ui/printing.h"

#include <QClipboard>
#include <QStackedWidget>
#include <QToolBar>
#include <QToolButton>

namespace {

QWidget *focus()
{
    QWidget *popup = QApplication::activePopupWidget();
    if (popup && popup->focusWidget())
        return popup->focusWidget();
    return QApplication::focusWidget();
}

void key(int k, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QTest::keyClick(focus(), Qt::Key(k), modifiers);
}

// keyClicks only knows ASCII; Cyrillic goes in as key events carrying their text.
void type(const QString &text)
{
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(focus(), &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(focus(), &release);
    }
}

} // namespace

class TestKeyboard : public QObject
{
    Q_OBJECT

private slots:
    void wholeRoundByKeysAlone()
    {
        DemoFixture f;
        auto w = f.start();
        const QString pdf = f.dir.filePath(QStringLiteral("round.pdf"));
        setPdfFileDialogFunction([&](QWidget *, const QString &) { return pdf; });

        // To the search box with Tab.
        for (int i = 0; i < 10 && focus() != w->ComboBox2; ++i)
            key(Qt::Key_Tab);
        QCOMPARE(focus(), static_cast<QWidget *>(w->ComboBox2));
        type(QStringLiteral("амоксиклав-"));
        QTRY_VERIFY(w->ComboBox2->view()->isVisible());
        key(Qt::Key_Down);
        key(Qt::Key_Return);
        QTRY_COMPARE(currentId(w->TreeView1), kLongProduct);
        QVERIFY(w->m_productView->Html().contains(QStringLiteral("Amoxiclav-Vet")));

        // Into the view, through its links to a group, and Return follows it.
        key(Qt::Key_F6);
        QCOMPARE(focus(), static_cast<QWidget *>(w->m_productView->Viewer()));
        QString href;
        for (int i = 0; i < 80 && !href.startsWith(QLatin1String("SECT:")); ++i) {
            key(Qt::Key_Tab);
            QCOMPARE(focus(), static_cast<QWidget *>(w->m_productView->Viewer()));
            href = w->m_productView->Viewer()->textCursor().charFormat().anchorHref();
        }
        QVERIFY2(href.startsWith(QLatin1String("SECT:")), qPrintable(href));
        key(Qt::Key_Return);
        QCOMPARE(w->PageControl1->currentWidget(), w->tsGroups);
        QCOMPARE(currentId(w->TreeView2), href.mid(5).toLongLong());

        // Back, and the page saved.
        key(Qt::Key_Left, Qt::AltModifier);
        QCOMPARE(w->PageControl1->currentWidget(), w->tsDrugs);
        QCOMPARE(currentId(w->TreeView1), kLongProduct);
        key(Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(pdfPageCount(pdf), 3);
        QVERIFY(f.errors.isEmpty());
    }

    void numberedKeysFollowTheToolbarAndOtherKeysAct()
    {
        DemoFixture f;
        auto w = f.start();
        w->TreeView1->setFocus();
        // A button added to the toolbar takes its number by its place, not by a list.
        auto *extra = new QToolButton(w->ToolBar1);
        extra->setText(QStringLiteral("Ещё"));
        w->ToolBar1->insertWidget(w->ToolBar1->actions().at(3), extra);
        key(Qt::Key_3, Qt::ControlModifier);
        QCOMPARE(w->PageControl1->currentWidget(), w->tsVendors);
        key(Qt::Key_2, Qt::ControlModifier);
        QCOMPARE(w->PageControl1->currentWidget(), w->tsGroups);
        key(Qt::Key_4, Qt::ControlModifier); // the added button (it does nothing here)
        QCOMPARE(w->PageControl1->currentWidget(), w->tsGroups);
        key(Qt::Key_8, Qt::ControlModifier);
        QCOMPARE(w->PageControl1->currentWidget(), w->tsAbout);
        key(Qt::Key_9, Qt::ControlModifier); // Выход has no number
        QVERIFY(w->isVisible());
        QCOMPARE(w->PageControl1->currentWidget(), w->tsAbout);
        key(Qt::Key_C, Qt::ControlModifier);
        QVERIFY(QGuiApplication::clipboard()->text().contains(QStringLiteral("Версия")));

        key(Qt::Key_1, Qt::ControlModifier);
        QCOMPARE(w->PageControl1->currentWidget(), w->tsDrugs);
        selectNode(w->TreeView1, kShortProduct);
        w->TreeView1->setFocus();
        key(Qt::Key_F6);
        QCOMPARE(focus(), static_cast<QWidget *>(w->m_productView->Viewer()));
        // In the view the window's keys win over the text widget's own.
        QGuiApplication::clipboard()->clear();
        key(Qt::Key_C, Qt::ControlModifier);
        QVERIFY(QGuiApplication::clipboard()->text().contains(QStringLiteral("Амоксивал"), Qt::CaseInsensitive));
        key(Qt::Key_Plus, Qt::ControlModifier);
        QCOMPARE(w->Zoom(), 110);
        key(Qt::Key_0, Qt::ControlModifier);
        QCOMPARE(w->Zoom(), 100);
        key(Qt::Key_F6);
        QCOMPARE(focus(), static_cast<QWidget *>(w->TreeView1));

        // Ctrl+P prints on the product page only.
        int dialogs = 0;
        setPrintDialogFunction([&](QPrinter &, int, QWidget *) { ++dialogs; return false; });
        key(Qt::Key_P, Qt::ControlModifier);
        key(Qt::Key_2, Qt::ControlModifier);
        key(Qt::Key_P, Qt::ControlModifier);
        setPrintDialogFunction({});
        QCOMPARE(dialogs, 1);
    }
};

QTEST_MAIN(TestKeyboard)
#include "tst_keyboard.moc"
