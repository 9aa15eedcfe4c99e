// The encrypted store: location rule, opening failures, schema, options row and snapshot.
#include "db/location.h"
#include "db/options.h"
#include "db/schema.h"
#include "db/snapshot.h"
#include "db/sqlitedb.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString errorOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const RamuxError &e) {
        return e.message();
    }
    return QString();
}

void touch(const QString &path)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
}

} // namespace

class TestStore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void sharedFolderFileWinsOverProgramFile();
    void connectionStringKeepsPathWithSemicolons();
    void openingFailuresCarryTheStoreText();
    void createRefusesExistingFileAndWritesDefaults();
    void twoConnectionsReadAndWriteTogether();
    void optionsDefaultsForMissingColumnsAndNulls();
    void optionsSaveByKeyInsertsMissingRow();
    void tablePositionsAndSplash();
    void snapshotOrderingsAndLookups();
    void snapshotToleratesForeignSchema();
    void longFieldsReadByIdKeepNullApartFromEmpty();
};

void TestStore::sharedFolderFileWinsOverProgramFile()
{
    QTemporaryDir dir;
    const QString shared = dir.filePath(QStringLiteral("share"));
    const QString program = dir.filePath(QStringLiteral("bin/ramux"));
    QCOMPARE(chooseDatabaseFile(shared, program), dir.filePath(QStringLiteral("bin/ramux.rxd")));
    QCOMPARE(chooseDatabaseFile(QString(), dir.filePath(QStringLiteral("bin/ramux.exe"))),
             dir.filePath(QStringLiteral("bin/ramux.rxd")));
    QVERIFY(QDir().mkpath(shared + QStringLiteral("/Ramux")));
    touch(shared + QStringLiteral("/Ramux/Ramux.rxd"));
    QCOMPARE(chooseDatabaseFile(shared, program), shared + QStringLiteral("/Ramux/Ramux.rxd"));
    // Both files present: the shared one still wins.
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("bin"))));
    touch(dir.filePath(QStringLiteral("bin/ramux.rxd")));
    QCOMPARE(chooseDatabaseFile(shared, program), shared + QStringLiteral("/Ramux/Ramux.rxd"));
    // The real rule honours the data location and creates the folder.
    QVERIFY(LocateDatabaseFile().endsWith(QStringLiteral(".rxd")));

    // The real rule with the XDG data folder and the program's own file both present.
    const QString beside = QCoreApplication::applicationFilePath() + QStringLiteral(".rxd");
    QFile::remove(beside); // left by an interrupted run
    touch(beside);
    const QByteArray savedXdg = qgetenv("XDG_DATA_HOME");
    QStandardPaths::setTestModeEnabled(false);
    qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("xdg")).toLocal8Bit());
    const QString besideFound = LocateDatabaseFile();
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("xdg/Ramux"))));
    touch(dir.filePath(QStringLiteral("xdg/Ramux/Ramux.rxd")));
    const QString sharedFound = LocateDatabaseFile();
    if (savedXdg.isNull())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", savedXdg);
    QStandardPaths::setTestModeEnabled(true);
    QFile::remove(beside);
    QCOMPARE(besideFound, beside);
    QCOMPARE(sharedFound, dir.filePath(QStringLiteral("xdg/Ramux/Ramux.rxd")));
}

void TestStore::connectionStringKeepsPathWithSemicolons()
{
    const QString path = QStringLiteral("/tmp/a;b=c/Ramux.rxd");
    const QString cs = BuildConnectionString(path);
    QVERIFY(cs.contains(QStringLiteral("Data Source=") + path + QLatin1Char(';')));
    QVERIFY(cs.endsWith(QStringLiteral("Persist Security Info=False;Encrypt Database=True")));
    const ConnectionSettings s = parseConnectionString(cs);
    QCOMPARE(s.path, path);
    QCOMPARE(s.password, schema::databasePassword());
}

