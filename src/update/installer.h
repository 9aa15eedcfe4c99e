// Starting a downloaded installer with elevated rights, the last step of an accepted update.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

// Starts the program at the path; returns whether a process could be started. Nobody waits
// for it or looks at its outcome.
using InstallerStarter = std::function<bool(const QString &installerPath)>;

// Starts the installer through the current starter (the system one unless a test replaced it).
bool StartInstallerElevated(const QString &installerPath);

// Replaces the starter; an empty function puts the system one back.
void setInstallerStarter(InstallerStarter starter);

// What the elevated start runs: the program and its arguments, in a working folder.
struct InstallerCommand
{
    QStringList arguments;
    QString workingFolder;
    bool operator==(const InstallerCommand &other) const
    {
        return arguments == other.arguments && workingFolder == other.workingFolder;
    }
};

// Whether the file is a Debian package, by its content: an ar archive whose first member is
// "debian-binary" (a name proves nothing).
bool isDebianPackage(const QString &path);

// A Debian package is installed through the package system; any other file is run itself.
InstallerCommand installerCommand(const QString &installerPath);

// Runs a command with elevated rights, detached. The system way: through pkexec when that is
// installed and RAMUX_INSTALLER_NO_PKEXEC is not set to a non-empty value, else directly.
using ElevatedStart = std::function<bool(const InstallerCommand &command)>;
bool startElevated(const InstallerCommand &command);
// Replaces how the command is run (tests record it); an empty function puts the system one back.
void setElevatedStart(ElevatedStart start);

// The system starter: sets the owner's execute bit on a program file, then hands its command to
// the elevated start.
bool systemStartInstaller(const QString &installerPath);
