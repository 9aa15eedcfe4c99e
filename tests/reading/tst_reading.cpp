// The reading comforts in the real window on the demo reference: history across toolbar pages
// and after a data reload, zoom and layout kept across a restart, tooltips for cut list names,
// the product page saved as PDF (checked with poppler's tools) and by ramuxctl.
#include "readingfixture.h"

#include "pages/pdfname.h"
#include "pages/stylezoom.h"
#include "update/datareloadevent.h"

#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTextDocument>
#include <QToolBar>
#include <QToolButton>
#include <QToolTip>

class TestReading : public QObject
{
    Q_OBJECT

private slots:
    void backAndForwardRestorePageToolbarPageSelectionAndScroll()
    {
        DemoFixture f;
        auto w = f.start();
        QVERIFY(!w->BackButtons[0]->isEnabled() && !w->ForwardButtons[1]->isEnabled());
        selectNode(w->TreeView1, kLongProduct);
        QScrollBar *bar = w->m_productView->Viewer()->verticalScrollBar();
        w->m_productView->Viewer()->document()->pageCount();
        QVERIFY(bar->maximum() > 100);
        bar->setValue(bar->maximum() / 2);
        const int scrolled = bar->value();

        // The deepest group of the path lists products.
        const qint64 group = 3;
        QVERIFY(w->m_productView->Html().contains(QStringLiteral("SECT:3")));
        QVERIFY(group > 0);
        w->PageLinkClick(w->m_productView, QStringLiteral("SECT:%1").arg(group));
        QCOMPARE(w->PageControl1->currentWidget(), w->tsGroups);
        const qint64 other = firstLink(w->m_groupView, QStringLiteral("ITEM:"), kLongProduct);
        QVERIFY(other > 0 && other != kLongProduct);
        w->PageLinkClick(w->m_groupView, QStringLiteral("ITEM:%1").arg(other));
        QCOMPARE(currentId(w->TreeView1), other);
        const qint64 vendor = firstLink(w->m_productView, QStringLiteral("VEND:"));
        QVERIFY(vendor > 0);
        w->PageLinkClick(w->m_productView, QStringLiteral("VEND:%1").arg(vendor));
        QCOMPARE(w->PageControl1->currentWidget(), w->tsVendors);
        QCOMPARE(w->History.size(), 4);
        QVERIFY(w->BackButtons[2]->isEnabled() && !w->ForwardButtons[2]->isEnabled());

        w->BackButtons[2]->click(); // the strip above the manufacturer view
        QCOMPARE(w->PageControl1->currentWidget(), w->tsDrugs);
        QCOMPARE(currentId(w->TreeView1), other);
        QTest::keyClick(w.get(), Qt::Key_Left, Qt::AltModifier);
        QCOMPARE(w->PageControl1->currentWidget(), w->tsGroups);
        QCOMPARE(currentId(w->TreeView2), group);
        QVERIFY(!w->tbGroups->isEnabled() && w->tbDrugs->isEnabled()); // the toolbar as a click leaves it
        // The mouse's back button, over the group view.
        QTest::mouseClick(w->m_groupView->Viewer()->viewport(), Qt::BackButton);
        QCOMPARE(w->PageControl1->currentWidget(), w->tsDrugs);
        QCOMPARE(currentId(w->TreeView1), kLongProduct);
        QVERIFY(w->m_productView->Html().contains(QStringLiteral("Amoxiclav-Vet")));
        QCOMPARE(bar->value(), scrolled);
        QVERIFY(!w->BackButtons[0]->isEnabled() && w->ForwardButtons[0]->isEnabled());

        w->GoForward();
        w->GoForward();
        QCOMPARE(currentId(w->TreeView1), other);
        QCOMPARE(bar->value(), 0);
        w->GoForward();
        QCOMPARE(w->PageControl1->currentWidget(), w->tsVendors);
        QCOMPARE(currentId(w->TreeView3), vendor);
        QVERIFY(!w->ForwardButtons[1]->isEnabled());

        // Backspace in a view goes back; a new page then ends the way forward.
        QTest::keyClick(w->m_vendorView->Viewer(), Qt::Key_Backspace);
        QCOMPARE(currentId(w->TreeView1), other);
        selectNode(w->TreeView1, kShortProduct);
        QVERIFY(!w->History.canGoForward());
        QCOMPARE(w->History.size(), 4);
    }

