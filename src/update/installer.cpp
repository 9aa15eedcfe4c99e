#include "update/installer.h"

#include "update/seam.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QProcess>
#include <QStandardPaths>

Q_LOGGING_CATEGORY(lcInstaller, "ramux.update.installer")

bool systemStartInstaller(const QString &installerPath)
{
    const QFileInfo info(installerPath);
    if (!info.isFile())
        return false;
    // A downloaded file carries no execute bit; the installer must run as a program whatever
    // its name.
    QFile::setPermissions(installerPath,
                          QFile::permissions(installerPath) | QFileDevice::ExeOwner | QFileDevice::ExeUser);

    const QString workingFolder = info.absolutePath();
    const QString pkexec = QStandardPaths::findExecutable(QStringLiteral("pkexec"));
    const bool direct = !qEnvironmentVariableIsEmpty("RAMUX_INSTALLER_NO_PKEXEC");
    bool started = false;
    if (!pkexec.isEmpty() && !direct)
        started = QProcess::startDetached(pkexec, {info.absoluteFilePath()}, workingFolder);
    else
        started = QProcess::startDetached(info.absoluteFilePath(), {}, workingFolder);
    if (!started)
        qCWarning(lcInstaller) << "could not start the installer" << installerPath;
    return started;
}

namespace {
Seam<bool(const QString &)> &installerStarter()
{
    static Seam<bool(const QString &)> seam(&systemStartInstaller);
    return seam;
}
} // namespace

bool StartInstallerElevated(const QString &installerPath)
{
    return installerStarter()(installerPath);
}

void setInstallerStarter(InstallerStarter starter)
{
    installerStarter().replace(std::move(starter));
}
