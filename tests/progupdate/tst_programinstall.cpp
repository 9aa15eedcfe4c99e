// An accepted program update through the worker of a real window: the real ramux-server offers a
// package under a name that does not end in ".deb", the real download and the detached elevated
// start run, and a stand-in pkexec plays the package system (it refuses a local file not named
// "*.deb", as apt-get does) with the exit status each case asks for.
#include "sync/syncprocess.h"

#include "update/ui/updatethread.h"

#include <QApplication>
#include <QMainWindow>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>

namespace {

QByteArray debianPackageBytes()
{
    QByteArray deb("!<arch>\n");
    deb += QByteArray("debian-binary").leftJustified(16, ' ') + QByteArray("0").leftJustified(12, ' ') +
           "0     0     100644  4         `\n2.0\n";
    deb += QByteArray(2000, '\x33');
    return deb;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

class Window final : public QMainWindow
{
public:
    int closes = 0;
    QStringList messages;
    Window()
    {
        connect(statusBar(), &QStatusBar::messageChanged, this, [this](const QString &text) {
            if (!text.isEmpty())
                messages << text;
        });
    }

protected:
    void closeEvent(QCloseEvent *event) override
    {
        ++closes;
        QMainWindow::closeEvent(event);
    }
};

} // namespace

class TestProgramInstall : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QProcess m_server;
    QString m_address;
    QByteArray m_path;
    int m_files = 0;

private slots:
    void initTestCase();
    void cleanupTestCase();
    void installOutcomeDecidesWhetherTheProgramCloses_data();
    void installOutcomeDecidesWhetherTheProgramCloses();
};

void TestProgramInstall::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const QString offered = m_dir.filePath(QStringLiteral("ramux-9.9"));
    writeFile(offered, debianPackageBytes());
    m_server.start(programPath(QStringLiteral("ramux-server")),
                   {QStringLiteral("--demo"), QStringLiteral("--port"), QStringLiteral("0"),
                    QStringLiteral("--quiet"), QStringLiteral("--offer-version"), QStringLiteral("9.9"),
                    QStringLiteral("--offer-file"), offered});
    QVERIFY(m_server.waitForStarted());
    QByteArray log;
    const QRegularExpression listening(QStringLiteral("listening on (http://\\S+/api\\.php)"));
    QDeadlineTimer deadline(30000);
    while (m_address.isEmpty() && !deadline.hasExpired() && m_server.state() == QProcess::Running) {
        m_server.waitForReadyRead(200);
        log += m_server.readAllStandardError();
        m_address = listening.match(QString::fromUtf8(log)).captured(1);
    }
    QVERIFY2(!m_address.isEmpty(), log.constData());

    // The stand-in answers as the case's files say, after the case's pause.
    const QString standIn = m_dir.filePath(QStringLiteral("bin/pkexec"));
    QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("bin"))));
    writeFile(standIn, QStringLiteral("#!/bin/sh\n"
                                      "for last; do :; done\n"
                                      "echo \"$*\" >> '%1/calls'\n"
                                      "case \"$last\" in *.deb) ;; *) exit 100 ;; esac\n"
                                      "sleep \"$(cat '%1/pause')\"\n"
                                      "exit \"$(cat '%1/answer')\"\n")
                           .arg(m_dir.path())
                           .toUtf8());
    QVERIFY(QFile::setPermissions(standIn, QFile::permissions(standIn) | QFileDevice::ExeOwner));
    m_path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(m_dir.filePath(QStringLiteral("bin"))) + ':' + m_path);
    qunsetenv("RAMUX_INSTALLER_NO_PKEXEC");
    QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("tmp"))));
    qputenv("TMPDIR", QFile::encodeName(m_dir.filePath(QStringLiteral("tmp"))));
    TUpdateThread::setOfferWindow(
        [](const QString &, const QString &, const QString &, const QString &) { return 6; });
}

