// Starting a downloaded installer with elevated rights, the last step of an accepted update.
#pragma once

#include <QString>
#include <functional>

// Starts the program at the path; returns whether a process could be started. Nobody waits
// for it or looks at its outcome.
using InstallerStarter = std::function<bool(const QString &installerPath)>;

// Starts the installer through the current starter (the system one unless a test replaced it).
bool StartInstallerElevated(const QString &installerPath);

// Replaces the starter; an empty function puts the system one back.
void setInstallerStarter(InstallerStarter starter);

// The system starter: sets the owner's execute bit, then starts the file detached in its own
// folder, through pkexec when that is installed and RAMUX_INSTALLER_NO_PKEXEC is not set to
// a non-empty value, else directly.
bool systemStartInstaller(const QString &installerPath);