    void partnerPagesComeBackWithTheirWayBack()
    {
        DemoFixture f;
        auto w = f.start();
        selectNode(w->TreeView1, kLongProduct);
        const qint64 distributor = firstLink(w->m_productView, QStringLiteral("DIST:"));
        QVERIFY(distributor > 0);
        w->PageLinkClick(w->m_productView, QStringLiteral("DIST:%1").arg(distributor));
        const QString partnerPage = w->m_productView->Html();
        QVERIFY(partnerPage.contains(QStringLiteral("ITEM:%1").arg(kLongProduct)));
        selectNode(w->TreeView1, kShortProduct);
        w->GoBack();
        QCOMPARE(w->m_productView->Html(), partnerPage);
        QCOMPARE(currentId(w->TreeView1), kLongProduct);
        // Saved as PDF, the page is proposed under the distributor's name.
        QString proposed;
        setPdfFileDialogFunction([&](QWidget *, const QString &suggested) {
            proposed = suggested;
            return QString();
        });
        w->SavePdfClick();
        QCOMPARE(QFileInfo(proposed).fileName(), pdfFileName(*w->Tables.distributors.locate(distributor)->name));
    }

    void pagesGoneAfterAReloadAreSkipped()
    {
        DemoFixture f;
        auto w = f.start();
        for (qint64 id : {145, 146, 147})
            selectNode(w->TreeView1, id);
        QCOMPARE(w->History.size(), 3);
        f.run(QStringLiteral("DELETE FROM items WHERE id = 146;"));
        DataReloadEvent event;
        QCoreApplication::sendEvent(w.get(), &event);
        QCOMPARE(w->History.size(), 2);
        w->GoBack();
        QCOMPARE(currentId(w->TreeView1), 145);
        QVERIFY(w->m_productView->Html().contains(QStringLiteral("Альбен-Степь"), Qt::CaseInsensitive));
        w->GoForward();
        QCOMPARE(currentId(w->TreeView1), 147);
        const QString page = w->m_productView->Html();
        // A letter of the list shows no page of its own; back is the product again.
        w->TreeView1->setCurrentItem(w->TreeView1->currentItem()->parent());
        QVERIFY(w->m_productView->Html() != page);
        w->GoBack();
        QCOMPARE(currentId(w->TreeView1), 147);
        QCOMPARE(w->m_productView->Html(), page);
        QVERIFY(f.errors.isEmpty());
    }

    void searchResultsJoinTheHistory()
    {
        DemoFixture f;
        auto w = f.start();
        selectNode(w->TreeView1, kShortProduct);
        w->ShowSearchResults(QStringLiteral("ветрин"));
        const QString results = w->m_productView->Html();
        QVERIFY(results.contains(QStringLiteral("Результаты поиска")));
        selectNode(w->TreeView1, kLongProduct);
        w->ChangePage(w->tbGroups);
        w->GoBack();
        QCOMPARE(w->PageControl1->currentWidget(), w->tsDrugs);
        QCOMPARE(w->m_productView->Html(), results);
        QCOMPARE(currentId(w->TreeView1), kShortProduct); // the selection it was shown beside
        w->GoBack();
        QCOMPARE(currentId(w->TreeView1), kShortProduct);
        QVERIFY(!w->m_productView->Html().contains(QStringLiteral("Результаты поиска")));
        w->GoForward();
        QCOMPARE(w->m_productView->Html(), results);
    }

    void historyKeepsTheLastHundredPages()
    {
        DemoFixture f;
        auto w = f.start();
        const QList<qint64> ids{145, 146, 147, 144};
        for (int i = 0; i < 130; ++i)
            selectNode(w->TreeView1, ids[i % ids.size()]);
        QCOMPARE(w->History.size(), PageHistory::kLimit);
        int steps = 0;
        while (w->History.canGoBack() && steps < 200) {
            w->GoBack();
            ++steps;
        }
        QCOMPARE(steps, PageHistory::kLimit - 1);
        QCOMPARE(currentId(w->TreeView1), ids[30 % ids.size()]);
    }