void TestStore::openingFailuresCarryTheStoreText()
{
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("none.rxd"));
    Database db;
    QVERIFY(errorOf([&] { db.openConnectionString(BuildConnectionString(missing)); }).contains(missing));
    QVERIFY(!QFile::exists(missing)); // never silently created

    const QString path = dir.filePath(QStringLiteral("r.rxd"));
    schema::createDatabaseFile(path);
    QCOMPARE(errorOf([&] { db.open(path, "wrong password"); }), QStringLiteral("file is encrypted or is not a database"));
    QVERIFY(!db.isOpen());

    // A plain SQLite file and a damaged one are refused the same way.
    const QString plain = dir.filePath(QStringLiteral("plain.rxd"));
    {
        Database p;
        p.open(plain, QByteArray(), Database::OpenMode::Create);
        p.exec(QStringLiteral("CREATE TABLE t (x)"));
    }
    QCOMPARE(errorOf([&] { db.open(plain, schema::databasePassword()); }), QStringLiteral("file is encrypted or is not a database"));
    const QString damaged = dir.filePath(QStringLiteral("damaged.rxd"));
    QFile::copy(path, damaged);
    QFile f(damaged);
    QVERIFY(f.open(QIODevice::ReadWrite));
    f.seek(100);
    f.write(QByteArray(2000, '\x5a'));
    f.close();
    QVERIFY(!errorOf([&] { db.open(damaged, schema::databasePassword()); }).isEmpty());

    db.openConnectionString(BuildConnectionString(path));
    QVERIFY(db.isOpen());
}

void TestStore::createRefusesExistingFileAndWritesDefaults()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("n.rxd"));
    schema::createDatabaseFile(path);
    QVERIFY(errorOf([&] { schema::createDatabaseFile(path); }).contains(path));
    Database db;
    db.open(path, schema::databasePassword());
    const StoredOptions o = LoadStoredOptions(db);
    QCOMPARE(o.updServ, schema::defaultServerAddress());
    QVERIFY(o.progUpd && o.dataUpd);
    QCOMPARE(o.proxyHost, QString());
    for (const QString &table : schema::dataTables())
        QCOMPARE(readTablePosition(db, table), 0);
    Statement journal = db.prepare(QStringLiteral("PRAGMA journal_mode"));
    QVERIFY(journal.step());
    QCOMPARE(journal.text(0), QStringLiteral("wal"));
}

void TestStore::twoConnectionsReadAndWriteTogether()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("two.rxd"));
    schema::createDatabaseFile(path);
    Database window, worker;
    window.open(path, schema::databasePassword());
    worker.open(path, schema::databasePassword());
    Statement reading = window.prepare(QStringLiteral("SELECT * FROM options"));
    QVERIFY(reading.step()); // a reader holds its snapshot open
    {
        Transaction tx(worker);
        writeTablePosition(worker, QStringLiteral("items"), 42);
        tx.commit();
    }
    reading.reset();
    StoredOptions o = LoadStoredOptions(window);
    o.proxyHost = QStringLiteral("proxy.local");
    SaveStoredOptions(window, o); // the worker's write to the same row does not make this fail
    QCOMPARE(readTablePosition(window, QStringLiteral("items")), 42);
    QCOMPARE(LoadStoredOptions(worker).proxyHost, QStringLiteral("proxy.local"));
}

void TestStore::optionsDefaultsForMissingColumnsAndNulls()
{
    QTemporaryDir dir;
    Database db;
    db.open(dir.filePath(QStringLiteral("o.rxd")), schema::databasePassword(), Database::OpenMode::Create);
    db.exec(QStringLiteral("CREATE TABLE options (id INTEGER PRIMARY KEY, O_UPD_SERV TEXT, o_data_upd INTEGER, proxyhost TEXT)"));
    db.exec(QStringLiteral("INSERT INTO options (id, O_UPD_SERV, o_data_upd, proxyhost) VALUES (1, NULL, NULL, 'h')"));
    StoredOptions o = LoadStoredOptions(db);
    QCOMPARE(o.updServ, QString());   // NULL reads as empty, not the default
    QVERIFY(o.progUpd);               // missing column: default (ticked)
    QVERIFY(!o.dataUpd);              // NULL: not ticked
    QCOMPARE(o.proxyHost, QStringLiteral("h")); // found without regard to letter case
    QCOMPARE(o.proxyPort, QString());

    const StoredOptions w = LoadWorkerOptions(db);
    QCOMPARE(w.updServ, QString()); // a stored empty (NULL) address is used unchanged
    QVERIFY(w.progUpd);
    QVERIFY(!w.dataUpd);

    // Saving fails while a settings column is missing, and leaves the row as it was.
    QVERIFY(!errorOf([&] { SaveStoredOptions(db, o); }).isEmpty());
    QCOMPARE(LoadStoredOptions(db).proxyHost, QStringLiteral("h"));
}

