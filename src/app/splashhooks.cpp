// The single splash window of the process, reached by the start-up and reload steps.
#include "app/splashhooks.h"

#include "app/splash.h"

#include <QApplication>
#include <QMainWindow>
#include <QPointer>

namespace {

QPointer<TSplash> g_splash;

TSplash *splash()
{
    if (!g_splash) {
        g_splash = new TSplash;
        // It has no owner; it goes when the program's loop ends, before the application does.
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, [] { delete g_splash.data(); });
    }
    // Centred over the main window once that is on screen (reloads), on the screen before. The
    // place is taken only when the splash is shown, so a visible one skips the search (the group
    // loader calls once per group).
    if (g_splash->isVisible())
        return g_splash;
    QMainWindow *mainWindow = nullptr;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *candidate = qobject_cast<QMainWindow *>(w); candidate && candidate->isVisible()) {
            mainWindow = candidate;
            break;
        }
    }
    g_splash->setCentreOver(mainWindow);
    return g_splash;
}

} // namespace

void ShowStatus(const QString &text)
{
    splash()->ShowStatus(text);
}

void ShowPage(const QString &packedDocument)
{
    splash()->ShowPage(packedDocument);
}

void CloseSplash()
{
    if (g_splash)
        g_splash->close();
}

TSplash *SplashWindow()
{
    return g_splash;
}