    void zoomScalesTheViewsAndIsKeptAcrossARestart()
    {
        DemoFixture f;
        double plainHeight = 0;
        int plainPages = 0;
        {
            auto w = f.start();
            selectNode(w->TreeView1, kLongProduct);
            QTextDocument *doc = w->m_productView->Viewer()->document();
            doc->pageCount();
            plainHeight = doc->size().height();
            plainPages = w->m_productView->PageCount();
            QTest::keyClick(w.get(), Qt::Key_Plus, Qt::ControlModifier);
            QTest::keyClick(w.get(), Qt::Key_Equal, Qt::ControlModifier);
            QCOMPARE(w->Zoom(), 125);
            QWheelEvent wheel(QPointF(50, 50), w->mapToGlobal(QPointF(50, 50)), QPoint(), QPoint(0, 120),
                              Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
            QCoreApplication::sendEvent(w->m_productView->Viewer()->viewport(), &wheel);
            QCOMPARE(w->Zoom(), 150);
            doc = w->m_productView->Viewer()->document();
            doc->pageCount();
            QVERIFY2(doc->size().height() > plainHeight * 1.3, qPrintable(QString::number(doc->size().height())));
            QVERIFY(!w->m_aboutView->Viewer()->toHtml().contains(QStringLiteral("15pt")));
            w->ChangePage(w->tbAbout); // a hidden view takes the level when shown
            QVERIFY(w->m_aboutView->Viewer()->toHtml().contains(QStringLiteral("15pt"))); // 10pt, zoomed
            w->ChangePage(w->tbDrugs);
            QCOMPARE(w->m_productView->PageCount(), plainPages); // paper stays at 100 %
            for (int i = 0; i < 20; ++i)
                QTest::keyClick(w.get(), Qt::Key_Minus, Qt::ControlModifier);
            QCOMPARE(w->Zoom(), stylezoom::kMinimum);
            QTest::keyClick(w.get(), Qt::Key_0, Qt::ControlModifier);
            QCOMPARE(w->Zoom(), 100);
            w->SetZoom(150);
            w->close();
        }
        auto w = f.start();
        QCOMPARE(w->Zoom(), 150);
        selectNode(w->TreeView1, kLongProduct);
        QTextDocument *doc = w->m_productView->Viewer()->document();
        doc->pageCount();
        QVERIFY(doc->size().height() > plainHeight * 1.3);
    }

    void layoutIsKeptAcrossARestartAndFirstStartIsAsBuilt()
    {
        DemoFixture f;
        {
            auto w = f.start();
            // Wide enough for every toolbar button, unless the screen is narrower.
            const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
            QCOMPARE(w->size(), QSize(qMin(qMax(792, w->ToolBar1->sizeHint().width()), available.width()), 573));
            const QPoint centre = available.center();
            QVERIFY2((w->geometry().center() - centre).manhattanLength() <= 4,
                     qPrintable(QStringLiteral("%1,%2 vs %3,%4").arg(w->geometry().center().x()).arg(w->geometry().center().y()).arg(centre.x()).arg(centre.y())));
            QCOMPARE(w->Splitter1->sizes().first(), 223);
            w->ChangePage(w->tbGroups);
            QCOMPARE(w->Splitter2->sizes().first(), 223);

            // Cut names carry the whole name as a tooltip, whole ones none.
            QTreeWidgetItem *longNode = TKalmedaRamuxMainForm::FindNodeByData(w->TreeView1->topLevelItem(0), kLongProduct);
            QTreeWidgetItem *shortNode = TKalmedaRamuxMainForm::FindNodeByData(w->TreeView1->topLevelItem(0), kShortProduct);
            w->TreeView1->scrollToItem(longNode);
            QVERIFY(TKalmedaRamuxMainForm::IsNameCut(w->TreeView1, longNode));
            QVERIFY(!TKalmedaRamuxMainForm::IsNameCut(w->TreeView1, shortNode));
            const QPoint at = w->TreeView1->visualItemRect(longNode).center();
            QHelpEvent help(QEvent::ToolTip, at, w->TreeView1->viewport()->mapToGlobal(at));
            QCoreApplication::sendEvent(w->TreeView1->viewport(), &help);
            QTRY_COMPARE(QToolTip::text(), longNode->text(0));
            QToolTip::hideText();

            w->resize(900, 650);
            w->move(40, 50);
            w->Splitter2->setSizes({260, 640});
            w->ChangePage(w->tbDrugs);
            w->Splitter1->setSizes({300, 600});
            // The manufacturer page was never shown: its splitter keeps what it had.
            w->close();
        }
        {
            auto w = f.start();
            QCOMPARE(w->size(), QSize(900, 650));
            QCOMPARE(w->pos(), QPoint(40, 50));
            QCOMPARE(w->Splitter1->sizes().first(), 300);
            w->ChangePage(w->tbGroups);
            QCOMPARE(w->Splitter2->sizes().first(), 260);
            w->ChangePage(w->tbVendors);
            QCOMPARE(w->Splitter3->sizes().first(), 223);
            w->showMaximized();
            QTRY_VERIFY(w->isMaximized());
            w->close();
        }
        auto w = f.start();
        QTRY_VERIFY(w->isMaximized());
    }

    void productPageSavedAsPdfAsItPrints()
    {
        DemoFixture f;
        auto w = f.start();
        selectNode(w->TreeView1, kLongProduct);
        w->SetZoom(200); // the file is written at 100 % all the same
        const QString file = f.dir.filePath(QStringLiteral("saved"));
        QString proposed;
        setPdfFileDialogFunction([&](QWidget *, const QString &suggested) {
            proposed = suggested;
            return file; // the suffix is added
        });
        w->PdfButton->click();
        const QString name = w->Tables.items.locate(kLongProduct)->name.value();
        QCOMPARE(QFileInfo(proposed).fileName(), pdfFileName(name));
        QCOMPARE(QFileInfo(proposed).fileName(), QStringLiteral("Амоксиклав-Вет суспензия для инъекций.pdf"));
        const QString pdf = file + QStringLiteral(".pdf");
        QVERIFY(QFileInfo::exists(pdf));
        QCOMPARE(w->StatusBar->currentMessage(), QStringLiteral("Страница сохранена: ") + pdf);
        QVERIFY(w->StatusBar->isVisible());

        QCOMPARE(pdfPageCount(pdf), 3);
        QVERIFY(popplerOutput(QStringLiteral("pdfinfo"), {pdf}).contains(QStringLiteral("(A4)")));
        const QString text = popplerOutput(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
        QVERIFY(text.contains(name));
        QVERIFY(text.contains(QStringLiteral("Показания:")));
        QVERIFY(popplerOutput(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf}).contains(QStringLiteral("image")));
        QCOMPARE(w->m_productView->PageCount(), 3);

        // The command line writes the same page without a window.
        const QString cli = f.dir.filePath(QStringLiteral("cli.pdf"));
        QProcess ctl;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QT_QPA_PLATFORM")); // it chooses offscreen by itself
        ctl.setProcessEnvironment(env);
        ctl.start(qEnvironmentVariable("RAMUX_BIN_DIR") + QStringLiteral("/ramuxctl"),
                  {QStringLiteral("page"), QStringLiteral("ITEM:%1").arg(kLongProduct), QStringLiteral("--db"), f.path,
                   QStringLiteral("--pdf"), cli});
        QVERIFY(ctl.waitForFinished(60000));
        QCOMPARE(ctl.exitCode(), 0);
        QCOMPARE(pdfPageCount(cli), 3);
        QCOMPARE(popplerOutput(QStringLiteral("pdftotext"), {cli, QStringLiteral("-")}), text);

        // A folder that cannot be written is reported, and nothing is claimed.
        setPdfFileDialogFunction([&](QWidget *, const QString &) { return f.dir.filePath(QStringLiteral("no/such/x.pdf")); });
        w->StatusBar->clearMessage();
        w->PdfButton->click();
        QCOMPARE(f.errors.size(), 1);
        QVERIFY(w->StatusBar->currentMessage().isEmpty());
    }
};

QTEST_MAIN(TestReading)
#include "tst_reading.moc"
