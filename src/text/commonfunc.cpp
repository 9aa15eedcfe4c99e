#include "text/commonfunc.h"

#include <QDir>

QString GetProductVersion()
{
    return QStringLiteral(RAMUX_VERSION);
}

QString GetTempFolder()
{
    QString path = QDir::tempPath();
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path;
}
