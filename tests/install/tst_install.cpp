// The installation: `cmake --install` of the build tree into a temporary root gives exactly the
// listed layout under the prefix, its desktop files validate, its manual pages name every
// command and option, and the installed programs start from there on a fresh user.
#include "db/schema.h"
#include "db/sqlitedb.h"
#include "text/commonfunc.h"

#include <QDirIterator>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Run
{
    int code = -1;
    QByteArray out, err;
};

Run run(const QString &program, const QStringList &arguments, const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment(),
        int timeoutMs = 120000)
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    Run result;
    if (!process.waitForStarted() || !process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        result.err = process.errorString().toUtf8();
        return result;
    }
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    result.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return result;
}

QStringList filesUnder(const QString &root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(root).relativeFilePath(it.next());
    files.sort();
    return files;
}

// A manual page as plain words: troff's escapes and font changes dropped.
QString manText(const QString &gzipped)
{
    const Run gunzip = run(QStringLiteral("gzip"), {QStringLiteral("-dc"), gzipped});
    QString text = QString::fromUtf8(gunzip.out);
    text.replace(QLatin1String("\\-"), QLatin1String("-"));
    text.remove(QRegularExpression(QStringLiteral("\\\\f[BIRP]")));
    return text;
}

QStringList optionsIn(const QString &usage)
{
    QStringList options;
    const QRegularExpression option(QStringLiteral("--[a-z][a-z0-9-]*"));
    for (auto it = option.globalMatch(usage); it.hasNext();)
        options << it.next().captured(0);
    options.removeDuplicates();
    return options;
}

} // namespace

class TestInstall : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_root;
    QString m_usr;
    QProcessEnvironment m_env;

    QString usr(const QString &path) const { return m_usr + QLatin1Char('/') + path; }
    // A user who never started the program: empty data, settings and cache folders.
    QProcessEnvironment freshUser(const QTemporaryDir &home) const
    {
        QProcessEnvironment env = m_env;
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral("cache")));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        return env;
    }

private slots:
    void initTestCase();
    void layoutIsExactlyTheListedFilesUnderThePrefix();
    void desktopEntryAndMetadataValidate();
    void manualPagesNameEveryCommandAndOption();
    void installedProgramCopiesItsDatabaseOnAFreshUserAndShowsTheWindow();
    void updateOnlyModeCreatesNoDatabase();
    void installedServerServesTheInstalledDemo();
};

void TestInstall::initTestCase()
{
    QVERIFY(m_root.isValid());
    m_env = QProcessEnvironment::systemEnvironment();
    m_env.remove(QStringLiteral("RAMUX_DEMO_DIR"));
    m_env.remove(QStringLiteral("RAMUX_QUIT_AFTER_MS"));
    QProcessEnvironment env = m_env;
    env.insert(QStringLiteral("DESTDIR"), m_root.filePath(QStringLiteral("stage")));
    const Run install = run(qEnvironmentVariable("RAMUX_CMAKE"),
                            {QStringLiteral("--install"), qEnvironmentVariable("RAMUX_BUILD_DIR"),
                             QStringLiteral("--prefix"), QStringLiteral("/usr")},
                            env);
    QVERIFY2(install.code == 0, install.out + install.err);
    m_usr = m_root.filePath(QStringLiteral("stage/usr"));
}

void TestInstall::layoutIsExactlyTheListedFilesUnderThePrefix()
{
    const QString source = qEnvironmentVariable("RAMUX_SOURCE_DIR");
    QFile list(source + QStringLiteral("/packaging/files.txt"));
    QVERIFY(list.open(QIODevice::ReadOnly | QIODevice::Text));
    QStringList expected;
    for (const QString &line : QString::fromUtf8(list.readAll()).split(QLatin1Char('\n'))) {
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line == QLatin1String("share/ramux/demo/**")) {
            for (const QString &file : filesUnder(source + QStringLiteral("/data/demo")))
                expected << QStringLiteral("usr/share/ramux/demo/") + file;
        } else {
            expected << QStringLiteral("usr/") + line;
        }
    }
    expected.sort();
    // Everything in the staging root, so a file outside the prefix shows up too.
    QCOMPARE(filesUnder(m_root.filePath(QStringLiteral("stage"))), expected);
    QVERIFY(QFileInfo(usr(QStringLiteral("bin/ramux"))).isExecutable());
}

void TestInstall::desktopEntryAndMetadataValidate()
{
    const Run desktop =
        run(QStringLiteral("desktop-file-validate"), {usr(QStringLiteral("share/applications/org.ramux.Ramux.desktop"))});
    QVERIFY2(desktop.code == 0 && desktop.out.trimmed().isEmpty(), desktop.out + desktop.err);
    const QString metainfo = usr(QStringLiteral("share/metainfo/org.ramux.Ramux.metainfo.xml"));
    const Run appstream = run(QStringLiteral("appstreamcli"), {QStringLiteral("validate"), QStringLiteral("--no-net"), metainfo});
    QVERIFY2(appstream.code == 0, appstream.out + appstream.err);
    // The release it describes is the program's own version.
    QFile file(metainfo);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains(QStringLiteral("<release version=\"%1\"").arg(GetProductVersion()).toUtf8()));
}

