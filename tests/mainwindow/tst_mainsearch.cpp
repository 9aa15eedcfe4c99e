// The name search as the user drives it: thresholds, the drop-down, both alphabets, selecting.
#include "app/mainform.h"
#include "app/searchcombobox.h"
#include "fixture.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSet>

namespace {
QString u(const char *utf8)
{
    return QString::fromUtf8(utf8);
}
} // namespace

class TestMainSearch : public QObject
{
    Q_OBJECT

    WindowFixture *f = nullptr;
    TKalmedaRamuxMainForm *w = nullptr;

    bool popupOpen() const { return w->ComboBox2->view()->isVisible(); }

    // keyClicks only knows ASCII; Cyrillic goes in as key events carrying their text.
    void type(const QString &text)
    {
        for (QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QString(c));
            QCoreApplication::sendEvent(QApplication::focusWidget(), &press);
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, QString(c));
            QCoreApplication::sendEvent(QApplication::focusWidget(), &release);
        }
    }

private slots:
    void init()
    {
        f = new WindowFixture;
        QString sql = u("INSERT INTO items (id, name, name_lat) VALUES (1, 'Альбендазол', 'Albendazolum'),"
                        " (2, 'Фенбендазол', 'Fenbendazolum'), (3, 'Ивермектин', NULL);");
        for (int i = 0; i < 9; ++i)
            sql += u("INSERT INTO items (id, name) VALUES (%1, 'Тестовый %2');").arg(100 + i).arg(i);
        f->create(sql);
        w = new TKalmedaRamuxMainForm({}, f->path);
        w->show();
        QApplication::setActiveWindow(w);
        QVERIFY(QTest::qWaitForWindowActive(w));
        w->ComboBox2->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), w->ComboBox2);
    }

    void cleanup()
    {
        delete w;
        delete f;
    }

    void twoCharactersSearchNothingThirdDoes()
    {
        type(u("бе"));
        QCOMPARE(w->ComboBox2->currentText(), u("БЕ")); // capitals as typed
        QCOMPARE(w->ComboBox2->count(), 0);
        QVERIFY(!popupOpen());
        type(u("н"));
        QCOMPARE(w->ComboBox2->count(), 2); // found in the middle of both names
        QCOMPARE(w->ComboBox2->itemText(0), u("АЛЬБЕНДАЗОЛ"));
        QCOMPARE(w->ComboBox2->itemData(1, Qt::UserRole).toLongLong(), 2);
        QTRY_VERIFY(popupOpen());
        QCOMPARE(w->ComboBox2->currentText(), u("БЕН")); // the typed text stays
    }

    void typingGoesOnWhileTheDropDownIsOpen()
    {
        type(u("бен"));
        QTRY_VERIFY(popupOpen());
        // The next key goes to the text, not to the drop-down's list.
        QTest::keyClick(w->ComboBox2->view(), Qt::Key_D, Qt::NoModifier);
        QTRY_COMPARE(w->ComboBox2->currentText(), u("БЕНD"));
        QCOMPARE(w->ComboBox2->count(), 0);
    }

    void noMatchOpensAnEmptyDropDownSayingSo()
    {
        type(u("жжж"));
        QCOMPARE(w->ComboBox2->count(), 0);
        QTRY_VERIFY(popupOpen());
        QAbstractItemView *list = w->ComboBox2->view();
        QVERIFY(list->window()->geometry().top() >= w->ComboBox2->mapToGlobal(QPoint(0, 0)).y());
        QVERIFY(list->height() > 0);
        // The notice is drawn in the list itself: its viewport is not one flat colour.
        const QImage shot = list->viewport()->grab().toImage();
        QSet<QRgb> colours;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x)
                colours.insert(shot.pixel(x, y));
        QVERIFY(colours.size() > 2);
        // Nothing can be chosen, and typing goes on into the text.
        QTest::keyClick(list, Qt::Key_Return);
        QVERIFY(!w->TreeView1->currentItem());
        QCOMPARE(w->ComboBox2->count(), 0);
        type(u("ж"));
        QTRY_COMPARE(w->ComboBox2->currentText(), u("ЖЖЖЖ"));
        QTRY_VERIFY(popupOpen());
        QTest::keyClick(list, Qt::Key_Escape);
        QTRY_VERIFY(!popupOpen());
    }

    void moreThanEightResultsKeepTheDropDownClosed()
    {
        type(u("тес"));
        QCOMPARE(w->ComboBox2->count(), 9);
        QTest::qWait(50);
        QVERIFY(!popupOpen());
        type(u("товый 3"));
        QCOMPARE(w->ComboBox2->count(), 1);
        QTRY_VERIFY(popupOpen());
    }

    void latinModeSearchesLatinKeys()
    {
        w->ComboBox1->setCurrentIndex(1);
        type(QStringLiteral("dazol"));
        QCOMPARE(w->ComboBox2->count(), 2);
        QCOMPARE(w->ComboBox2->itemText(0), QStringLiteral("ALBENDAZOLUM"));
        w->ComboBox2->hidePopup();
        w->ComboBox2->lineEdit()->clear();
        type(u("ивер"));
        QCOMPARE(w->ComboBox2->count(), 0); // no Latin name
    }

    void choosingAnItemSelectsTheRussianNodeWithoutSearching()
    {
        w->ComboBox1->setCurrentIndex(1);
        type(QStringLiteral("fenb"));
        QTRY_VERIFY(popupOpen());
        QCOMPARE(w->ComboBox2->count(), 1);
        QTest::keyClick(w->ComboBox2->view(), Qt::Key_Down);
        QTest::keyClick(w->ComboBox2->view(), Qt::Key_Return);
        QTRY_VERIFY(!popupOpen());
        QTreeWidgetItem *node = w->TreeView1->currentItem();
        QVERIFY(node);
        QCOMPARE(node->data(0, Qt::UserRole).toLongLong(), 2);
        QCOMPARE(node->parent()->parent(), w->TreeView1->topLevelItem(0)); // the Russian root first
        QCOMPARE(w->ComboBox2->currentText(), QStringLiteral("FENBENDAZOLUM"));
        QCOMPARE(w->ComboBox2->count(), 1); // the chosen text started no new search
    }
};

QTEST_MAIN(TestMainSearch)
#include "tst_mainsearch.moc"