void TestStore::optionsSaveByKeyInsertsMissingRow()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("s.rxd"));
    schema::createDatabaseFile(path);
    Database db;
    db.open(path, schema::databasePassword());
    db.exec(QStringLiteral("DELETE FROM options"));
    StoredOptions empty = LoadStoredOptions(db);
    QCOMPARE(empty.updServ, QString());
    QVERIFY(!empty.progUpd && !empty.dataUpd); // a table without a row reads as empty / not ticked
    QCOMPARE(LoadWorkerOptions(db).updServ, schema::defaultServerAddress());

    StoredOptions o;
    o.updServ = QStringLiteral("http://example.test/api.php");
    o.progUpd = false;
    o.dataUpd = true;
    o.proxyUser = QStringLiteral("пользователь");
    SaveStoredOptions(db, o);
    SaveStoredOptions(db, o);
    Statement count = db.prepare(QStringLiteral("SELECT count(*), min(id) FROM options"));
    QVERIFY(count.step());
    QCOMPARE(count.int64(0), 1);
    QCOMPARE(count.int64(1), 1);
    const StoredOptions back = LoadStoredOptions(db);
    QCOMPARE(back.updServ, o.updServ);
    QVERIFY(!back.progUpd && back.dataUpd);
    QCOMPARE(back.proxyUser, o.proxyUser);
}

void TestStore::tablePositionsAndSplash()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("p.rxd"));
    schema::createDatabaseFile(path);
    Database db;
    db.open(path, schema::databasePassword());
    QVERIFY(!readStoredSplash(db));
    storeSplash(db, QStringLiteral("<HTML>YWJj</HTML>"));
    QCOMPARE(readStoredSplash(db).value_or(QString()), QStringLiteral("<HTML>YWJj</HTML>"));
    writeTablePosition(db, QStringLiteral("items_to_dealers"), 1234567890123);
    QCOMPARE(readTablePosition(db, QStringLiteral("items_to_dealers")), 1234567890123);
    QCOMPARE(readTablePosition(db, QStringLiteral("options; DROP TABLE items")), 0);
    QVERIFY(!errorOf([&] { writeTablePosition(db, QStringLiteral("nope"), 1); }).isEmpty());
    db.exec(QStringLiteral("UPDATE options SET lu_items = 'garbage'"));
    QCOMPARE(readTablePosition(db, QStringLiteral("items")), 0);
}

void TestStore::snapshotOrderingsAndLookups()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("snap.rxd"));
    schema::createDatabaseFile(path);
    Database db;
    db.open(path, schema::databasePassword());
    db.exec(QStringLiteral(
        "INSERT INTO sections (id, parent_id, name) VALUES (5, 1, 'e'), (3, 0, 'c'), (4, 1, 'd'), (1, 0, 'a'), (2, NULL, 'b');"
        "INSERT INTO vendors (id, name) VALUES (1, 'яблоко'), (2, 'Арбуз'), (3, 'ёлка'), (4, 'Банан');"
        "INSERT INTO items (id, name, name_lat) VALUES (1, 'в', NULL), (2, 'Б', 'B'), (3, NULL, 'A'), (4, 'а', '');"
        "INSERT INTO distributors (id, name, description) VALUES (7, 'd', NULL), (8, 'e', '');"
        "INSERT INTO items_to_sections (id, item_id, section_id) VALUES (9, 1, 5), (2, 2, 5), (5, 1, 3);"));
    ReferenceSnapshot s;
    QStringList order;
    loadReferenceTables(db, s, [&](const QString &t) { order << t; });
    QCOMPARE(order, QStringList({QStringLiteral("sections"), QStringLiteral("distributors"), QStringLiteral("vendors"),
                                 QStringLiteral("dealers"), QStringLiteral("items"), QStringLiteral("items_to_sections"),
                                 QStringLiteral("items_to_vendors"), QStringLiteral("items_to_dealers"),
                                 QStringLiteral("items_to_distributors")}));
    QList<qint64> sectionIds;
    for (const auto &r : s.sections.rows)
        sectionIds << r.id;
    QCOMPARE(sectionIds, QList<qint64>({1, 2, 3, 4, 5})); // a NULL parent sorts as 0, then by id
    QStringList vendors;
    for (const auto &r : s.vendors.rows)
        vendors << *r.name;
    QCOMPARE(vendors, QStringList({QStringLiteral("Арбуз"), QStringLiteral("Банан"), QStringLiteral("ёлка"),
                                   QStringLiteral("яблоко")}));
    QStringList items;
    for (const auto &r : s.items.rows)
        items << r.name.value_or(QStringLiteral("<null>"));
    QCOMPARE(items.mid(1), QStringList({QStringLiteral("а"), QStringLiteral("Б"), QStringLiteral("в")}));
    QVERIFY(s.items.locate(3) && !s.items.locate(3)->name);
    QVERIFY(s.items.locate(4)->nameLat && s.items.locate(4)->nameLat->isEmpty()); // empty is not NULL
    QVERIFY(s.distributors.locate(7)->descriptionIsNull);
    QVERIFY(!s.distributors.locate(8)->descriptionIsNull);
    QVERIFY(!s.vendors.locate(99));
    QList<qint64> links;
    for (const auto &r : s.itemsToSections.rows)
        links << *r.id;
    QCOMPARE(links, QList<qint64>({2, 5, 9})); // stored order
}

