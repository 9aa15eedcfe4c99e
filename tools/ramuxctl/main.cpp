// ramuxctl: command-line companion of the desktop program, linking only the core library.
#include "command.h"

#include "db/location.h"
#include "text/ramuxerror.h"

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QFileInfo>
#include <QStandardPaths>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>

namespace {

struct Entry
{
    QString usage;
    CommandFunction function;
};

std::map<QString, Entry> &registry()
{
    static std::map<QString, Entry> commands;
    return commands;
}

int usage()
{
    printErr(QStringLiteral("usage: ramuxctl COMMAND [ARGS]\n"));
    for (const auto &[name, entry] : registry())
        printErr(QStringLiteral("  ramuxctl %1\n").arg(entry.usage));
    return 2;
}

} // namespace

CommandRegistrar::CommandRegistrar(const char *name, const char *usage, CommandFunction function)
{
    registry()[QString::fromUtf8(name)] = Entry{QString::fromUtf8(usage), std::move(function)};
}

QString takeOption(QStringList &args, const QString &name, const QString &fallback)
{
    const qsizetype at = args.indexOf(name);
    if (at < 0)
        return fallback;
    if (at + 1 >= args.size())
        throw RamuxError(QStringLiteral("%1 needs a value").arg(name));
    const QString value = args.at(at + 1);
    args.remove(at, 2);
    return value;
}

bool takeFlag(QStringList &args, const QString &name)
{
    return args.removeAll(name) > 0;
}

QString takeDatabasePath(QStringList &args)
{
    // The desktop program sits beside this tool; its own path decides the fallback location.
    const QString program = QCoreApplication::applicationDirPath() + QLatin1String("/ramux");
    QString shared = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return takeOption(args, QStringLiteral("--db"), chooseDatabaseFile(shared, program));
}

void printOut(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    std::fwrite(utf8.constData(), 1, size_t(utf8.size()), stdout);
}

void printErr(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    std::fwrite(utf8.constData(), 1, size_t(utf8.size()), stderr);
}

namespace {
// Only writing a PDF file needs fonts and a paint engine, so only then is there a GUI
// application (on the offscreen platform unless one is chosen: no display is needed).
std::unique_ptr<QCoreApplication> makeApplication(int &argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--pdf") == 0) {
            if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
                qputenv("QT_QPA_PLATFORM", "offscreen");
            return std::make_unique<QGuiApplication>(argc, argv);
        }
    }
    return std::make_unique<QCoreApplication>(argc, argv);
}
} // namespace

int main(int argc, char *argv[])
{
    const std::unique_ptr<QCoreApplication> application = makeApplication(argc, argv);
    QCoreApplication &app = *application;
    // The companion finds the same database as the desktop program beside it.
    QCoreApplication::setApplicationName(QStringLiteral("ramux"));
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return usage();
    const QString name = args.takeFirst();
    const auto it = registry().find(name);
    if (it == registry().end())
        return usage();
    CommandContext context{args};
    try {
        return it->second.function(context);
    } catch (const RamuxError &e) {
        printErr(QStringLiteral("ramuxctl %1: %2\n").arg(name, e.message()));
        return 1;
    } catch (const std::exception &e) {
        printErr(QStringLiteral("ramuxctl %1: %2\n").arg(name, QString::fromLocal8Bit(e.what())));
        return 1;
    }
}
