// Program entry of the desktop reference.
#include "app/look.h"
#include "app/mainform.h"
#include "app/workerhook.h"

#include <QApplication>

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
    return app.exec();
}
