// First start of an installed program: the shipped initial database becomes the user's own,
// whole or not at all, and never over a database that is there.
#include "db/firststart.h"
#include "db/location.h"
#include "db/schema.h"
#include "db/sqlitedb.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <utime.h>

using Outcome = FirstStartResult::Outcome;

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

// An installation in a temporary prefix: <prefix>/bin/ramux and, when asked, its initial database.
struct Installation
{
    QTemporaryDir root;
    QString program = root.filePath(QStringLiteral("usr/bin/ramux"));
    QString shipped = root.filePath(QStringLiteral("usr/share/ramux/Ramux.rxd"));
    QString dataHome = root.filePath(QStringLiteral("home/.local/share"));
    QString userFile = dataHome + QStringLiteral("/Ramux/Ramux.rxd");

    Installation() { QDir().mkpath(QFileInfo(program).absolutePath()); }
    void ship()
    {
        QDir().mkpath(QFileInfo(shipped).absolutePath());
        schema::createDatabaseFile(shipped);
        Database db;
        db.open(shipped, schema::databasePassword());
        db.exec(QStringLiteral("UPDATE options SET o_upd_serv = 'https://updates.example.org/api.php'"));
    }
};

} // namespace

class TestFirstStart : public QObject
{
    Q_OBJECT

private slots:
    void shippedDatabaseIsFoundBesideTheProgram();
    void withoutAShippedDatabaseNothingIsCreated();
    void shippedDatabaseIsCopiedWholeAndOpens();
    void existingDatabaseIsKept_data();
    void existingDatabaseIsKept();
    void copyLeftByAnInterruptedStartIsNeverTheDatabase();
    void fullDiskLeavesNoHalfFile();
    void unwritableHomeIsReportedWithItsReason();
    void damagedShippedDatabaseIsNotPutInPlace();
    void somethingElseAtTheDatabasePlaceIsNamed_data();
    void somethingElseAtTheDatabasePlaceIsNamed();
};

void TestFirstStart::shippedDatabaseIsFoundBesideTheProgram()
{
    QCOMPARE(shippedDatabaseFile(QStringLiteral("/usr/bin/ramux")), QStringLiteral("/usr/share/ramux/Ramux.rxd"));
    QCOMPARE(shippedDatabaseFile(QStringLiteral("/opt/ramux/bin/ramux")),
             QStringLiteral("/opt/ramux/share/ramux/Ramux.rxd"));
}

void TestFirstStart::withoutAShippedDatabaseNothingIsCreated()
{
    Installation inst;
    const FirstStartResult result = provideInitialDatabase(inst.dataHome, inst.program);
    QCOMPARE(result.outcome, Outcome::NothingShipped);
    QVERIFY(!QFileInfo::exists(inst.dataHome + QStringLiteral("/Ramux")));
}

void TestFirstStart::shippedDatabaseIsCopiedWholeAndOpens()
{
    Installation inst;
    inst.ship();
    const FirstStartResult result = provideInitialDatabase(inst.dataHome, inst.program);
    QCOMPARE(result.outcome, Outcome::Copied);
    QCOMPARE(result.path, inst.userFile);
    QCOMPARE(readAll(inst.userFile), readAll(inst.shipped));
    QCOMPARE(entries(inst.dataHome + QStringLiteral("/Ramux")), QStringList{QStringLiteral("Ramux.rxd")});
    // The location rule now finds it, and it carries the address the package was built with.
    QCOMPARE(chooseDatabaseFile(inst.dataHome, inst.program), inst.userFile);
    Database db;
    db.open(inst.userFile, schema::databasePassword());
    Statement st = db.prepare(QStringLiteral("SELECT o_upd_serv, (SELECT count(*) FROM items) FROM options"));
    QVERIFY(st.step());
    QCOMPARE(st.text(0), QStringLiteral("https://updates.example.org/api.php"));
    QCOMPARE(st.text(1), QStringLiteral("0"));
    db.close();

    // A second start finds its database and copies nothing.
    QCOMPARE(provideInitialDatabase(inst.dataHome, inst.program).outcome, Outcome::NotNeeded);
}

void TestFirstStart::existingDatabaseIsKept_data()
{
    QTest::addColumn<bool>("inDataFolder");
    QTest::newRow("in the data folder") << true;
    QTest::newRow("beside the program") << false;
}

void TestFirstStart::existingDatabaseIsKept()
{
    QFETCH(bool, inDataFolder);
    Installation inst;
    inst.ship();
    const QString existing = inDataFolder ? inst.userFile : inst.program + QStringLiteral(".rxd");
    writeFile(existing, QByteArrayLiteral("the user's own reference"));
    const FirstStartResult result = provideInitialDatabase(inst.dataHome, inst.program);
    QCOMPARE(result.outcome, Outcome::NotNeeded);
    QCOMPARE(readAll(existing), QByteArrayLiteral("the user's own reference"));
    if (!inDataFolder)
        QVERIFY(!QFileInfo::exists(inst.userFile));
}

void TestFirstStart::copyLeftByAnInterruptedStartIsNeverTheDatabase()
{
    Installation inst;
    inst.ship();
    // A start killed in the middle of its copy leaves a hidden partial file, never Ramux.rxd.
    const QString leftover = inst.dataHome + QStringLiteral("/Ramux/.Ramux.rxd.k1ll3d");
    writeFile(leftover, readAll(inst.shipped).left(1000));
    const qint64 hourAgo = QDateTime::currentSecsSinceEpoch() - 3600;
    utimbuf times{hourAgo, hourAgo};
    QCOMPARE(::utime(QFile::encodeName(leftover).constData(), &times), 0);

    const FirstStartResult result = provideInitialDatabase(inst.dataHome, inst.program);
    QCOMPARE(result.outcome, Outcome::Copied);
    QCOMPARE(readAll(inst.userFile), readAll(inst.shipped));
    QCOMPARE(entries(inst.dataHome + QStringLiteral("/Ramux")), QStringList{QStringLiteral("Ramux.rxd")});
}

