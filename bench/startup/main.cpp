// bench_startup [DB]: wall time from process start to the main window shown with its three lists
// loaded, against a process that only opens the database and reads the columns the lists need.
// Without DB, `ramuxctl synth` writes the large synthetic reference to a temporary folder first.
#include "app/look.h"
#include "app/mainform.h"
#include "db/schema.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

namespace {

long peakRssKb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

int childWindow(int argc, char **argv, const QString &db)
{
    QApplication app(argc, argv);
    applyRamuxLook(app);
    TKalmedaRamuxMainForm window({}, db);
    window.show();
    while (!(window.windowHandle() && window.windowHandle()->isExposed()))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    std::printf("%d %d %ld\n", window.TreeView1->topLevelItemCount(), window.TreeView2->topLevelItemCount(),
                peakRssKb());
    std::fflush(stdout);
    return 0;
}

int childRead(int argc, char **argv, const QString &path)
{
    QCoreApplication app(argc, argv);
    Database db;
    db.open(path, schema::databasePassword());
    qint64 rows = 0;
    for (const char *sql : {"SELECT id, name, name_lat FROM items",
                            "SELECT id, parent_id, name FROM sections", "SELECT id, name FROM vendors"}) {
        Statement st = db.prepare(QString::fromLatin1(sql));
        while (st.step()) {
            for (int c = 0; c < st.columnCount(); ++c)
                (void)st.text(c);
            ++rows;
        }
    }
    std::printf("%lld 0 %ld\n", rows, peakRssKb());
    std::fflush(stdout);
    return 0;
}

struct Run
{
    double ms;
    QString output;
};

Run timeChild(const QString &mode, const QString &db)
{
    QProcess p;
    QElapsedTimer t;
    t.start();
    p.start(QCoreApplication::applicationFilePath(), {mode, db});
    p.waitForFinished(60000);
    return Run{t.nsecsElapsed() / 1e6, QString::fromUtf8(p.readAllStandardOutput()).trimmed()};
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && qstrcmp(argv[1], "--window") == 0)
        return childWindow(argc, argv, QString::fromLocal8Bit(argv[2]));
    if (argc == 3 && qstrcmp(argv[1], "--read") == 0)
        return childRead(argc, argv, QString::fromLocal8Bit(argv[2]));

    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    QString db = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (db.isEmpty()) {
        // Written by ramuxctl in its own process, as the reference is shipped: a database the
        // generating process still has open in WAL mode reads differently (larger, slower).
        db = dir.filePath(QStringLiteral("synth.rxd"));
        const QString tool = QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/ramuxctl");
        if (QProcess::execute(tool, {QStringLiteral("synth"), db}) != 0) {
            std::fprintf(stderr, "cannot run %s synth\n", qPrintable(tool));
            return 1;
        }
    }
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
    timeChild(QStringLiteral("--read"), db); // warm the page cache for both
    QVector<double> window, read;
    Run last;
    for (int i = 0; i < 5; ++i) {
        read << timeChild(QStringLiteral("--read"), db).ms;
        last = timeChild(QStringLiteral("--window"), db);
        window << last.ms;
    }
    std::sort(window.begin(), window.end());
    std::sort(read.begin(), read.end());
    const QStringList fields = last.output.split(QLatin1Char(' '));
    std::printf("start-up to window shown with lists: median %.0f ms (min %.0f)\n", window[2], window[0]);
    std::printf("open + read list columns only:       median %.0f ms (min %.0f)\n", read[2], read[0]);
    std::printf("ratio: %.2f\n", window[2] / read[2]);
    std::printf("peak resident memory after start-up: %.1f MB\n", fields.value(2).toDouble() / 1024.0);
    return 0;
}
