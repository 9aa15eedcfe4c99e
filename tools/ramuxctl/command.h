// Sub-command registry of ramuxctl: each command lives in its own file and registers itself.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

struct CommandContext
{
    QStringList args; // arguments after the sub-command name
};

using CommandFunction = std::function<int(CommandContext &)>;

struct CommandRegistrar
{
    CommandRegistrar(const char *name, const char *usage, CommandFunction function);
};

#define RAMUXCTL_COMMAND(id, name, usage, fn) static const CommandRegistrar registrar_##id(name, usage, fn)

// Helpers shared by the commands.
// Removes "--name value" from args and returns value (or fallback when absent).
QString takeOption(QStringList &args, const QString &name, const QString &fallback = {});
// Removes a flag "--name" from args and tells whether it was there.
bool takeFlag(QStringList &args, const QString &name);
// The database path: --db PATH, or the file the desktop program would open.
QString takeDatabasePath(QStringList &args);
void printOut(const QString &text); // UTF-8 to stdout
void printErr(const QString &text); // UTF-8 to stderr
