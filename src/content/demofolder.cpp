// Where the demo sources are: the only file that needs the source tree's path (on every file it
// would defeat the compiler cache).
#include "content/sourcereader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

QString demoContentDir()
{
    const QString fromEnv = qEnvironmentVariable("RAMUX_DEMO_DIR");
    if (!fromEnv.isEmpty())
        return QFileInfo(fromEnv).isDir() ? QDir(fromEnv).absolutePath() : QString();
    QStringList candidates;
    if (QCoreApplication::instance())
        candidates.append(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/ramux/demo"));
#ifdef RAMUX_SOURCE_DIR
    candidates.append(QStringLiteral(RAMUX_SOURCE_DIR "/data/demo"));
#endif
    for (const QString &dir : candidates) {
        if (QFileInfo::exists(dir + QStringLiteral("/sections.tsv")))
            return QDir(dir).absolutePath();
    }
    return QString();
}