void TestInstall::manualPagesNameEveryCommandAndOption()
{
    // ramuxctl lists its commands without arguments; ramux-server its options with --help.
    const Run ctl = run(usr(QStringLiteral("bin/ramuxctl")), {}, m_env);
    const QString ctlUsage = QString::fromUtf8(ctl.err);
    QVERIFY2(ctlUsage.contains(QLatin1String("ramuxctl create")), ctl.err);
    const QString ctlPage = manText(usr(QStringLiteral("share/man/man1/ramuxctl.1.gz")));
    const QRegularExpression command(QStringLiteral("^  ramuxctl (\\S+)"), QRegularExpression::MultilineOption);
    for (auto it = command.globalMatch(ctlUsage); it.hasNext();) {
        const QString name = it.next().captured(1);
        QVERIFY2(ctlPage.contains(QRegularExpression(QStringLiteral("^\\.B[IR]* \"?%1\\b").arg(name),
                                                     QRegularExpression::MultilineOption)),
                 qPrintable(QStringLiteral("ramuxctl(1) does not describe the command %1").arg(name)));
    }
    for (const QString &option : optionsIn(ctlUsage))
        QVERIFY2(ctlPage.contains(option), qPrintable(QStringLiteral("ramuxctl(1) does not name %1").arg(option)));

    const Run server = run(usr(QStringLiteral("bin/ramux-server")), {QStringLiteral("--help")}, m_env);
    QCOMPARE(server.code, 0);
    const QString serverPage = manText(usr(QStringLiteral("share/man/man1/ramux-server.1.gz")));
    const QStringList serverOptions = optionsIn(QString::fromUtf8(server.err));
    QVERIFY(serverOptions.contains(QStringLiteral("--offer-file")));
    for (const QString &option : serverOptions)
        QVERIFY2(serverPage.contains(option), qPrintable(QStringLiteral("ramux-server(1) does not name %1").arg(option)));

    const QString ramuxPage = manText(usr(QStringLiteral("share/man/man1/ramux.1.gz")));
    QVERIFY(ramuxPage.contains(QLatin1String("updateonly")));
    QVERIFY(ramuxPage.contains(QStringLiteral("Ramux %1").arg(GetProductVersion())));
}

void TestInstall::installedProgramCopiesItsDatabaseOnAFreshUserAndShowsTheWindow()
{
    QTemporaryDir home;
    QProcessEnvironment env = freshUser(home);
    env.insert(QStringLiteral("RAMUX_QUIT_AFTER_MS"), QStringLiteral("1500"));
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("ramux.app.debug=true"));
    const Run start = run(usr(QStringLiteral("bin/ramux")), {}, env, 60000);
    QVERIFY2(start.code == 0, start.err);
    QVERIFY2(start.err.contains("main window shown"), start.err);

    const QString copied = home.filePath(QStringLiteral("data/Ramux/Ramux.rxd"));
    QVERIFY(QFileInfo(copied).isFile());
    Database db;
    db.open(copied, schema::databasePassword());
    Statement st = db.prepare(QStringLiteral("SELECT o_upd_serv FROM options"));
    QVERIFY(st.step());
    QFile chosen(qEnvironmentVariable("RAMUX_BUILD_DIR") + QStringLiteral("/packaging/update-url.txt"));
    QVERIFY(chosen.open(QIODevice::ReadOnly));
    QCOMPARE(st.text(0), QString::fromUtf8(chosen.readAll().trimmed()));
}

void TestInstall::updateOnlyModeCreatesNoDatabase()
{
    QTemporaryDir home;
    const Run update = run(usr(QStringLiteral("bin/ramux")), {QStringLiteral("updateonly")}, freshUser(home), 60000);
    QVERIFY2(update.code == 0, update.err);
    QVERIFY(!QFileInfo::exists(home.filePath(QStringLiteral("data/Ramux"))));
}

void TestInstall::installedServerServesTheInstalledDemo()
{
    QProcess server;
    server.setProcessEnvironment(m_env);
    server.start(usr(QStringLiteral("bin/ramux-server")),
                 {QStringLiteral("--demo"), QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--quiet")});
    QVERIFY(server.waitForStarted());
    QByteArray log;
    QDeadlineTimer deadline(30000);
    while (!log.contains("listening on") && !deadline.hasExpired() && server.state() == QProcess::Running) {
        server.waitForReadyRead(200);
        log += server.readAllStandardError();
    }
    server.terminate();
    server.waitForFinished(5000);
    QVERIFY2(log.contains("listening on"), log.constData());
    QVERIFY2(log.contains(QStringLiteral("demo content from %1\n").arg(usr(QStringLiteral("share/ramux/demo"))).toUtf8()),
             log.constData());
}

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
