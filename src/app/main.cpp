// Program entry of the desktop reference.
#include "app/look.h"
#include "app/mainform.h"
#include "app/workerhook.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ramux"));
    QApplication::setApplicationDisplayName(QStringLiteral("Ramux"));
    applyRamuxLook(app);

    TKalmedaRamuxMainForm window(QApplication::arguments().mid(1));
    StartUpdateWorker(&window);
    if (!window.isUpdateOnly())
        window.show();
    // Smoke runs and demos without a user close the window after a while, through the same
    // path as the user's close.
    bool quitAfterOk = false;
    const int quitAfterMs = qEnvironmentVariableIntValue("RAMUX_QUIT_AFTER_MS", &quitAfterOk);
    if (quitAfterOk && quitAfterMs > 0)
        QTimer::singleShot(quitAfterMs, &window, &QWidget::close);
    return app.exec();
}