void TestFirstStart::fullDiskLeavesNoHalfFile()
{
    Installation inst;
    inst.ship();
    // A file-size limit stands for the full disk: the copy's writes fail part-way (EFBIG).
    rlimit saved{};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 4096;
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    const FirstStartResult result = provideInitialDatabase(inst.dataHome, inst.program);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    QCOMPARE(result.outcome, Outcome::FolderFailed);
    const QString folder = inst.dataHome + QStringLiteral("/Ramux");
    QVERIFY2(result.message.startsWith(QStringLiteral("Не удается создать базу данных в папке %1: ").arg(folder)),
             qPrintable(result.message));
    QVERIFY(result.message.size() > folder.size() + 40); // the reason is there
    QVERIFY(entries(folder).isEmpty());
}

void TestFirstStart::unwritableHomeIsReportedWithItsReason()
{
    Installation inst;
    inst.ship();
    // A home where the folder cannot be made. Permission bits do not stop root, so a file stands
    // in the way of the folder as well.
    const QString home = inst.root.filePath(QStringLiteral("home"));
    QVERIFY(QDir().mkpath(home));
    writeFile(home + QStringLiteral("/.local"), QByteArrayLiteral("not a folder"));
    const FirstStartResult blocked = provideInitialDatabase(inst.dataHome, inst.program);
    QCOMPARE(blocked.outcome, Outcome::FolderFailed);
    QCOMPARE(blocked.message, QStringLiteral("Не удается создать базу данных в папке %1/Ramux: %2")
                                  .arg(inst.dataHome, QString::fromLocal8Bit(std::strerror(ENOTDIR))));

    if (::geteuid() != 0) {
        QFile::remove(home + QStringLiteral("/.local"));
        QVERIFY(QDir().mkpath(inst.dataHome));
        QVERIFY(QFile::setPermissions(inst.dataHome, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        const FirstStartResult readOnly = provideInitialDatabase(inst.dataHome, inst.program);
        QFile::setPermissions(inst.dataHome, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QCOMPARE(readOnly.outcome, Outcome::FolderFailed);
        QVERIFY2(readOnly.message.endsWith(QString::fromLocal8Bit(std::strerror(EACCES))), qPrintable(readOnly.message));
        QVERIFY(entries(inst.dataHome).isEmpty());
    }
}

void TestFirstStart::damagedShippedDatabaseIsNotPutInPlace()
{
    Installation inst;
    writeFile(inst.shipped, QByteArray(8192, '\x5a'));
    const FirstStartResult result = provideInitialDatabase(inst.dataHome, inst.program);
    QCOMPARE(result.outcome, Outcome::Damaged);
    QVERIFY2(result.message.contains(QLatin1String("not a database")), qPrintable(result.message));
    QVERIFY(entries(inst.dataHome + QStringLiteral("/Ramux")).isEmpty());
}

void TestFirstStart::somethingElseAtTheDatabasePlaceIsNamed_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("what");
    QTest::newRow("folder") << QStringLiteral("folder") << QStringLiteral("папка");
    QTest::newRow("dangling link") << QStringLiteral("dangling") << QStringLiteral("ссылка на несуществующий файл %1");
    QTest::newRow("link to a folder") << QStringLiteral("linked folder") << QStringLiteral("ссылка на папку %1");
    QTest::newRow("pipe") << QStringLiteral("fifo") << QStringLiteral("не обычный файл");
}

void TestFirstStart::somethingElseAtTheDatabasePlaceIsNamed()
{
    QFETCH(QString, kind);
    QFETCH(QString, what);
    Installation inst;
    inst.ship();
    QVERIFY(QDir().mkpath(inst.dataHome + QStringLiteral("/Ramux")));
    const QString target = inst.root.filePath(QStringLiteral("elsewhere/Ramux.rxd"));
    if (kind == QLatin1String("folder")) {
        QVERIFY(QDir().mkpath(inst.userFile));
    } else if (kind == QLatin1String("dangling")) {
        QVERIFY(QFile::link(target, inst.userFile));
    } else if (kind == QLatin1String("linked folder")) {
        QVERIFY(QDir().mkpath(target));
        QVERIFY(QFile::link(target, inst.userFile));
    } else {
        QCOMPARE(::mkfifo(QFile::encodeName(inst.userFile).constData(), 0600), 0);
    }
    const FirstStartResult result = provideInitialDatabase(inst.dataHome, inst.program);
    QCOMPARE(result.outcome, Outcome::FolderFailed);
    QCOMPARE(result.message, QStringLiteral("Не удается создать базу данных %1: на её месте %2")
                                 .arg(inst.userFile, what.contains(QLatin1String("%1")) ? what.arg(target) : what));
    // Nothing was copied beside it.
    QCOMPARE(entries(inst.dataHome + QStringLiteral("/Ramux")), QStringList{QStringLiteral("Ramux.rxd")});

    // Once the place is free, the copy goes ahead.
    if (kind == QLatin1String("folder"))
        QVERIFY(QDir(inst.userFile).removeRecursively());
    else
        QVERIFY(QFile::remove(inst.userFile));
    QCOMPARE(provideInitialDatabase(inst.dataHome, inst.program).outcome, Outcome::Copied);
    QVERIFY(QFileInfo(inst.userFile).isFile());
}

QTEST_GUILESS_MAIN(TestFirstStart)
#include "tst_firststart.moc"
