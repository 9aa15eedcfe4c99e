// Reading benchmarks in the main window on a copy of the demo reference (or --db PATH):
//   - back and forward between two product pages until the view has painted (each step
//     composes and lays the page out again),
//   - back and forward between a product and a group page (the pages stay in their views),
//   - one zoom step on the longest product page until the view has painted (and with the
//     whole page laid out).
// Prints median, 90th percentile and maximum in milliseconds. Run offscreen:
//   QT_QPA_PLATFORM=offscreen build/bench/bench_reading [--db PATH] [--runs N]
#include "app/mainform.h"
#include "app/messageboxes.h"
#include "pages/productpage.h"
#include "pages/ui/htmlrenderer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

struct Stats
{
    double median, p90, max;
};

Stats measure(int runs, const std::function<void()> &body)
{
    body(); // warm-up
    std::vector<double> ms;
    ms.reserve(size_t(runs));
    QElapsedTimer timer;
    for (int i = 0; i < runs; ++i) {
        timer.start();
        body();
        ms.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return Stats{ms[ms.size() / 2], ms[std::min(ms.size() - 1, ms.size() * 9 / 10)], ms.back()};
}

void report(const char *name, const Stats &s, double target)
{
    std::printf("%-48s median %7.3f ms  p90 %7.3f ms  max %7.3f ms", name, s.median, s.p90, s.max);
    if (target > 0)
        std::printf("  (target %.0f ms: %s)", target, s.median <= target ? "met" : "MISSED");
    std::printf("\n");
}

void select(QTreeWidget *tree, qint64 id)
{
    if (QTreeWidgetItem *node = TKalmedaRamuxMainForm::FindNodeByData(tree->topLevelItem(0), id))
        tree->setCurrentItem(node);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.filePath(QStringLiteral("config")));
    QStringList args = app.arguments().mid(1);
    int runs = 50;
    QString source = QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/ramux.rxd");
    for (int i = 0; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--db"))
            source = args[i + 1];
        else if (args[i] == QLatin1String("--runs"))
            runs = std::max(5, args[i + 1].toInt());
    }
    const QString path = dir.filePath(QStringLiteral("bench.rxd"));
    if (!QFile::copy(source, path))
        return std::fprintf(stderr, "bench_reading: cannot copy %s\n", qPrintable(source)), 2;
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);

    setErrorBoxHandler([](const QString &text) { std::fprintf(stderr, "error box: %s\n", qPrintable(text)); });
    TKalmedaRamuxMainForm w({}, path);
    w.show();
    QApplication::processEvents();
    const PageSources sources{w.DBConn, w.Tables, w.RussianNames, w.LatinNames};

    // The longest product page of the reference.
    qint64 longest = 0, second = 0;
    qsizetype longestSize = -1, secondSize = -1;
    for (const ItemRow &row : w.Tables.items.rows) {
        if (!row.id)
            continue;
        const qsizetype size = composeProductPage(sources, *row.id).body.size();
        if (size > longestSize) {
            second = longest;
            secondSize = longestSize;
            longest = *row.id;
            longestSize = size;
        } else if (size > secondSize) {
            second = *row.id;
            secondSize = size;
        }
    }
    std::printf("longest product page: id %lld, %lld characters of HTML; next: id %lld, %lld\n", longest,
                qint64(longestSize), second, qint64(secondSize));
    THTMLViewer *productViewer = w.m_productView->Viewer();

    select(w.TreeView1, second);
    select(w.TreeView1, longest);
    bool back = true;
    const auto step = [&] {
        back ? w.GoBack() : w.GoForward();
        back = !back;
        productViewer->viewport()->repaint();
    };
    report("back/forward, two product pages, painted", measure(runs, step), 30);

    // A group page of the longest product's path, then the product again.
    const QString html = w.m_productView->Html();
    const qsizetype at = html.lastIndexOf(QLatin1String("SECT:"));
    if (at >= 0) {
        const qint64 group = html.mid(at + 5, 12).section(QLatin1Char('"'), 0, 0).toLongLong();
        w.PageLinkClick(w.m_productView, QStringLiteral("SECT:%1").arg(group));
        select(w.TreeView1, longest);
        w.ChangePage(w.tbDrugs);
        back = true;
        report("back/forward, product and group page, painted", measure(runs, [&] {
                   back ? w.GoBack() : w.GoForward();
                   back = !back;
                   QWidget *page = w.PageControl1->currentWidget();
                   (page == w.tsDrugs ? productViewer : w.m_groupView->Viewer())->viewport()->repaint();
               }),
               30);
    }

    select(w.TreeView1, longest);
    w.ChangePage(w.tbDrugs);
    bool up = true;
    report("zoom step on the longest page, painted", measure(runs, [&] {
               w.SetZoom(up ? 110 : 100);
               up = !up;
               productViewer->viewport()->repaint();
           }),
           50);
    report("  same, plus layout of the whole page", measure(runs, [&] {
               w.SetZoom(up ? 110 : 100);
               up = !up;
               productViewer->viewport()->repaint();
               productViewer->document()->pageCount();
           }),
           50);
    report("  same, 200 % and back", measure(runs, [&] {
               w.SetZoom(up ? 200 : 100);
               up = !up;
               productViewer->viewport()->repaint();
           }),
           0);
    setErrorBoxHandler({});
    return 0;
}
