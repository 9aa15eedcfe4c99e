// What the window benchmarks share: timing a body many times, the figures they print, and the
// reference they run on (the large synthetic one, or a copy of --db PATH, never the file itself).
#pragma once

#include "content/content.h"
#include "content/synth.h"

#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <vector>

namespace benchkit {

struct Stats
{
    double median, p90, max;
};

inline Stats statsOf(std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    return Stats{ms[ms.size() / 2], ms[std::min(ms.size() - 1, ms.size() * 9 / 10)], ms.back()};
}

// `before` runs untimed ahead of each timed `body`; one untimed round warms up first.
inline Stats measure(int runs, const std::function<void()> &before, const std::function<void()> &body)
{
    before();
    body();
    std::vector<double> ms;
    ms.reserve(size_t(runs));
    QElapsedTimer timer;
    for (int i = 0; i < runs; ++i) {
        before();
        timer.start();
        body();
        ms.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    return statsOf(std::move(ms));
}

inline Stats measure(int runs, const std::function<void()> &body)
{
    return measure(runs, [] {}, body);
}

inline void report(const char *name, const Stats &s)
{
    std::printf("%-52s median %8.3f ms  p90 %8.3f ms  max %8.3f ms\n", name, s.median, s.p90, s.max);
}

struct Reference
{
    int runs = 50;
    QString path; // inside the caller's temporary folder
};

// Reads --db PATH and --runs N (at least 5); none when the copy fails (said on stderr).
inline std::optional<Reference> reference(const QStringList &args, const QTemporaryDir &dir, const char *bench)
{
    Reference ref;
    QString source;
    for (int i = 0; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--db"))
            source = args[i + 1];
        else if (args[i] == QLatin1String("--runs"))
            ref.runs = std::max(5, args[i + 1].toInt());
    }
    ref.path = dir.filePath(QStringLiteral("bench.rxd"));
    if (source.isEmpty()) {
        writeClientDatabase(generateSynthetic(), ref.path);
    } else if (!QFile::copy(source, ref.path)) {
        std::fprintf(stderr, "%s: cannot copy %s\n", bench, qPrintable(source));
        return std::nullopt;
    }
    QFile::setPermissions(ref.path, QFile::ReadOwner | QFile::WriteOwner);
    return ref;
}

} // namespace benchkit
