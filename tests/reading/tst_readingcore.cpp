// The pieces of reading without a window: the scaled style sheet, zoom steps, PDF file names
// and the history's skipping of pages that are gone.
#include "pages/pagehistory.h"
#include "pages/pdfname.h"
#include "pages/stylezoom.h"

#include <QtTest>

class TestReadingCore : public QObject
{
    Q_OBJECT

private slots:
    void styleSheetScalesAbsoluteLengthsOnly()
    {
        const QByteArray css = "/* 10pt in a comment */ body { font-size: 10pt; line-height: 14pt; }\n"
                               "th { background-color: #e0e0e0; padding: 0.5em; border: 1px solid black; }\n"
                               "h1 { font-family: \"Font 12pt\"; margin: 0 0 13px 27PX; width: 80%; }";
        QCOMPARE(stylezoom::scaleStyleSheet(css, 100), css);
        QCOMPARE(stylezoom::scaleStyleSheet(css, 150),
                 QByteArray("/* 10pt in a comment */ body { font-size: 15pt; line-height: 21pt; }\n"
                            "th { background-color: #e0e0e0; padding: 0.5em; border: 2px solid black; }\n"
                            "h1 { font-family: \"Font 12pt\"; margin: 0 0 20px 41PX; width: 80%; }"));
        // Thin lines stay visible, fractions of a point stay exact enough.
        QCOMPARE(stylezoom::scaleStyleSheet("a { border: 1px; font-size: 10pt }", 50),
                 QByteArray("a { border: 1px; font-size: 5pt }"));
        QCOMPARE(stylezoom::scaleStyleSheet("a { font-size: 10pt }", 67), QByteArray("a { font-size: 6.7pt }"));
        // Unterminated comments and strings end the sheet without harm.
        QCOMPARE(stylezoom::scaleStyleSheet("a { x: \"10pt", 200), QByteArray("a { x: \"10pt"));
        QCOMPARE(stylezoom::scaleStyleSheet("/* 10pt", 200), QByteArray("/* 10pt"));
    }

    void zoomStepsStayInRange()
    {
        QCOMPARE(stylezoom::stepped(100, 1), 110);
        QCOMPARE(stylezoom::stepped(100, -1), 90);
        QCOMPARE(stylezoom::stepped(105, 1), 110); // off the steps: the next one
        QCOMPARE(stylezoom::stepped(300, 1), 300);
        QCOMPARE(stylezoom::stepped(50, -3), 50);
        QCOMPARE(stylezoom::stepped(100, 20), 300);
        QCOMPARE(stylezoom::clamped(0), 100); // unreadable setting
        QCOMPARE(stylezoom::clamped(1000), 300);
        QCOMPARE(stylezoom::clamped(10), 50);
    }

    void pdfNamesHoldNoForbiddenCharacters()
    {
        QCOMPARE(pdfFileName(QStringLiteral("Амоксиклав 15%")), QStringLiteral("Амоксиклав 15%.pdf"));
        QCOMPARE(pdfFileName(QStringLiteral("A/B\\C:D*E?F\"G<H>I|J\tK")), QStringLiteral("A_B_C_D_E_F_G_H_I_J_K.pdf"));
        QCOMPARE(pdfFileName(QStringLiteral(" ..Ветрин.. ")), QStringLiteral("Ветрин.pdf"));
        QCOMPARE(pdfFileName(QStringLiteral("..")), QStringLiteral("page.pdf"));
        QCOMPARE(pdfFileName(QString()), QStringLiteral("page.pdf"));
    }

    void historySkipsAndPrunesPagesThatAreGone()
    {
        PageHistory history;
        const auto visit = [&](qint64 id) {
            HistoryEntry e;
            e.id = id;
            return history.visit(e);
        };
        for (qint64 id : {1, 2, 3, 4, 5})
            visit(id);
        QCOMPARE(visit(5), history.current()->serial); // the same page again adds nothing
        QCOMPARE(history.size(), 5);
        const auto without = [](QList<qint64> gone) {
            return [gone](const HistoryEntry &e) { return !gone.contains(e.id); };
        };
        QCOMPARE(history.back(without({4, 3}))->id, 2);
        QCOMPARE(history.size(), 3);
        QCOMPARE(history.forward(without({}))->id, 5);
        QVERIFY(!history.forward(without({})));
        QCOMPARE(history.back(without({})) ->id, 2);
        QVERIFY(!history.forward(without({5})));
        QCOMPARE(history.current()->id, 2);
        QVERIFY(!history.canGoForward());

        history.setScroll(history.current()->serial, 77);
        QCOMPARE(history.current()->scroll, 77);
        visit(6);
        visit(7);
        history.prune(without({7, 6}));
        QCOMPARE(history.current()->id, 2); // the newest survivor
        history.prune(without({1, 2}));
        QVERIFY(!history.current() && !history.canGoBack() && !history.canGoForward());
    }

    void historyKeepsExactlyTheLatestHundred()
    {
        for (const int visits : {99, 100, 101, 102}) {
            PageHistory history;
            for (qint64 id = 1; id <= visits; ++id) {
                HistoryEntry e;
                e.id = id;
                history.visit(e);
            }
            const int kept = qMin(visits, 100);
            QCOMPARE(history.size(), kept);
            QCOMPARE(history.currentIndex(), kept - 1);
            QCOMPARE(history.entries().first().id, qint64(visits - kept + 1)); // the oldest went first
            QCOMPARE(history.current()->id, qint64(visits));
            // Back all the way: exactly the kept pages, newest to oldest.
            int steps = 0;
            while (history.back({}))
                ++steps;
            QCOMPARE(steps, kept - 1);
            QCOMPARE(history.current()->id, qint64(visits - kept + 1));
        }
    }
};

QTEST_MAIN(TestReadingCore)
#include "tst_readingcore.moc"
