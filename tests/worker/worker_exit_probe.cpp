// Child process of tst_updatethread: starts the worker the way the program entry does, closes
// the window while the run still waits for the server, and returns from main.
#include "update/ui/updatethread.h"

#include <QApplication>
#include <QMainWindow>
#include <QTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc < 3)
        return 2;
    QMainWindow window;
    window.show();
    auto *thread = new TUpdateThread(&window);
    thread->setDatabaseFile(QString::fromLocal8Bit(argv[1]));
    thread->setUpdateOnlyTest([] { return false; });
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, thread, &QThread::requestInterruption);
    thread->start();
    QPointer<TUpdateThread> watch(thread);
    QTimer::singleShot(QString::fromLocal8Bit(argv[2]).toInt(), &window, [&] {
        if (watch && watch->isRunning())
            std::printf("window closed while the run was waiting\n");
        std::fflush(stdout);
        window.close();
    });
    return app.exec();
}
