// bench_publish: an editor's publish into the large content. Exports the content to sources,
// rewrites the dose of N products and times the dry run and the publish (medians of 3).
//
//   bench_publish [--content PATH] [--changed 500]
// Without --content it writes the large synthetic content first. The file given is copied, not changed.
#include "content/contentdb.h"
#include "content/contentindex.h"
#include "content/publish.h"
#include "content/sourcewrite.h"
#include "content/synth.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {

// This process's CPU time: on a shared machine the wall time also counts other programs' turns.
double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Rewrites the dose section of every step-th product; returns how many files changed. The text
// the structured rows quote stays: an edition note ahead of it changes from round to round.
int rewriteDoses(const QString &sources, int count, int step, int round)
{
    static const QRegularExpression dose(
        QStringLiteral("(== dose\\n)(?:<p>Доза, редакция [0-9]+: [0-9]+ мл на 10 кг.</p>)?"));
    int changed = 0;
    for (int id = step; changed < count; id += step) {
        QFile file(sources + QStringLiteral("/items/%1.txt").arg(id));
        if (!file.open(QIODevice::ReadWrite))
            break;
        QString text = QString::fromUtf8(file.readAll());
        text.replace(dose, QStringLiteral("\\1<p>Доза, редакция %1: %2 мл на 10 кг.</p>").arg(round).arg(id));
        file.resize(0);
        file.write(text.toUtf8());
        ++changed;
    }
    return changed;
}

int itemsChanged(const PublishReport &report)
{
    for (const TableChanges &t : report.tables) {
        if (t.table == QLatin1String("items"))
            return t.changed;
    }
    return -1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QString given;
    int count = 500;
    for (int i = 0; i + 1 < args.size(); i += 2) {
        if (args.at(i) == QLatin1String("--content"))
            given = args.at(i + 1);
        else if (args.at(i) == QLatin1String("--changed"))
            count = std::clamp(args.at(i + 1).toInt(), 1, 10000);
    }
    QTemporaryDir dir;
    const QString content = dir.filePath(QStringLiteral("content.sqlite"));
    if (given.isEmpty())
        ContentDatabase::create(content, generateSynthetic());
    else if (!QFile::copy(given, content)) {
        std::fprintf(stderr, "bench_publish: cannot copy %s\n", qPrintable(given));
        return 1;
    }
    {
        // Publishing keeps the reader's text index current: the file gets one first, and its
        // first build is reported apart from the publishes.
        QElapsedTimer timer;
        timer.start();
        const int indexed = contentindex::buildIndex(content);
        if (indexed > 0)
            std::printf("bench_publish: first build of the text index: %d products in %.1f s\n", indexed,
                        double(timer.elapsed()) / 1000);
    }
    const QString sources = dir.filePath(QStringLiteral("sources"));
    {
        ContentDatabase db(content);
        const SourceFiles files = renderSources(db.readAll());
        if (!files.errors.isEmpty()) {
            std::fprintf(stderr, "bench_publish: export failed: %s\n", qPrintable(files.errors.first()));
            return 1;
        }
        writeSourceFiles(files, sources);
    }
    const int products = ContentDatabase(content).readAll().findTable(QStringLiteral("items"))->rows.size();
    const int step = std::max(1, products / count);

    std::vector<double> dry, real, dryCpu, realCpu;
    for (int round = 1; round <= 3; ++round) {
        if (rewriteDoses(sources, count, step, round) != count) {
            std::fprintf(stderr, "bench_publish: not enough products\n");
            return 1;
        }
        PublishOptions preview;
        preview.dryRun = true;
        QElapsedTimer timer;
        timer.start();
        double cpu = cpuMs();
        const PublishReport a = publishSources(sources, content, preview);
        dry.push_back(double(timer.nsecsElapsed()) / 1e6);
        dryCpu.push_back(cpuMs() - cpu);
        timer.restart();
        cpu = cpuMs();
        const PublishReport b = publishSources(sources, content, {});
        real.push_back(double(timer.nsecsElapsed()) / 1e6);
        realCpu.push_back(cpuMs() - cpu);
        if (itemsChanged(a) != count || itemsChanged(b) != count || !b.applied) {
            std::fprintf(stderr, "bench_publish: expected %d changed products, got %d / %d\n", count,
                         itemsChanged(a), itemsChanged(b));
            return 1;
        }
    }
    std::printf(
        "bench_publish: %d products, %d changed: dry run median %.0f ms, publish median %.0f ms (3 runs); "
        "CPU dry run %.0f ms, publish %.0f ms\n",
        products, count, median(dry), median(real), median(dryCpu), median(realCpu));
    return 0;
}
