// bench_sync_gui: the longest pause of the GUI thread's event loop while TUpdateThread runs the
// initial synchronisation from ramux-server (large synthetic content) with a visible window.
//
//   bench_sync_gui [--content PATH]     (QT_QPA_PLATFORM=offscreen works)
#include "benchserver.h"

#include "db/schema.h"
#include "db/sqlitedb.h"
#include "update/ui/updatethread.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QTemporaryDir dir;
    QStringList args = app.arguments().mid(1);
    QString content = dir.filePath(QStringLiteral("content.sqlite"));
    const qsizetype at = args.indexOf(QStringLiteral("--content"));
    if (at >= 0 && at + 1 < args.size())
        content = args.at(at + 1);
    QProcess server;
    const QString address = startContentServer(server, content);
    if (address.isEmpty())
        return 1;

    const QString path = dir.filePath(QStringLiteral("client.rxd"));
    schema::createDatabaseFile(path);
    QMainWindow window;
    window.statusBar()->showMessage(QStringLiteral("ready"));
    window.show();
    TUpdateThread::setDetailsWindow([](const QString &, const QString &) { return 1; });
    auto *thread = new TUpdateThread(&window);
    thread->setDatabaseFile(path);
    thread->setUpdateOnlyTest([] { return false; });
    // The server address is the options row's; the bench points it at its own server.
    {
        Database db;
        db.open(path, schema::databasePassword());
        Statement st = db.prepare(QStringLiteral("UPDATE options SET o_upd_serv = ?1, o_prog_upd = 0"));
        st.bind(1, address);
        st.run();
    }

    QElapsedTimer sinceTick, wall;
    qint64 longestMs = 0;
    int ticks = 0;
    QTimer timer;
    timer.setInterval(5);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        longestMs = qMax(longestMs, sinceTick.restart());
        ++ticks;
    });
    QObject::connect(thread, &QThread::finished, &app, [&] {
        const double seconds = double(wall.elapsed()) / 1000.0;
        std::printf("GUI thread during the initial sync: %.2f s wall, longest event-loop pause %lld ms over %d ticks%s;"
                    " %d added, ending %d\n",
                    seconds, longestMs, ticks, longestMs <= 100 ? "" : "  ** over 100 ms **", thread->lastFields().AddedCount,
                    int(thread->ending()));
        app.quit();
    });
    wall.start();
    sinceTick.start();
    timer.start();
    thread->start();
    const int rc = app.exec();
    thread->wait();
    delete thread;
    stopServer(server);
    return rc;
}
