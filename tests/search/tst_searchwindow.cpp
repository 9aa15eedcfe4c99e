// The results page in the real window on the demo reference: Return in the box, the "Найти"
// button, Ctrl+F, and a text hit's link opening the product page at the matched words.
#include "demodb.h"

#include "app/mainform.h"
#include "app/messageboxes.h"
#include "app/searchcombobox.h"
#include "pages/ui/htmlrenderer.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QToolButton>
#include <QTreeWidget>

class TestSearchWindow : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_path;
    QStringList m_errors;
    TKalmedaRamuxMainForm *w = nullptr;

    QString shown() const { return w->m_productView->Viewer()->toPlainText(); }
    bool popupOpen() const { return w->ComboBox2->view()->isVisible(); }

    void type(const QString &text)
    {
        for (QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QString(c));
            QCoreApplication::sendEvent(QApplication::focusWidget(), &press);
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, QString(c));
            QCoreApplication::sendEvent(QApplication::focusWidget(), &release);
        }
    }
    void key(int code, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(code), modifiers);
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        setErrorBoxHandler([this](const QString &text) { m_errors << text; });
        QVERIFY(m_dir.isValid());
        m_path = writeDemoDatabase(m_dir, QStringLiteral("demo.rxd"), true);
    }

    void init()
    {
        w = new TKalmedaRamuxMainForm({}, m_path);
        w->show();
        QApplication::setActiveWindow(w);
        QVERIFY(QTest::qWaitForWindowActive(w));
        w->ComboBox2->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), w->ComboBox2);
    }

    void cleanup()
    {
        delete w;
        QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(QLatin1Char('\n'))));
    }

    void returnOnTheOpenDropDownShowsTheReading()
    {
        type(QStringLiteral("fkm,tylfpjk"));
        QTRY_VERIFY(popupOpen()); // no name as typed: the drop-down says so
        key(Qt::Key_Return);
        QVERIFY(!popupOpen());
        QVERIFY2(shown().contains(QStringLiteral("Результаты поиска")), qPrintable(shown()));
        QVERIFY(shown().contains(QStringLiteral("Запрос: «FKM,TYLFPJK»")));
        QVERIFY(shown().contains(QStringLiteral("Показаны результаты для «АЛЬБЕНДАЗОЛ» (набрано в английской раскладке)")));
        QVERIFY(shown().contains(QStringLiteral("Альбендазол 20% гранулы")));
        QCOMPARE(w->PageControl1->currentWidget(), w->tsDrugs);
    }

    void returnOnAHighlightedItemChoosesIt()
    {
        type(QStringLiteral("альбенд"));
        QTRY_VERIFY(popupOpen());
        QVERIFY(w->ComboBox2->count() >= 2);
        // The second item highlighted, as the arrow keys or the mouse leave it.
        w->ComboBox2->view()->setCurrentIndex(w->ComboBox2->model()->index(1, 0));
        const qint64 chosen = w->ComboBox2->itemData(1, Qt::UserRole).toLongLong();
        key(Qt::Key_Return);
        QTRY_VERIFY(w->TreeView1->currentItem());
        QCOMPARE(w->TreeView1->currentItem()->data(0, Qt::UserRole).toLongLong(), chosen);
        QVERIFY(!shown().contains(QStringLiteral("Результаты поиска")));
    }

    void ctrlFAndTheButtonFromAnotherPage()
    {
        w->ChangePage(w->tbGroups);
        QCOMPARE(w->PageControl1->currentWidget(), w->tsGroups);
        QTest::keyClick(w, Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(w->PageControl1->currentWidget(), w->tsDrugs);
        QTRY_COMPARE(QApplication::focusWidget(), w->ComboBox2);
        w->ComboBox2->lineEdit()->setText(QStringLiteral("МЕЛОКСИКАН"));
        QTest::mouseClick(w->FindButton, Qt::LeftButton);
        QVERIFY2(
            shown().contains(QStringLiteral("Показаны результаты для «мелоксикам» (исправлена опечатка)")),
            qPrintable(shown()));
        QVERIFY(shown().contains(QStringLiteral("В названиях")));
    }

    void textHitOpensTheProductAtTheWords()
    {
        w->ShowSearchResults(QStringLiteral("гельминтов"));
        QVERIFY(shown().contains(QStringLiteral("В описаниях")));
        QVERIFY(shown().contains(QStringLiteral("Фармакологические свойства:")));
        THTMLViewer *viewer = w->m_productView->Viewer();
        w->PageLinkClick(w->m_productView, QStringLiteral("ITEM:144"));
        QVERIFY(!shown().contains(QStringLiteral("Результаты поиска")));
        QVERIFY(shown().contains(QStringLiteral("Альбендазол-10 суспензия")));
        QCOMPARE(w->TreeView1->currentItem()->data(0, Qt::UserRole).toLongLong(), 144);
        const QList<QTextEdit::ExtraSelection> marks = viewer->extraSelections();
        QCOMPARE(marks.size(), 1);
        QCOMPARE(marks.first().cursor.selectedText(), QStringLiteral("гельминтами"));
        // After the section's heading, and in view.
        const int heading = viewer->document()->find(QStringLiteral("Фармакологические свойства:")).position();
        QVERIFY(marks.first().cursor.position() > heading);
        const QRect at = viewer->cursorRect(marks.first().cursor);
        QVERIFY(viewer->viewport()->rect().contains(at.center()));
        QVERIFY(viewer->verticalScrollBar()->value() > 0);

        // The same link on the product page itself is an ordinary link.
        w->PageLinkClick(w->m_productView, QStringLiteral("ITEM:147"));
        QVERIFY(shown().contains(QStringLiteral("Альбендазол 20% гранулы")));
        QVERIFY(viewer->extraSelections().isEmpty());

        // Back to the results: the box says again what was searched, with no drop-down.
        w->ComboBox2->setEditText(QStringLiteral("другое"));
        w->GoBack();
        w->GoBack();
        QVERIFY2(shown().contains(QStringLiteral("Результаты поиска")), qPrintable(shown()));
        QCOMPARE(w->ComboBox2->currentText(), QStringLiteral("ГЕЛЬМИНТОВ")); // the box writes in capitals
        QVERIFY(!popupOpen());
    }
};

QTEST_MAIN(TestSearchWindow)
#include "tst_searchwindow.moc"