void TestStore::snapshotToleratesForeignSchema()
{
    QTemporaryDir dir;
    Database db;
    db.open(dir.filePath(QStringLiteral("f.rxd")), schema::databasePassword(), Database::OpenMode::Create);
    db.exec(QStringLiteral(
        "CREATE TABLE sections (ID INTEGER, NAME TEXT);"
        "CREATE TABLE distributors (id INTEGER); CREATE TABLE vendors (id INTEGER, Name TEXT);"
        "CREATE TABLE dealers (id INTEGER); CREATE TABLE items (id INTEGER, Name TEXT);"
        "CREATE TABLE items_to_sections (item_id INTEGER, section_id INTEGER);"
        "INSERT INTO sections VALUES (1, 'x'), (NULL, 'no key');"
        "INSERT INTO items VALUES (NULL, 'no key'), (2, 'два');"
        "INSERT INTO items_to_sections VALUES (2, 1);"));
    ReferenceSnapshot s;
    // items_to_vendors is missing: the tables before it are open, the rest are not.
    QCOMPARE(errorOf([&] { loadReferenceTables(db, s); }), QStringLiteral("no such table: items_to_vendors"));
    QVERIFY(s.itemsToSections.open && !s.itemsToVendors.open);
    QCOMPARE(s.sections.rows.size(), 1);
    QVERIFY(!s.sections.rows[0].parentId);
    QCOMPARE(s.items.rows.size(), 2); // the keyless row is kept; the lists skip it
    QCOMPARE(*s.items.locate(2)->name, QStringLiteral("два"));
    QVERIFY(!s.items.locate(2)->nameLat);
    QVERIFY(!s.itemsToSections.rows[0].id);
    QCOMPARE(*s.itemsToSections.rows[0].targetId, 1);
    const ItemTexts t = readItemTexts(db, 2);
    QVERIFY(!t.description && !t.storageInstructions);
}

void TestStore::longFieldsReadByIdKeepNullApartFromEmpty()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("l.rxd"));
    schema::createDatabaseFile(path);
    Database db;
    db.open(path, schema::databasePassword());
    db.exec(QStringLiteral("INSERT INTO items (id, name, form, CONTRA_INDICATION) VALUES (1, 'x', '', '<HTML>YQ==</HTML>');"
                           "INSERT INTO dealers (id, name, description) VALUES (3, 'd', '  ')"));
    const ItemTexts t = readItemTexts(db, 1);
    QVERIFY(t.form && t.form->isEmpty());
    QVERIFY(!t.dose);
    QCOMPARE(t.contraIndication.value_or(QString()), QStringLiteral("<HTML>YQ==</HTML>"));
    QVERIFY(!readItemTexts(db, 99).form);
    QCOMPARE(readDescription(db, QStringLiteral("dealers"), 3).value_or(QString()), QStringLiteral("  "));
    QVERIFY(!readDescription(db, QStringLiteral("dealers"), 4));
    QVERIFY(!errorOf([&] { readDescription(db, QStringLiteral("options"), 1); }).isEmpty());
}

QTEST_GUILESS_MAIN(TestStore)
#include "tst_store.moc"