void TestProgramInstall::cleanupTestCase()
{
    qputenv("PATH", m_path);
    TUpdateThread::setOfferWindow({});
    TUpdateThread::setNoticeWindow({});
    m_server.terminate();
    m_server.waitForFinished(5000);
}

void TestProgramInstall::installOutcomeDecidesWhetherTheProgramCloses_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QByteArray>("pause");
    QTest::addColumn<QString>("notice");
    QTest::newRow("installed") << QByteArray("0") << QByteArray("0") << QString();
    QTest::newRow("password refused")
        << QByteArray("126") << QByteArray("2")
        << QStringLiteral("Обновление программы не установлено: отменено пользователем");
    QTest::newRow("not authorised") << QByteArray("127") << QByteArray("0")
                                    << QStringLiteral(
                                           "Обновление программы не установлено: отменено пользователем");
    QTest::newRow("install failed")
        << QByteArray("100") << QByteArray("0")
        << QStringLiteral("Обновление программы не установлено: ошибка установки пакета, код 100");
}

void TestProgramInstall::installOutcomeDecidesWhetherTheProgramCloses()
{
    QFETCH(QByteArray, answer);
    QFETCH(QByteArray, pause);
    QFETCH(QString, notice);
    writeFile(m_dir.filePath(QStringLiteral("answer")), answer);
    writeFile(m_dir.filePath(QStringLiteral("pause")), pause);
    QFile::remove(m_dir.filePath(QStringLiteral("calls")));

    const QString database = m_dir.filePath(QStringLiteral("p%1.rxd").arg(++m_files));
    schema::createDatabaseFile(database);
    {
        Database db;
        db.open(database, schema::databasePassword());
        Statement st =
            db.prepare(QStringLiteral("UPDATE options SET o_upd_serv = ?1, o_data_upd = 0, o_prog_upd = 1"));
        st.bind(1, m_address);
        st.run();
    }
    QStringList shown;
    TUpdateThread::setNoticeWindow([&shown](const QString &text) { shown << text; });

    Window window;
    window.show();
    // The window keeps serving its events while the install runs: the longest pause between
    // ticks of a 20 ms timer stays far below the stand-in's own pause.
    QElapsedTimer clock;
    clock.start();
    qint64 lastTick = 0;
    qint64 longestGap = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, &ticker, [&] {
        longestGap = qMax(longestGap, clock.elapsed() - lastTick);
        lastTick = clock.elapsed();
    });
    ticker.start(20);

    auto *thread = new TUpdateThread(&window);
    thread->setDatabaseFile(database);
    thread->setUpdateOnlyTest([] { return false; });
    thread->start();
    QTRY_VERIFY_WITH_TIMEOUT(thread->isFinished(), 30000);
    ticker.stop();
    QCoreApplication::processEvents();

    QFile calls(m_dir.filePath(QStringLiteral("calls")));
    QVERIFY(calls.open(QIODevice::ReadOnly));
    const QString call = QString::fromUtf8(calls.readAll()).trimmed();
    // The package was handed over under a name the package system takes for a file.
    QVERIFY2(call.startsWith(QLatin1String("/usr/bin/apt-get install -y ")) &&
                 call.endsWith(QLatin1String("/ramux-9.9.deb")),
             qPrintable(call));
    QVERIFY(window.messages.contains(QStringLiteral("Установка обновления программы...")));
    QVERIFY2(longestGap < 1500, qPrintable(QString::number(longestGap)));
    if (notice.isEmpty()) {
        QCOMPARE(thread->ending(), UpdateRun::Ending::InstallerStarted);
        QTRY_COMPARE(window.closes, 1);
        QVERIFY(shown.isEmpty());
    } else {
        // The user is told why, and the program goes on; the offer comes again at the next start.
        QCOMPARE(thread->ending(), UpdateRun::Ending::InstallFailed);
        QCOMPARE(shown, QStringList{notice});
        QTest::qWait(100);
        QCOMPARE(window.closes, 0);
    }
    delete thread;
}

QTEST_MAIN(TestProgramInstall)
#include "tst_programinstall.moc"
