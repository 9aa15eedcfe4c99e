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

#include "../benchkit.h"

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

using benchkit::measure;
using benchkit::report;
using benchkit::Stats;

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
    QTemporaryDir dir;
    const auto ref = benchkit::reference(app.arguments().mid(1), dir, "bench_sheet");
    if (!ref)
        return 2;
    const int runs = ref->runs;
    const QString &path = ref->path;
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
