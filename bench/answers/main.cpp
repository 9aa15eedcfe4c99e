// The product panel on the large synthetic reference (or --db PATH, which is copied, never
// changed):
//   - a calculation: the weight typed into the panel until the result has painted,
//   - an ITEM: click to the painted product page with the panel filled, and the same clicks
//     with the panel taken out of the window (the difference is the panel's cost),
//   - `ramuxctl dose` against `ramuxctl page` of the same product, as whole processes.
// Prints median, 90th percentile and maximum in milliseconds. Run offscreen:
//   QT_QPA_PLATFORM=offscreen build/bench/bench_answers [--db PATH] [--runs N]
#include "answers/answerstore.h"
#include "app/answerspanel.h"
#include "app/mainform.h"
#include "app/messageboxes.h"
#include "app/readout.h"
#include "content/content.h"
#include "content/synth.h"
#include "db/schema.h"
#include "db/sqlitedb.h"
#include "pages/ui/htmlrenderer.h"

#include "../benchkit.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

using benchkit::measure;
using benchkit::report;
using benchkit::Stats;

// Two products with dose rows (the synthetic ones are per animal), and the first one's species.
struct Chosen
{
    qint64 first = 0, second = 0;
    QString species;
};

Chosen chooseProducts(const QString &path)
{
    Database db;
    db.open(path, schema::databasePassword());
    Chosen chosen;
    Statement st = db.prepare(QStringLiteral(
        "SELECT DISTINCT d.item_id, s.code FROM item_doses d JOIN species s ON s.id = d.species_id "
        "JOIN items i ON i.id = d.item_id ORDER BY d.item_id LIMIT 200"));
    while (st.step()) {
        const qint64 id = st.int64(0);
        if (loadProductAnswers(db, id).doses.isEmpty())
            continue;
        if (chosen.first == 0) {
            chosen.first = id;
            chosen.species = st.text(1);
        } else if (id != chosen.first) {
            chosen.second = id;
            break;
        }
    }
    return chosen;
}

// One whole process, its output thrown away; milliseconds of wall time or -1.
double processMs(const QString &program, const QStringList &args)
{
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    process.start(program, args);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return -1;
    return double(timer.nsecsElapsed()) / 1e6;
}

Stats processStats(int runs, const QString &program, const QStringList &args)
{
    std::vector<double> ms;
    processMs(program, args); // warm-up
    for (int i = 0; i < runs; ++i)
        ms.push_back(processMs(program, args));
    return benchkit::statsOf(std::move(ms));
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    QTemporaryDir dir;
    const auto ref = benchkit::reference(app.arguments().mid(1), dir, "bench_answers");
    if (!ref)
        return 2;
    const int runs = ref->runs;
    const QString &path = ref->path;
    const Chosen chosen = chooseProducts(path);
    if (chosen.first == 0 || chosen.second == 0)
        return std::fprintf(stderr, "bench_answers: no two products with dose rows\n"), 2;
    std::printf("products ITEM:%lld and ITEM:%lld, species %s\n", chosen.first, chosen.second,
                qPrintable(chosen.species));

    setErrorBoxHandler(
        [](const QString &text) { std::fprintf(stderr, "error box: %s\n", qPrintable(text)); });
    TKalmedaRamuxMainForm window({}, path);
    window.resize(1024, 720);
    window.show();
    QApplication::processEvents();
    THTMLViewer *viewer = window.m_productView->Viewer();
    const auto painted = [&] {
        QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        viewer->viewport()->repaint();
        if (window.m_answers && window.m_answers->isVisible())
            window.m_answers->repaint();
    };

    // The calculation: a weight typed, the result laid out and painted.
    window.PageLinkClick(window.m_groupView, QStringLiteral("ITEM:%1").arg(chosen.first));
    QLineEdit *weight = window.m_answers->weightEdit();
    bool flip = false;
    report("calculation, weight typed to painted result", measure(runs, [&] {
               flip = !flip;
               weight->setText(flip ? QStringLiteral("12,5") : QStringLiteral("20"));
               QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
               window.m_answers->repaint();
           }));
    std::printf("result shown: %s\n", qPrintable(window.m_answers->resultView()
                                                     ->accessibleDescription()
                                                     .section(QLatin1Char('\n'), 0, 3)
                                                     .replace(QLatin1Char('\n'), QStringLiteral(" | "))));

    // The click with the panel filled and without it, in turns, so that a busy machine weighs on
    // both alike. Without: the panel hidden and never filled, as before the panel existed.
    AnswersPanel *panel = window.m_answers;
    std::vector<double> withMs, withoutMs;
    QElapsedTimer timer;
    const auto open = [&](qint64 id) {
        window.PageLinkClick(window.m_groupView, QStringLiteral("ITEM:%1").arg(id));
        painted();
    };
    for (int k = -1; k < runs; ++k) { // one warm-up round
        const qint64 target = k % 2 == 0 ? chosen.first : chosen.second;
        const qint64 other = target == chosen.first ? chosen.second : chosen.first;
        for (const bool filled : {k % 2 == 0, k % 2 != 0}) {
            window.m_answers = filled ? panel : nullptr;
            panel->setVisible(filled);
            open(other); // from another page, as a click always is
            timer.start();
            open(target);
            if (k >= 0)
                (filled ? withMs : withoutMs).push_back(double(timer.nsecsElapsed()) / 1e6);
        }
    }
    window.m_answers = panel;
    const Stats with = benchkit::statsOf(withMs), without = benchkit::statsOf(withoutMs);
    report("ITEM: click to painted, panel filled", with);
    report("ITEM: click to painted, no panel", without);
    std::printf("panel adds to the click: median %.3f ms\n", with.median - without.median);

    // The command line: the dose against the page of the same product.
    const QString tool = QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/ramuxctl");
    const QString link = QStringLiteral("ITEM:%1").arg(chosen.first);
    const int processRuns = std::max(5, runs / 5);
    const Stats page =
        processStats(processRuns, tool, {QStringLiteral("page"), link, QStringLiteral("--db"), path});
    const Stats dose =
        processStats(processRuns, tool,
                     {QStringLiteral("dose"), link, QStringLiteral("--species"), chosen.species,
                      QStringLiteral("--weight"), QStringLiteral("12.5"), QStringLiteral("--db"), path});
    report("ramuxctl page, whole process", page);
    report("ramuxctl dose, whole process", dose);
    std::printf("dose vs page process time: %.2f x\n", dose.median / page.median);
    setErrorBoxHandler({});
    return 0;
}
