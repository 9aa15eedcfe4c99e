#include "db/location.h"

#include "db/schema.h"
#include "text/ramuxerror.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {
const QLatin1String kSourceKey("Data Source=");
const QLatin1String kPasswordKey(";Database Password=");
const QLatin1String kTail(";Persist Security Info=False;Encrypt Database=True");
} // namespace

QString chooseDatabaseFile(const QString &sharedDataFolder, const QString &programPath)
{
    if (!sharedDataFolder.isEmpty()) {
        const QString candidate = sharedDataFolder + QLatin1String("/Ramux/Ramux.rxd");
        if (QFileInfo(candidate).isFile())
            return candidate;
    }
    const QFileInfo program(programPath);
    const QString base = program.suffix().isEmpty() ? program.fileName() : program.completeBaseName();
    return program.absolutePath() + QLatin1Char('/') + base + QLatin1String(".rxd");
}

QString LocateDatabaseFile()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (!folder.isEmpty())
        QDir().mkpath(folder);
    return chooseDatabaseFile(folder, QCoreApplication::applicationFilePath());
}

QString BuildConnectionString(const QString &path)
{
    return QLatin1String("Provider=SQLCipher.3;") + kSourceKey + path + kPasswordKey
           + QString::fromLatin1(schema::databasePassword()) + kTail;
}

ConnectionSettings parseConnectionString(const QString &cs)
{
    // The path may hold ";", so it is read between the two fixed keys rather than split.
    const qsizetype source = cs.indexOf(kSourceKey);
    const qsizetype password = cs.lastIndexOf(kPasswordKey);
    if (source < 0 || password < source)
        throw RamuxError(QStringLiteral("Неверная строка подключения"));
    ConnectionSettings settings;
    settings.path = cs.mid(source + kSourceKey.size(), password - source - kSourceKey.size());
    QString rest = cs.mid(password + kPasswordKey.size());
    const qsizetype end = rest.indexOf(kTail);
    settings.password = (end < 0 ? rest : rest.left(end)).toLatin1();
    return settings;
}
