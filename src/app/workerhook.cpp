// Step 5 of the program entry: the update worker, created and started once, no reference kept.
#include "app/workerhook.h"

#include "app/mainform.h"
#include "update/ui/updatethread.h"

#include <QCoreApplication>

void StartUpdateWorker(TKalmedaRamuxMainForm *window)
{
    auto *thread = new TUpdateThread(window);
    // A finished thread frees itself. One still running when the program ends is never
    // destroyed (that would abort): the process ends around it, and nothing waits for it.
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    // Once the window has gone the run has no one to report to: let it stop at the next page
    // instead of writing on while the process winds down.
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, thread, &QThread::requestInterruption);
    window->watchUpdateWorker(thread);
    thread->start();
}
