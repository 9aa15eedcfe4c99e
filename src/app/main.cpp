// Program entry of the desktop reference.
#include "app/look.h"
#include "app/mainform.h"
#include "app/qttranslation.h"
#include "app/workerhook.h"

#include <QApplication>
#include <QLoggingCategory>
#include <QTimer>

// Quiet unless asked for (QT_LOGGING_RULES="ramux.app.debug=true"): start checks look for it.
Q_LOGGING_CATEGORY(lcApp, "ramux.app", QtInfoMsg)

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ramux"));
    QApplication::setApplicationDisplayName(QStringLiteral("Ramux"));
    // Ties the windows to the installed desktop entry (its name and icon on Wayland).
    QGuiApplication::setDesktopFileName(QStringLiteral("org.ramux.Ramux"));
    applyRamuxLook(app);
    installQtTranslation(app);

    TKalmedaRamuxMainForm window(QApplication::arguments().mid(1));
    StartUpdateWorker(&window);
    if (!window.isUpdateOnly()) {
        window.show();
        qCDebug(lcApp) << "main window shown";
    }
    // Smoke runs and demos without a user close the window after a while, through the same
    // path as the user's close.
    bool quitAfterOk = false;
    const int quitAfterMs = qEnvironmentVariableIntValue("RAMUX_QUIT_AFTER_MS", &quitAfterOk);
    if (quitAfterOk && quitAfterMs > 0)
        QTimer::singleShot(quitAfterMs, &window, &QWidget::close);
    return app.exec();
}
