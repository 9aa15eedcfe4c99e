// Installing a downloaded program update with elevated rights, the last step of an accepted
// update, and waiting for its outcome.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

// How an install ended.
struct InstallOutcome
{
    enum class Result {
        Installed,  // the installer finished with exit status 0
        Cancelled,  // the user refused the password or closed the authorisation dialog
        Failed,     // the installer finished with another status (exitCode)
        NotStarted, // nothing could be started
        Unknown,    // the installer ended without reporting a status
        Abandoned   // the wait was given up on a stop request; the install goes on alone
    };
    Result result = Result::NotStarted;
    int exitCode = -1;
    bool package = false; // a package handed to the package system, not an installer program
};

// What the user is told when the program was not updated; empty when it was, or when the
// outcome is not known because the program is closing.
QString installFailureText(const InstallOutcome &outcome);

// Asked while waiting: true gives the wait up.
using StopCheck = std::function<bool()>;

// Installs the file at the path and waits for the outcome.
using InstallerStarter = std::function<InstallOutcome(const QString &installerPath, const StopCheck &stop)>;

// Installs through the current starter (the system one unless a test replaced it).
InstallOutcome StartInstallerElevated(const QString &installerPath, const StopCheck &stop = {});

// Replaces the starter; an empty function puts the system one back.
void setInstallerStarter(InstallerStarter starter);

// What the elevated start runs: the program and its arguments, in a working folder, and the
// file through which the detached run reports the exit status back.
struct InstallerCommand
{
    QStringList arguments;
    QString workingFolder;
    QString statusFile;
    bool operator==(const InstallerCommand &other) const
    {
        return arguments == other.arguments && workingFolder == other.workingFolder &&
               statusFile == other.statusFile;
    }
};

// Whether the file is a Debian package, by its content: an ar archive whose first member is
// "debian-binary" (a name proves nothing).
bool isDebianPackage(const QString &path);

// A Debian package is installed through the package system; any other file is run itself. The
// status file lies beside the installer, in its private folder.
InstallerCommand installerCommand(const QString &installerPath);

// Runs a command with elevated rights, detached, and waits until it reports its exit status,
// ends without one, or `stop` says so. The system way: through pkexec when that is installed
// and RAMUX_INSTALLER_NO_PKEXEC is not set to a non-empty value, else directly.
using ElevatedStart = std::function<InstallOutcome(const InstallerCommand &command, const StopCheck &stop)>;
InstallOutcome startElevated(const InstallerCommand &command, const StopCheck &stop = {});
// Replaces how the command is run (tests record it); an empty function puts the system one back.
void setElevatedStart(ElevatedStart start);

// The system starter: sets the owner's execute bit on a program file, then hands its command to
// the elevated start.
InstallOutcome systemStartInstaller(const QString &installerPath, const StopCheck &stop);
