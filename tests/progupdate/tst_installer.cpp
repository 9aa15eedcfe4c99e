// Starting a downloaded program update: a Debian package offered by the real ramux-server goes
// to the package system, recognised by its content; pkexec always finds its parent alive.
#include "sync/syncprocess.h"
#include "update/installer.h"
#include "update/programupdate.h"

#include <QCryptographicHash>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// An ar archive shaped like a Debian package: the signature, then a "debian-binary" member.
QByteArray debianPackageBytes()
{
    QByteArray deb("!<arch>\n");
    auto member = [&deb](const QByteArray &name, const QByteArray &data) {
        deb += name.leftJustified(16, ' ') + QByteArray("0").leftJustified(12, ' ') + "0     0     " +
               QByteArray("100644").leftJustified(8, ' ') + QByteArray::number(data.size()).leftJustified(10, ' ') +
               "`\n" + data;
        if (data.size() % 2)
            deb += '\n';
    };
    member("debian-binary", "2.0\n");
    member("control.tar.xz", QByteArray(301, '\x11'));
    member("data.tar.xz", QByteArray(4000, '\x22'));
    return deb;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

class TestInstaller : public QObject
{
    Q_OBJECT

private slots:
    void packagesAreRecognisedByContent_data();
    void packagesAreRecognisedByContent();
    void offeredPackageIsDownloadedPrivatelyAndInstalledThroughApt();
    void pkexecRunsWithItsParentAlive();
};

void TestInstaller::packagesAreRecognisedByContent_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("package");
    QTest::newRow("package") << QStringLiteral("ramux_1.2_amd64.deb") << debianPackageBytes() << true;
    QTest::newRow("package under another name") << QStringLiteral("setup.bin") << debianPackageBytes() << true;
    QTest::newRow("script named .deb") << QStringLiteral("ramux.deb") << QByteArray("#!/bin/sh\necho hi\n") << false;
    QTest::newRow("other ar archive") << QStringLiteral("lib.deb") << QByteArray("!<arch>\nlibfoo.o        0") << false;
    QTest::newRow("signature only") << QStringLiteral("short.deb") << QByteArray("!<arch>\n") << false;
}

void TestInstaller::packagesAreRecognisedByContent()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, package);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    writeFile(path, bytes);
    QCOMPARE(isDebianPackage(path), package);
    const InstallerCommand command = installerCommand(path);
    QCOMPARE(command.workingFolder, dir.path());
    if (package)
        QCOMPARE(command.arguments, (QStringList{QStringLiteral("/usr/bin/apt-get"), QStringLiteral("install"),
                                                 QStringLiteral("-y"), path}));
    else
        QCOMPARE(command.arguments, QStringList{path});
}

void TestInstaller::offeredPackageIsDownloadedPrivatelyAndInstalledThroughApt()
{
    QTemporaryDir dir;
    const QByteArray deb = debianPackageBytes();
    const QString offered = dir.filePath(QStringLiteral("ramux_1.2_amd64.deb"));
    writeFile(offered, deb);

    QProcess server;
    server.start(programPath(QStringLiteral("ramux-server")),
                 {QStringLiteral("--demo"), QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--quiet"),
                  QStringLiteral("--offer-version"), QStringLiteral("1.2"), QStringLiteral("--offer-file"), offered});
    QVERIFY(server.waitForStarted());
    QString address;
    QByteArray log;
    const QRegularExpression listening(QStringLiteral("listening on (http://\\S+/api\\.php)"));
    QDeadlineTimer deadline(30000);
    while (address.isEmpty() && !deadline.hasExpired() && server.state() == QProcess::Running) {
        server.waitForReadyRead(200);
        log += server.readAllStandardError();
        address = listening.match(QString::fromUtf8(log)).captured(1);
    }
    QVERIFY2(!address.isEmpty(), log.constData());

    // The real request layer and download; the user accepts the offer.
    const QString temp = dir.filePath(QStringLiteral("tmp"));
    QVERIFY(QDir().mkpath(temp));
    ProgramUpdateHooks hooks;
    hooks.askProgramUpdate = [](const ProgramUpdateFields &) { return 6; };
    hooks.runningVersion = QStringLiteral("1.1");
    hooks.tempFolder = temp + QLatin1Char('/');
    ProgramUpdateFields fields;
    CheckProgramUpdate(address, true, fields, hooks);
    server.terminate();
    server.waitForFinished(5000);

    QVERIFY(fields.InstallerReady);
    // The server vouched for exactly this file.
    QCOMPARE(fields.DownloadSha256,
             QString::fromLatin1(QCryptographicHash::hash(deb, QCryptographicHash::Sha256).toHex()));
    QFile downloaded(fields.InstallerPath);
    QVERIFY(downloaded.open(QIODevice::ReadOnly));
    QCOMPARE(downloaded.readAll(), deb);
    const QFileInfo folder(QFileInfo(fields.InstallerPath).absolutePath());
    QCOMPARE(folder.absolutePath(), temp);
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
                                            QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    QCOMPARE(int(folder.permissions() & others), 0);

    QList<InstallerCommand> started;
    setElevatedStart([&started](const InstallerCommand &command, const StopCheck &) {
        started << command;
        return InstallOutcome{InstallOutcome::Result::Installed, 0, false};
    });
    QCOMPARE(StartInstallerElevated(fields.InstallerPath).result, InstallOutcome::Result::Installed);
    setElevatedStart({});
    QCOMPARE(started.size(), 1);
    QCOMPARE(started.first().arguments, (QStringList{QStringLiteral("/usr/bin/apt-get"), QStringLiteral("install"),
                                                     QStringLiteral("-y"), fields.InstallerPath}));
    QCOMPARE(started.first().workingFolder, folder.absoluteFilePath());
    // A package is data for the package system, not a program.
    QVERIFY(!(QFile::permissions(fields.InstallerPath) & QFileDevice::ExeOwner));
}

