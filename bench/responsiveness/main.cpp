// Measures how long the main thread's event loop goes without running while ServerRequest is
// under way on it, against a loopback server that thinks, trickles or sends a large answer.
// Prints one line per scenario: wall time, longest gap between 5 ms timer ticks, tick count.
#include "update/serverrequest.h"

#include "fakeserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

#include <cstdio>

namespace {

// A greeting page is packed content: Base64 text in a few elements.
QByteArray packedEnvelope(qsizetype payloadBytes)
{
    return "<?xml version=\"1.0\"?><ANSWER version=\"1\"><RESULT status=\"OK\"/><DATA><SPLASH>&lt;HTML&gt;"
        + QByteArray(payloadBytes, 'Q') + "&lt;/HTML&gt;</SPLASH></DATA></ANSWER>";
}

// A table page: many small elements, the element-dense worst case.
QByteArray envelope(qsizetype payloadBytes)
{
    QByteArray body = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><ANSWER version=\"1\"><RESULT status=\"OK\"/><DATA>";
    const QByteArray row = "<ROW id=\"1\"><name>Ампициллин тригидрат</name><text>QUJDREVGR0hJSktMTU5PUA==</text></ROW>";
    while (body.size() < payloadBytes)
        body += row;
    return body + "</DATA></ANSWER>";
}

struct Scenario
{
    const char *name;
    int thinkMs;       // before the first byte
    int trickleMs;     // between pieces of the answer (0: all at once)
    qsizetype payload; // answer size
    bool packed;       // greeting-like text rather than rows
};

void run(const Scenario &scenario)
{
    const QByteArray answer = RawServer::response(scenario.packed ? packedEnvelope(scenario.payload)
                                                                  : envelope(scenario.payload));
    RawServer server([&](RawServer &s, int fd, const QByteArray &) {
        s.waitOrStop(scenario.thinkMs);
        if (scenario.trickleMs == 0) {
            RawServer::sendAll(fd, answer);
            return;
        }
        const qsizetype piece = answer.size() / 20 + 1;
        for (qsizetype off = 0; off < answer.size() && !s.stopping(); off += piece) {
            RawServer::sendAll(fd, answer.mid(off, piece));
            s.waitOrStop(scenario.trickleMs);
        }
    });

    QElapsedTimer gap;
    qint64 longest = 0;
    int ticks = 0;
    QTimer timer;
    timer.setInterval(5);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        longest = qMax(longest, gap.restart());
        ++ticks;
    });
    timer.start();
    gap.start();
    QElapsedTimer wall;
    wall.start();
    QStringList parameters{QStringLiteral("action=get_splash")};
    QString data;
    QString error;
    const int code = ServerRequest(parameters, data, error,
                                   QString::fromLatin1(server.baseUrl()) + QStringLiteral("/api.php"));
    const qint64 elapsed = wall.elapsed();
    longest = qMax(longest, gap.elapsed()); // the stretch after the last tick counts too
    timer.stop();
    std::printf("%-34s code %d  wall %5lld ms  longest gap %4lld ms  ticks %d\n", scenario.name, code,
                static_cast<long long>(elapsed), static_cast<long long>(longest), ticks);
    std::fflush(stdout);
}

void runOnWorker(qsizetype payload)
{
    const QByteArray answer = RawServer::response(envelope(payload));
    RawServer server([&](RawServer &, int fd, const QByteArray &) { RawServer::sendAll(fd, answer); });
    qint64 elapsed = 0;
    int code = 0;
    QThread *worker = QThread::create([&] {
        QElapsedTimer wall;
        wall.start();
        QStringList parameters{QStringLiteral("action=get_table")};
        QString data;
        QString error;
        code = ServerRequest(parameters, data, error,
                             QString::fromLatin1(server.baseUrl()) + QStringLiteral("/api.php"));
        elapsed = wall.elapsed();
    });
    worker->start();
    worker->wait();
    delete worker;
    std::printf("%-34s code %d  wall %5lld ms  %.1f MB/s fetch+parse\n", "worker thread, 20 MB answer", code,
                static_cast<long long>(elapsed), elapsed ? payload / 1048576.0 / (elapsed / 1000.0) : 0.0);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const Scenario scenarios[] = {
        {"greeting: server thinks 1 s, 50 KB", 1000, 0, 50 * 1024, true},
        {"greeting: trickled over 1 s, 200 KB", 0, 50, 200 * 1024, true},
        {"greeting: 2 MB at loopback speed", 0, 0, 2 * 1024 * 1024, true},
        {"rows: 100 KB at loopback speed", 0, 0, 100 * 1024, false},
        {"rows: 1 MB at loopback speed", 0, 0, 1024 * 1024, false},
    };
    for (const Scenario &scenario : scenarios)
        run(scenario);
    for (const qsizetype size : {qsizetype(1024 * 1024), qsizetype(10 * 1024 * 1024)}) {
        const QByteArray body = envelope(size);
        QElapsedTimer parse;
        parse.start();
        const int code = parseEnvelope(body).code;
        const qint64 ms = parse.elapsed();
        std::printf("parse only, rows, %3lld MB              code %d  %5lld ms  %.1f MB/s\n",
                    static_cast<long long>(size >> 20), code, static_cast<long long>(ms),
                    ms ? size / 1048576.0 / (ms / 1000.0) : 0.0);
    }
    runOnWorker(20 * 1024 * 1024);
    return 0;
}
