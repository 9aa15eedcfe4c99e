#include "update/installer.h"

#include "update/seam.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QProcess>
#include <QStandardPaths>

Q_LOGGING_CATEGORY(lcInstaller, "ramux.update.installer")

namespace {

Seam<bool(const QString &)> &installerStarter()
{
    static Seam<bool(const QString &)> seam(&systemStartInstaller);
    return seam;
}

bool systemStartElevated(const InstallerCommand &command)
{
    if (command.arguments.isEmpty())
        return false;
    const QString pkexec = QStandardPaths::findExecutable(QStringLiteral("pkexec"));
    const bool direct = pkexec.isEmpty() || !qEnvironmentVariableIsEmpty("RAMUX_INSTALLER_NO_PKEXEC");
    bool started = false;
    if (direct) {
        started = QProcess::startDetached(command.arguments.first(), command.arguments.mid(1),
                                          command.workingFolder);
    } else {
        // pkexec serves only a living parent, and the program closes right after this start.
        // A detached shell that waits for pkexec stays its parent until the install is done
        // (no exec of the last command, which a bare "$@" could get).
        QStringList shell{QStringLiteral("-c"), QStringLiteral("\"$@\"; exit $?"), QStringLiteral("sh"), pkexec};
        shell += command.arguments;
        started = QProcess::startDetached(QStringLiteral("/bin/sh"), shell, command.workingFolder);
    }
    if (!started)
        qCWarning(lcInstaller) << "could not start" << command.arguments;
    return started;
}

Seam<bool(const InstallerCommand &)> &elevatedStart()
{
    static Seam<bool(const InstallerCommand &)> seam(&systemStartElevated);
    return seam;
}

} // namespace

bool isDebianPackage(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // The ar signature, then the first member's 16-byte name field.
    const QByteArray head = file.read(8 + 13);
    return head == QByteArrayLiteral("!<arch>\ndebian-binary");
}

InstallerCommand installerCommand(const QString &installerPath)
{
    const QFileInfo info(installerPath);
    InstallerCommand command;
    command.workingFolder = info.absolutePath();
    if (isDebianPackage(installerPath)) {
        // An absolute path: apt-get takes it for a file to install, not a package name.
        command.arguments = QStringList{QStringLiteral("/usr/bin/apt-get"), QStringLiteral("install"),
                                        QStringLiteral("-y"), info.absoluteFilePath()};
    } else {
        command.arguments = QStringList{info.absoluteFilePath()};
    }
    return command;
}

bool startElevated(const InstallerCommand &command)
{
    return elevatedStart()(command);
}

void setElevatedStart(ElevatedStart start)
{
    elevatedStart().replace(std::move(start));
}

bool systemStartInstaller(const QString &installerPath)
{
    if (!QFileInfo(installerPath).isFile())
        return false;
    const InstallerCommand command = installerCommand(installerPath);
    if (command.arguments.first() == QFileInfo(installerPath).absoluteFilePath()) {
        // A downloaded file carries no execute bit; the installer must run as a program whatever
        // its name.
        QFile::setPermissions(installerPath,
                              QFile::permissions(installerPath) | QFileDevice::ExeOwner | QFileDevice::ExeUser);
    }
    return startElevated(command);
}

bool StartInstallerElevated(const QString &installerPath)
{
    return installerStarter()(installerPath);
}

void setInstallerStarter(InstallerStarter starter)
{
    installerStarter().replace(std::move(starter));
}
