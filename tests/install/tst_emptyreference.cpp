// The window on the empty reference an installation ships: the product view explains why it is
// empty until the first update fills the reference.
#include "app/mainform.h"
#include "mainwindow/fixture.h"
#include "pages/ui/htmlrenderer.h"
#include "update/datareloadevent.h"

#include <QApplication>
#include <QTextBrowser>

namespace {
const QString kNote = QStringLiteral("Справочник пока пуст. Он будет заполнен при следующем успешном обновлении "
                                     "с сервера, указанного на странице «Настройка».");

QString productViewText(TKalmedaRamuxMainForm &w)
{
    return w.m_productView->Viewer()->toPlainText().simplified();
}
} // namespace

class TestEmptyReference : public QObject
{
    Q_OBJECT

private slots:
    void emptyReferenceShowsTheNoteUntilAnUpdateFillsIt()
    {
        WindowFixture f;
        f.create();
        TKalmedaRamuxMainForm w({}, f.path);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(productViewText(w), kNote);
        QVERIFY(f.errors.isEmpty() && f.exits.isEmpty());

        // The first update brings products: the note goes, the list fills.
        f.run(QStringLiteral("INSERT INTO items (id, name) VALUES (1, 'Альбендазол');"));
        QCoreApplication::postEvent(&w, new DataReloadEvent(0, 0));
        QTRY_VERIFY(TKalmedaRamuxMainForm::FindNodeByData(w.TreeView1->topLevelItem(0), 1));
        QVERIFY2(productViewText(w).isEmpty(), qPrintable(productViewText(w)));
    }

    void referenceWithProductsShowsNoNote()
    {
        WindowFixture f;
        f.create(QStringLiteral("INSERT INTO items (id, name) VALUES (1, 'Альбендазол');"));
        TKalmedaRamuxMainForm w({}, f.path);
        w.show();
        QVERIFY(!productViewText(w).contains(QLatin1String("Справочник пока пуст")));
    }
};

QTEST_MAIN(TestEmptyReference)
#include "tst_emptyreference.moc"
