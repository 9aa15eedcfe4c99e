#include "update/installer.h"

#include "update/seam.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <cerrno>
#include <signal.h>

Q_LOGGING_CATEGORY(lcInstaller, "ramux.update.installer")

namespace {

using ElevatedSignature = InstallOutcome(const InstallerCommand &, const StopCheck &);
using StarterSignature = InstallOutcome(const QString &, const StopCheck &);

Seam<StarterSignature> &installerStarter()
{
    static Seam<StarterSignature> seam(&systemStartInstaller);
    return seam;
}

// The status the detached shell wrote: 0..255, -1 when the file holds something else, -2 while
// there is none.
int readStatus(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -2;
    bool ok = false;
    const int code = file.read(16).trimmed().toInt(&ok);
    return ok && code >= 0 && code <= 255 ? code : -1;
}

// Whether the process still runs; a zombie (left to us as a subreaper) has ended.
bool processRuns(qint64 pid)
{
    if (pid <= 0 || (::kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM))
        return false;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray line = stat.read(512);
    const qsizetype close = line.lastIndexOf(')');
    return close < 0 || line.mid(close + 2, 1) != "Z";
}

InstallOutcome systemStartElevated(const InstallerCommand &command, const StopCheck &stop)
{
    InstallOutcome outcome;
    if (command.arguments.isEmpty() || command.statusFile.isEmpty())
        return outcome;
    const QString pkexec = QStandardPaths::findExecutable(QStringLiteral("pkexec"));
    const bool direct = pkexec.isEmpty() || !qEnvironmentVariableIsEmpty("RAMUX_INSTALLER_NO_PKEXEC");
    // The installer runs detached, so that an install the user leaves running outlives the
    // program. pkexec serves only a living parent: the shell waits for it (no exec of the last
    // command, which a bare "$@" could get) and then reports its exit status through a file,
    // written whole and renamed so that a half-written status is never read.
    QStringList shell{QStringLiteral("-c"),
                      QStringLiteral("status=$1; shift; \"$@\"; code=$?; "
                                     "echo $code > \"$status.part\" && mv -f \"$status.part\" \"$status\"; "
                                     "exit $code"),
                      QStringLiteral("sh"), command.statusFile};
    if (!direct)
        shell << pkexec;
    shell += command.arguments;
    QFile::remove(command.statusFile);
    qint64 pid = 0;
    if (!QProcess::startDetached(QStringLiteral("/bin/sh"), shell, command.workingFolder, &pid)) {
        qCWarning(lcInstaller) << "could not start" << command.arguments;
        return outcome;
    }
    // Bounded by the shell's life: it writes the status just before it ends.
    int code = -2;
    for (;;) {
        code = readStatus(command.statusFile);
        if (code != -2)
            break;
        if (stop && stop()) {
            outcome.result = InstallOutcome::Result::Abandoned;
            return outcome;
        }
        if (!processRuns(pid)) {
            code = readStatus(command.statusFile);
            break;
        }
        QThread::msleep(100);
    }
    QFile::remove(command.statusFile);
    outcome.exitCode = code;
    if (code < 0)
        outcome.result = InstallOutcome::Result::Unknown;
    else if (code == 0)
        outcome.result = InstallOutcome::Result::Installed;
    else if (!direct && (code == 126 || code == 127)) // pkexec: not authorised, or dialog dismissed
        outcome.result = InstallOutcome::Result::Cancelled;
    else
        outcome.result = InstallOutcome::Result::Failed;
    qCInfo(lcInstaller) << "installer ended with status" << code;
    return outcome;
}

Seam<ElevatedSignature> &elevatedStart()
{
    static Seam<ElevatedSignature> seam(&systemStartElevated);
    return seam;
}

} // namespace

QString installFailureText(const InstallOutcome &outcome)
{
    QString reason;
    switch (outcome.result) {
    case InstallOutcome::Result::Installed:
    case InstallOutcome::Result::Abandoned:
        return QString();
    case InstallOutcome::Result::Cancelled:
        reason = QStringLiteral("отменено пользователем");
        break;
    case InstallOutcome::Result::Failed:
        reason = outcome.package
                     ? QStringLiteral("ошибка установки пакета, код %1").arg(outcome.exitCode)
                     : QStringLiteral("программа установки завершилась с кодом %1").arg(outcome.exitCode);
        break;
    case InstallOutcome::Result::NotStarted:
        reason = QStringLiteral("не удалось запустить установку");
        break;
    case InstallOutcome::Result::Unknown:
        reason = QStringLiteral("установка прервана");
        break;
    }
    return QStringLiteral("Обновление программы не установлено: %1").arg(reason);
}

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
    command.statusFile = info.absoluteFilePath() + QLatin1String(".status");
    if (isDebianPackage(installerPath)) {
        // An absolute path: apt-get takes it for a file to install, not a package name.
        command.arguments = QStringList{QStringLiteral("/usr/bin/apt-get"), QStringLiteral("install"),
                                        QStringLiteral("-y"), info.absoluteFilePath()};
    } else {
        command.arguments = QStringList{info.absoluteFilePath()};
    }
    return command;
}

InstallOutcome startElevated(const InstallerCommand &command, const StopCheck &stop)
{
    return elevatedStart()(command, stop);
}

void setElevatedStart(ElevatedStart start)
{
    elevatedStart().replace(std::move(start));
}

InstallOutcome systemStartInstaller(const QString &installerPath, const StopCheck &stop)
{
    if (!QFileInfo(installerPath).isFile())
        return InstallOutcome();
    const InstallerCommand command = installerCommand(installerPath);
    const bool program = command.arguments.first() == QFileInfo(installerPath).absoluteFilePath();
    if (program) {
        // A downloaded file carries no execute bit; the installer must run as a program whatever
        // its name.
        QFile::setPermissions(installerPath,
                              QFile::permissions(installerPath) | QFileDevice::ExeOwner | QFileDevice::ExeUser);
    }
    InstallOutcome outcome = startElevated(command, stop);
    outcome.package = !program;
    return outcome;
}

InstallOutcome StartInstallerElevated(const QString &installerPath, const StopCheck &stop)
{
    return installerStarter()(installerPath, stop);
}

void setInstallerStarter(InstallerStarter starter)
{
    installerStarter().replace(std::move(starter));
}
