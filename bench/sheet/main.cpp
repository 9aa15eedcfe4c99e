// The treatment sheet window on the large synthetic reference (or --db PATH, copied, never
// changed), ten products of one species:
//   - a line added until the window has painted (the sheet emptied to nine lines between runs),
//   - the weight changed on a sheet of ten lines until the window has painted,
//   - the printout of ten lines written to a PDF file.
// Prints median, 90th percentile and maximum in milliseconds. Run offscreen:
//   QT_QPA_PLATFORM=offscreen build/bench/bench_sheet [--db PATH] [--runs N]
#include "answers/answerstore.h"
#include "app/messageboxes.h"
#include "app/sheetwindow.h"
#include "content/content.h"
#include "content/synth.h"
#include "db/schema.h"
#include "db/sqlitedb.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

struct Stats
{
    double median, p90, max;
};

Stats measure(int runs, const std::function<void()> &before, const std::function<void()> &body)
{
    before();
    body(); // warm-up
    std::vector<double> ms;
    QElapsedTimer timer;
    for (int i = 0; i < runs; ++i) {
        before();
        timer.start();
        body();
        ms.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return Stats{ms[ms.size() / 2], ms[std::min(ms.size() - 1, ms.size() * 9 / 10)], ms.back()};
}

void report(const char *name, const Stats &s)
{
    std::printf("%-52s median %8.3f ms  p90 %8.3f ms  max %8.3f ms\n", name, s.median, s.p90, s.max);
}

// Ten products with dose rows for the first species that has as many.
QList<qint64> chooseProducts(Database &db, qint64 &speciesId)
{
    Statement species = db.prepare(QStringLiteral("SELECT DISTINCT species_id FROM item_doses ORDER BY species_id"));
    while (species.step()) {
        speciesId = species.int64(0);
        QList<qint64> items;
        Statement st = db.prepare(QStringLiteral(
            "SELECT DISTINCT d.item_id FROM item_doses d JOIN items i ON i.id = d.item_id "
            "WHERE d.species_id = ?1 ORDER BY d.item_id LIMIT 200"));
        st.bind(1, speciesId);
        while (st.step() && items.size() < 10) {
            if (!loadProductAnswers(db, st.int64(0)).dosesFor(speciesId).isEmpty())
                items << st.int64(0);
        }
        if (items.size() == 10)
            return items;
    }
    return {};
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    const QStringList args = app.arguments().mid(1);
    int runs = 50;
    QString source;
    for (int i = 0; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--db"))
            source = args[i + 1];
        else if (args[i] == QLatin1String("--runs"))
            runs = std::max(5, args[i + 1].toInt());
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.rxd"));
    if (source.isEmpty())
        writeClientDatabase(generateSynthetic(), path);
    else if (!QFile::copy(source, path))
        return std::fprintf(stderr, "bench_sheet: cannot copy %s\n", qPrintable(source)), 2;
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    setErrorBoxHandler([](const QString &text) { std::fprintf(stderr, "error box: %s\n", qPrintable(text)); });

    Database db;
    db.open(path, schema::databasePassword());
    qint64 speciesId = 0;
    const QList<qint64> items = chooseProducts(db, speciesId);
    if (items.isEmpty())
        return std::fprintf(stderr, "bench_sheet: no ten products of one species with dose rows\n"), 2;

    SheetWindow window(db, nullptr);
    window.showSheet();
    window.speciesBox()->setCurrentIndex(window.speciesBox()->findData(speciesId));
    window.weightEdit()->setText(QStringLiteral("12"));
    for (int i = 0; i < 9; ++i)
        window.addLine(items.at(i), SheetChoice{});
    app.processEvents();
    window.repaint();

    report("line added to painted (tenth line)",
           measure(runs, [&] { while (window.composition().lines.size() > 9) window.removeLine(9); },
                   [&] {
                       window.addLine(items.at(9), SheetChoice{});
                       window.repaint();
                   }));
    int flip = 0;
    report("weight changed, ten lines recomputed, painted",
           measure(runs, [] {}, [&] {
               window.weightEdit()->setText((++flip % 2) ? QStringLiteral("14,5") : QStringLiteral("12"));
               window.repaint();
           }));
    const QString pdf = dir.filePath(QStringLiteral("sheet.pdf"));
    report("PDF of ten lines", measure(std::max(5, runs / 5), [] {}, [&] { window.writePdf(pdf); }));
    std::printf("computed lines: %d of %d\n",
                int(std::count_if(window.composition().lines.cbegin(), window.composition().lines.cend(),
                                  [](const SheetLine &l) { return l.computed(); })),
                int(window.composition().lines.size()));
    return 0;
}