void TestInstaller::pkexecRunsWithItsParentAlive()
{
    // pkexec refuses a parent that has gone (its parent is then init) and, where a session
    // manager adopts orphans (a subreaper, as on a desktop), would authorise that manager
    // instead. This process plays the subreaper; the stand-in pkexec checks who its parent is.
    QTemporaryDir dir;
    const QString standIn = dir.filePath(QStringLiteral("pkexec"));
    const QString record = dir.filePath(QStringLiteral("record"));
    writeFile(standIn, QStringLiteral("#!/bin/sh\n"
                                      "parent=$PPID\n"
                                      "sleep 0.3\n"
                                      "state=$(sed -n 's/^State:[[:space:]]*\\(.\\).*/\\1/p' /proc/$parent/status 2>/dev/null)\n"
                                      "grand=$(sed -n 's/^PPid:[[:space:]]*//p' /proc/$parent/status 2>/dev/null)\n"
                                      "printf '%s\\n%s\\n%s\\n%s\\n' \"$parent\" \"${state:-gone}\" \"${grand:-none}\" \"$*\" > %1.part\n"
                                      "mv %1.part %1\n")
                           .arg(record)
                           .toUtf8());
    QVERIFY(QFile::setPermissions(standIn, QFile::permissions(standIn) | QFileDevice::ExeOwner));
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(dir.path()) + ':' + path);
    qunsetenv("RAMUX_INSTALLER_NO_PKEXEC");
    QCOMPARE(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);

    const QString package = dir.filePath(QStringLiteral("ramux_1.2_amd64.deb"));
    writeFile(package, debianPackageBytes());
    const InstallOutcome outcome = systemStartInstaller(package, {});
    QVERIFY(QFileInfo::exists(record)); // the start waited for the install

    ::prctl(PR_SET_CHILD_SUBREAPER, 0);
    qputenv("PATH", path);
    // The adopted launch processes, once done, are ours to collect.
    QDeadlineTimer reap(5000);
    while (::waitpid(-1, nullptr, WNOHANG) >= 0 && !reap.hasExpired())
        QThread::msleep(20);

    QCOMPARE(outcome.result, InstallOutcome::Result::Installed);
    QFile file(record);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    QVERIFY(lines.size() >= 4);
    const qint64 parent = lines.at(0).toLongLong();
    QVERIFY2(parent != 1, "pkexec's parent was gone when it ran");
    QVERIFY2(parent != qint64(::getpid()), "pkexec's parent was an adopting process, not the launcher");
    QVERIFY2(lines.at(1) != QLatin1String("gone") && lines.at(1) != QLatin1String("Z"),
             qPrintable(QStringLiteral("pkexec's parent died while it ran: %1").arg(lines.at(1))));
    QCOMPARE(lines.at(3), QStringLiteral("/usr/bin/apt-get install -y %1").arg(package));
}

QTEST_GUILESS_MAIN(TestInstaller)
#include "tst_installer.moc"
