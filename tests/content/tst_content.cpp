// The content database (paging contract, changes and tombstones), the demo importer on a small
// fixture, the client database writer and the synthetic generator.
#include "contenttesthelpers.h"

#include "content/content.h"
#include "content/contentdb.h"
#include "content/sourcereader.h"
#include "db/schema.h"
#include "db/sqlitedb.h"
#include "content/synth.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString fixtureDir()
{
    return qEnvironmentVariable("RAMUX_SOURCE_DIR") + QStringLiteral("/tests/content/fixture");
}

// A content set of `count` sections, ids 1..count, stamped 1..count.
ContentSet sectionsSet(int count)
{
    ContentSet set = ContentSet::empty();
    ContentTable &t = set.table(QStringLiteral("sections"));
    for (int id = 1; id <= count; ++id) {
        ContentRow &row = t.addRow(id);
        t.set(row, QStringLiteral("parent_id"), QStringLiteral("0"));
        t.set(row, QStringLiteral("name"), QStringLiteral("Группа %1").arg(id));
    }
    set.assignStamps();
    return set;
}

QList<qint64> ids(const ContentPage &page)
{
    QList<qint64> out;
    for (const auto &row : page.rows)
        out.append(row.id);
    return out;
}

// Pages through a table as the client does: next page after the newest stamp of the last one.
QList<qint64> pageThrough(ContentDatabase &db, const QString &table, int limit, int *pages = nullptr)
{
    QList<qint64> seen;
    qint64 date = 0;
    for (int guard = 0; guard < 10000; ++guard) {
        const ContentPage page = db.readPage(table, date, limit);
        if (page.rows.empty())
            break;
        if (pages)
            ++*pages;
        for (const auto &row : page.rows) {
            seen.append(row.id);
            date = std::max(date, row.stamp);
        }
    }
    return seen;
}

void copyTree(const QString &from, const QString &to)
{
    QDir().mkpath(to);
    const QDir source(from);
    for (const QFileInfo &info : source.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString target = to + QLatin1Char('/') + info.fileName();
        if (info.isDir())
            copyTree(info.filePath(), target);
        else
            QVERIFY(QFile::copy(info.filePath(), target));
    }
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

} // namespace

class TestContent : public QObject
{
    Q_OBJECT

private slots:
    void fixtureImportPacksSectionsWithTheirImages();
    void fixtureImportLinksAndGreeting();
    void malformedSourcesFail_data();
    void malformedSourcesFail();

    void pageHoldsExactlyLimitRowsInStampOrder();
    void runOfEqualStampsIsNeverSplit();
    void equalStampsAcrossRowsAndDeletionsStayTogether();
    void deletionAfterUpdateOfSameId();
    void upsertChangesOnlyTheGivenColumnsUnderNewStamps();
    void unknownTableIsRefused();
    void clearedColumnsAreSentEmptyHoweverCleared();
    void pageEndsAtTheByteBudgetBetweenRuns();

    void clientDatabaseHoldsWhatTheServerServes();
    void synthIsDeterministicAndConsistent();

private:
    QTemporaryDir m_dir;
};

void TestContent::fixtureImportPacksSectionsWithTheirImages()
{
    const ContentSet set = loadDemoContent(fixtureDir());
    const ContentTable &items = *set.findTable(QStringLiteral("items"));
    QCOMPARE(int(items.rows.size()), 2);
    const ContentRow &first = items.rows.at(0);
    QCOMPARE(first.id, 101);
    // Names are taken as written, spaces included; an absent name stays NULL.
    QCOMPARE(first.values.at(items.columnIndex(QStringLiteral("name"))),
             FieldValue(QStringLiteral("  Альбендазол-10 суспензия")));
    QVERIFY(!items.rows.at(1).values.at(items.columnIndex(QStringLiteral("name"))).has_value());
    QCOMPARE(items.rows.at(1).values.at(items.columnIndex(QStringLiteral("name_lat"))),
             FieldValue(QStringLiteral("Ivermectinum")));

    const Unpacked description = unpack(*first.values.at(items.columnIndex(QStringLiteral("description"))));
    QCOMPARE(description.html, QStringLiteral("<p>Суспензия <b>для</b> приёма внутрь.</p>"));
    QVERIFY(description.attachments.isEmpty());
    // Every image is attached once, in order of first use, to the field that refers to it.
    const Unpacked storage =
        unpack(*first.values.at(items.columnIndex(QStringLiteral("storage_instructions"))));
    QCOMPARE(storage.attachments, QStringList({QStringLiteral("VIAL"), QStringLiteral("LOGO")}));
    QVERIFY(storage.html.contains(QStringLiteral("25 °C")));
    QVERIFY(storage.html.contains(QStringLiteral("&amp; влаги")));
    QCOMPARE(unpack(*first.values.at(items.columnIndex(QStringLiteral("form")))).attachments,
             QStringList{QStringLiteral("VIAL")});
    // An empty section and a missing one are both NULL; contra_indication maps to its column.
    QVERIFY(!first.values.at(items.columnIndex(QStringLiteral("dose"))).has_value());
    QVERIFY(!first.values.at(items.columnIndex(QStringLiteral("CONTRA_INDICATION"))).has_value());

    const ContentTable &sections = *set.findTable(QStringLiteral("sections"));
    QCOMPARE(unpack(*sections.rows.at(0).values.at(sections.columnIndex(QStringLiteral("description"))))
                 .attachments,
             QStringList{QStringLiteral("VIAL")});
    QVERIFY(!sections.rows.at(1).values.at(sections.columnIndex(QStringLiteral("description"))).has_value());
}

void TestContent::fixtureImportLinksAndGreeting()
{
    const ContentSet set = loadDemoContent(fixtureDir());
    const ContentTable &links = *set.findTable(QStringLiteral("items_to_sections"));
    QList<QStringList> got;
    for (const ContentRow &row : links.rows)
        got.append({QString::number(row.id), *row.values.at(0), *row.values.at(1)});
    QCOMPARE(got, (QList<QStringList>{{"1", "101", "2"}, {"2", "101", "3"}, {"3", "102", "2"}}));
    QCOMPARE(int(set.findTable(QStringLiteral("items_to_vendors"))->rows.size()), 2);
    QCOMPARE(int(set.findTable(QStringLiteral("items_to_dealers"))->rows.size()), 1);

    // Each row its own stamp; the greeting page carries its logo.
    QSet<qint64> stamps;
    qint64 rows = 0;
    for (const ContentTable &t : set.tables) {
        for (const ContentRow &row : t.rows) {
            stamps.insert(row.stamp);
            ++rows;
        }
    }
    QCOMPARE(qint64(stamps.size()), rows);
    QVERIFY(!stamps.contains(0));
    const Unpacked greeting = unpack(set.meta.value(QStringLiteral("greeting")));
    QCOMPARE(greeting.attachments, QStringList{QStringLiteral("LOGO")});
    QVERIFY(greeting.html.contains(QStringLiteral("не клиническая рекомендация")));
}

void TestContent::malformedSourcesFail_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("missing image") << "items/101.txt" << QByteArray("id: 101\n== form\n<img src=\"NOPE\">\n");
    QTest::newRow("image name not an element name")
        << "items/101.txt" << QByteArray("== form\n<img src=\"1 x\">\n");
    QTest::newRow("unknown section") << "items/101.txt" << QByteArray("== forms\n<p>x</p>\n");
    QTest::newRow("repeated section")
        << "items/101.txt" << QByteArray("== form\n<p>x</p>\n== form\n<p>y</p>\n");
    QTest::newRow("bad id list") << "items/101.txt" << QByteArray("groups: 1, x\n");
    QTest::newRow("id differs from file") << "items/101.txt" << QByteArray("id: 7\n");
    QTest::newRow("unknown key") << "items/101.txt" << QByteArray("group: 1\n");
    QTest::newRow("name outside Windows-1251")
        << "items/101.txt" << QByteArray("name: Препарат \xE2\x89\xA5 5\n");
    QTest::newRow("short list line") << "vendors.tsv" << QByteArray("1\n");
    QTest::newRow("repeated vendor") << "vendors.tsv" << QByteArray("1\tA\n1\tB\n");
    QTest::newRow("parent not a number") << "sections.tsv" << QByteArray("1\tx\tГруппа\n");
    QTest::newRow("not a png") << "images/VIAL.png" << QByteArray("GIF89a");
}

void TestContent::malformedSourcesFail()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QTemporaryDir dir;
    copyTree(fixtureDir(), dir.path());
    writeFile(dir.filePath(file), content);
    try {
        loadDemoContent(dir.path());
        QFAIL("malformed sources were imported");
    } catch (const RamuxError &e) {
        // The message names the file so the author can find the fault.
        QVERIFY2(e.message().contains(QFileInfo(file).fileName()) ||
                     e.message().contains(QStringLiteral("NOPE")),
                 qPrintable(e.message()));
    }
}

void TestContent::pageHoldsExactlyLimitRowsInStampOrder()
{
    const QString path = m_dir.filePath(QStringLiteral("paging.sqlite"));
    ContentDatabase::create(path, sectionsSet(10));
    ContentDatabase db(path);
    const ContentPage page = db.readPage(QStringLiteral("sections"), 0, 4);
    QCOMPARE(ids(page), (QList<qint64>{1, 2, 3, 4}));
    QCOMPARE(page.rows.back().stamp, 4);
    QCOMPARE(ids(db.readPage(QStringLiteral("sections"), 4, 4)), (QList<qint64>{5, 6, 7, 8}));
    QCOMPARE(ids(db.readPage(QStringLiteral("sections"), 8, 4)), (QList<qint64>{9, 10}));
    QVERIFY(db.readPage(QStringLiteral("sections"), 10, 4).rows.empty());
    // A limit equal to the table size gives one full page and then an empty one.
    int pages = 0;
    QCOMPARE(pageThrough(db, QStringLiteral("sections"), 10, &pages).size(), 10);
    QCOMPARE(pages, 1);
    QCOMPARE(pageThrough(db, QStringLiteral("sections"), 1, &pages).size(), 10);
    // Values come as stored text; NULL stays absent.
    const ContentPage one = db.readPage(QStringLiteral("sections"), 0, 1);
    const int name = int(one.columns.indexOf(QStringLiteral("name")));
    QCOMPARE(*one.rows.front().values.at(size_t(name)), QByteArray("Группа 1"));
    QVERIFY(
        !one.rows.front().values.at(size_t(one.columns.indexOf(QStringLiteral("description")))).has_value());
}

void TestContent::runOfEqualStampsIsNeverSplit()
{
    ContentSet set = sectionsSet(7);
    // Stamps 1, 2, 2, 2, 2, 3, 4: a foreign file where one change touched four rows.
    const qint64 stamps[] = {1, 2, 2, 2, 2, 3, 4};
    auto &rows = set.table(QStringLiteral("sections")).rows;
    for (size_t i = 0; i < rows.size(); ++i)
        rows[i].stamp = stamps[i];
    const QString path = m_dir.filePath(QStringLiteral("runs.sqlite"));
    ContentDatabase::create(path, set);
    ContentDatabase db(path);
    // The page of 2 would end inside the run: it grows to the end of the run.
    QCOMPARE(ids(db.readPage(QStringLiteral("sections"), 0, 2)), (QList<qint64>{1, 2, 3, 4, 5}));
    // A page that ends exactly at the end of a run is not grown.
    QCOMPARE(ids(db.readPage(QStringLiteral("sections"), 0, 5)), (QList<qint64>{1, 2, 3, 4, 5}));
    QCOMPARE(ids(db.readPage(QStringLiteral("sections"), 1, 1)), (QList<qint64>{2, 3, 4, 5}));
    for (int limit = 1; limit <= 8; ++limit)
        QCOMPARE(pageThrough(db, QStringLiteral("sections"), limit), (QList<qint64>{1, 2, 3, 4, 5, 6, 7}));
}

void TestContent::equalStampsAcrossRowsAndDeletionsStayTogether()
{
    const QString path = m_dir.filePath(QStringLiteral("mixed.sqlite"));
    ContentDatabase::create(path, sectionsSet(3));
    ContentDatabase db(path);
    // Deletions sharing the stamp of live rows, as a hand-made file could have them.
    db.database().exec(QStringLiteral("UPDATE sections SET last_update = 5"));
    db.database().exec(QStringLiteral("INSERT INTO tombstones (tbl, id, last_update) VALUES "
                                      "('sections', 20, 5), ('sections', 21, 5), ('sections', 22, 6)"));
    const ContentPage page = db.readPage(QStringLiteral("sections"), 0, 2);
    QCOMPARE(ids(page), (QList<qint64>{1, 2, 3, 20, 21}));
    QVERIFY(!page.rows.at(2).deleted);
    QVERIFY(page.rows.at(3).deleted && page.rows.at(4).deleted);
    QVERIFY(page.rows.at(3).values.empty());
    QCOMPARE(pageThrough(db, QStringLiteral("sections"), 1), (QList<qint64>{1, 2, 3, 20, 21, 22}));
}

void TestContent::deletionAfterUpdateOfSameId()
{
    const QString path = m_dir.filePath(QStringLiteral("delete.sqlite"));
    ContentDatabase::create(path, sectionsSet(5));
    ContentDatabase db(path);
    const qint64 updated =
        db.upsertRow(QStringLiteral("sections"), 3, {{QStringLiteral("name"), QStringLiteral("Новое имя")}});
    QCOMPARE(updated, 6);
    const qint64 deleted = db.deleteRow(QStringLiteral("sections"), 3);
    QCOMPARE(deleted, 7);
    QCOMPARE(db.deleteRow(QStringLiteral("sections"), 3), 0); // nothing left to delete
    QCOMPARE(db.deleteRow(QStringLiteral("sections"), 99), 0);

    // A client that had everything up to 5 gets only the deletion, after which nothing revives the row.
    const ContentPage after = db.readPage(QStringLiteral("sections"), 5, 200);
    QCOMPARE(ids(after), QList<qint64>{3});
    QVERIFY(after.rows.front().deleted);
    QCOMPARE(after.rows.front().stamp, 7);
    // A fresh client never sees row 3 alive: its only trace is the deletion, last.
    const ContentPage fresh = db.readPage(QStringLiteral("sections"), 0, 200);
    QCOMPARE(ids(fresh), (QList<qint64>{1, 2, 4, 5, 3}));
    QVERIFY(fresh.rows.back().deleted);
    QCOMPARE(db.highestStamp(QStringLiteral("sections")), 7);

    // Added again: a live row under a new stamp and no deletion any more.
    const qint64 revived =
        db.upsertRow(QStringLiteral("sections"), 3, {{QStringLiteral("name"), QStringLiteral("Снова")}});
    QCOMPARE(revived, 8);
    const ContentPage again = db.readPage(QStringLiteral("sections"), 5, 200);
    QCOMPARE(ids(again), QList<qint64>{3});
    QVERIFY(!again.rows.front().deleted);
    // The row was deleted, so nothing of the old values survives.
    QVERIFY(!again.rows.front()
                 .values.at(size_t(again.columns.indexOf(QStringLiteral("parent_id"))))
                 .has_value());
}

void TestContent::upsertChangesOnlyTheGivenColumnsUnderNewStamps()
{
    const QString path = m_dir.filePath(QStringLiteral("upsert.sqlite"));
    ContentDatabase::create(path, sectionsSet(2));
    ContentDatabase db(path);
    const qint64 a = db.upsertRow(QStringLiteral("sections"), 1,
                                  {{QStringLiteral("DESCRIPTION"), QStringLiteral("<HTML></HTML>")}});
    const qint64 b = db.upsertRow(QStringLiteral("sections"), 1, {{QStringLiteral("name"), std::nullopt}});
    QVERIFY(b > a && a > 2);
    const ContentSet all = db.readAll();
    const ContentTable &t = *all.findTable(QStringLiteral("sections"));
    const ContentRow &row = t.rows.front();
    QCOMPARE(row.stamp, b);
    QCOMPARE(row.values.at(t.columnIndex(QStringLiteral("parent_id"))), FieldValue(QStringLiteral("0")));
    QVERIFY(!row.values.at(t.columnIndex(QStringLiteral("name"))).has_value());
    QCOMPARE(row.values.at(t.columnIndex(QStringLiteral("description"))),
             FieldValue(QStringLiteral("<HTML></HTML>")));
    QVERIFY_THROWS_EXCEPTION(
        RamuxError, db.upsertRow(QStringLiteral("sections"), 1, {{QStringLiteral("bogus"), QString()}}));
    // A refused change leaves the counter alone.
    QCOMPARE(db.upsertRow(QStringLiteral("sections"), 2, {}), b + 1);
}

void TestContent::unknownTableIsRefused()
{
    const QString path = m_dir.filePath(QStringLiteral("tables.sqlite"));
    ContentDatabase::create(path, sectionsSet(1));
    ContentDatabase db(path);
    QVERIFY_THROWS_EXCEPTION(RamuxError, db.readPage(QStringLiteral("meta"), 0, 10));
    QVERIFY_THROWS_EXCEPTION(RamuxError, db.readPage(QStringLiteral("options"), 0, 10));
    QVERIFY_THROWS_EXCEPTION(RamuxError, db.readPage(QStringLiteral("sections; DROP TABLE meta"), 0, 10));
    QVERIFY_THROWS_EXCEPTION(RamuxError, db.deleteRow(QStringLiteral("tombstones"), 1));
    // A plain file that is not a content database is refused at open.
    const QString client = m_dir.filePath(QStringLiteral("not-content.sqlite"));
    {
        Database plain;
        plain.open(client, QByteArray(), Database::OpenMode::Create);
        plain.exec(QStringLiteral("CREATE TABLE x (id INTEGER)"));
    }
    QVERIFY_THROWS_EXCEPTION(RamuxError, ContentDatabase{client});
}

// The value of one column of one row in a page from the start, as the server would send it.
std::optional<QByteArray> served(ContentDatabase &db, const QString &table, qint64 id, const QString &column)
{
    const ContentPage page = db.readPage(table, 0, 1000);
    const qsizetype at = page.columns.indexOf(column);
    for (const auto &row : page.rows) {
        if (row.id == id && !row.deleted)
            return row.values.at(size_t(at));
    }
    return QByteArray("<no row>");
}

void TestContent::clearedColumnsAreSentEmptyHoweverCleared()
{
    const QString path = m_dir.filePath(QStringLiteral("cleared.sqlite"));
    ContentSet set = sectionsSet(6);
    ContentTable &t = set.table(QStringLiteral("sections"));
    for (ContentRow &row : t.rows)
        t.set(row, QStringLiteral("description"), QStringLiteral("<HTML>PHA+</HTML>"));
    t.set(t.rows[5], QStringLiteral("description"), std::nullopt); // row 6: never had one
    ContentDatabase::create(path, set);
    const QString section = QStringLiteral("sections");
    const QString description = QStringLiteral("description");
    {
        ContentDatabase db(path);
        // Through the change call, by hand with SQL, by an INSERT OR REPLACE, by a delete
        // without tombstone and an insert afterwards.
        db.upsertRow(section, 1, {{description, std::nullopt}});
        db.database().exec(QStringLiteral("UPDATE sections SET description = NULL, last_update = 100 WHERE id = 2"));
        db.database().exec(QStringLiteral("INSERT OR REPLACE INTO sections (id, parent_id, name, last_update)"
                                          " VALUES (3, 0, 'Группа 3', 101)"));
        db.database().exec(QStringLiteral("DELETE FROM sections WHERE id = 4"));
        db.database().exec(QStringLiteral("INSERT INTO sections (id, name, last_update) VALUES (4, 'Снова', 102)"));
        // Row 5 is deleted the regular way and comes back: clients appended it afresh.
        db.upsertRow(section, 5, {{description, std::nullopt}});
        db.deleteRow(section, 5);
        db.upsertRow(section, 5, {{QStringLiteral("name"), QStringLiteral("Пятая")}});
        // Row 6 changes, its always-NULL description stays left out.
        db.upsertRow(section, 6, {{QStringLiteral("name"), QStringLiteral("Шестая")}});

        for (qint64 id : {1, 2, 3, 4})
            QVERIFY2(served(db, section, id, description) == QByteArray(""), qPrintable(QString::number(id)));
        // Clients still hold row 4 as it was: its parent is cleared there too.
        QCOMPARE(served(db, section, 4, QStringLiteral("parent_id")), QByteArray(""));
        QCOMPARE(served(db, section, 4, QStringLiteral("name")), QByteArray("Снова"));
        QVERIFY(!served(db, section, 5, description).has_value());
        QVERIFY(!served(db, section, 6, description).has_value());
        // A value set again is sent as the value.
        db.upsertRow(section, 1, {{description, QStringLiteral("<HTML>cQ==</HTML>")}});
        QCOMPARE(served(db, section, 1, description), QByteArray("<HTML>cQ==</HTML>"));
    }
    // A content file from before the tracking: opening it adds the triggers, and a file whose
    // columns changed by hand gets triggers that cover the new column.
    {
        Database raw;
        raw.open(path, QByteArray());
        raw.exec(QStringLiteral("DROP TABLE cleared_columns"));
        Statement triggers = raw.prepare(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'trigger'"));
        QStringList names;
        while (triggers.step())
            names.append(triggers.text(0));
        QCOMPARE(names.size(), int(schema::servedTables().size()) * 3 + 1);
        for (const QString &name : std::as_const(names))
            raw.exec(QStringLiteral("DROP TRIGGER %1").arg(quoteIdentifier(name)));
        raw.exec(QStringLiteral("ALTER TABLE sections ADD COLUMN note TEXT"));
        raw.exec(QStringLiteral("UPDATE sections SET note = 'x' WHERE id = 6"));
    }
    ContentDatabase db(path);
    db.database().exec(QStringLiteral("UPDATE sections SET name = NULL, note = NULL, last_update = 200 WHERE id = 6"));
    QCOMPARE(served(db, section, 6, QStringLiteral("name")), QByteArray(""));
    QCOMPARE(served(db, section, 6, QStringLiteral("note")), QByteArray(""));
    QVERIFY(!served(db, section, 6, description).has_value());
}

void TestContent::pageEndsAtTheByteBudgetBetweenRuns()
{
    // Rows of about 1 KB; stamps 1, 1, 2, 2, 2, 3, 4 (runs as a foreign file can have them).
    ContentSet set = sectionsSet(7);
    ContentTable &t = set.table(QStringLiteral("sections"));
    const qint64 stamps[] = {1, 1, 2, 2, 2, 3, 4};
    for (size_t i = 0; i < t.rows.size(); ++i) {
        t.rows[i].stamp = stamps[i];
        t.set(t.rows[i], QStringLiteral("description"), QString(1000, QLatin1Char('a')));
    }
    const QString path = m_dir.filePath(QStringLiteral("budget.sqlite"));
    // Writing the file names every run that alone is over the page budget.
    ContentDatabase::create(path, set);
    ContentDatabase db(path);
    QCOMPARE(int(db.oversizedRuns(2500).size()), 1);
    QCOMPARE(db.oversizedRuns(2500).front().stamp, 2);
    QCOMPARE(db.oversizedRuns(2500).front().rows, 3);
    QVERIFY(db.oversizedRuns().empty());

    // Over 3.5 KB within run 2: the page ends after run 2, not inside it.
    const QString sections = QStringLiteral("sections");
    QCOMPARE(ids(db.readPage(sections, 0, 200, 3500)), (QList<qint64>{1, 2, 3, 4, 5}));
    QCOMPARE(ids(db.readPage(sections, 2, 200, 3500)), (QList<qint64>{6, 7}));
    QCOMPARE(ids(db.readPage(sections, 0, 200)), (QList<qint64>{1, 2, 3, 4, 5, 6, 7}));
    // A run that alone passes the budget is sent whole, and said so loudly.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("WARNING: table sections: the 2 rows stamped 1 ")));
    QCOMPARE(ids(db.readPage(sections, 0, 200, 1500)), (QList<qint64>{1, 2}));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("WARNING: table sections: the 3 rows stamped 2 ")));
    QCOMPARE(ids(db.readPage(sections, 1, 200, 2500)), (QList<qint64>{3, 4, 5}));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("table sections: the 3 rows stamped 2 make")));
    ContentDatabase::create(m_dir.filePath(QStringLiteral("budget2.sqlite")), [&] {
        ContentSet big = set;
        for (ContentRow &row : big.table(sections).rows)
            if (row.stamp == 2)
                big.table(sections).set(row, QStringLiteral("description"), QString(3 * 1024 * 1024, QLatin1Char('b')));
        return big;
    }());
}

void TestContent::clientDatabaseHoldsWhatTheServerServes()
{
    const ContentSet set = loadDemoContent(fixtureDir());
    const QString contentPath = m_dir.filePath(QStringLiteral("fixture-content.sqlite"));
    const QString clientPath = m_dir.filePath(QStringLiteral("fixture.rxd"));
    ContentDatabase::create(contentPath, set);
    writeClientDatabase(set, clientPath);
    QVERIFY_THROWS_EXCEPTION(RamuxError, writeClientDatabase(set, clientPath)); // never overwrites

    ContentDatabase content(contentPath);
    Database client;
    client.open(clientPath, schema::databasePassword());
    for (const QString &table : schema::dataTables()) {
        // Everything the server pages out, in its text form, NULL where it omits the column.
        QMap<qint64, QList<std::optional<QByteArray>>> served;
        QStringList columns;
        qint64 date = 0;
        for (int guard = 0; guard < 1000; ++guard) {
            const ContentPage page = content.readPage(table, date, 1);
            if (page.rows.empty())
                break;
            columns = page.columns;
            for (const auto &row : page.rows) {
                QVERIFY(!row.deleted);
                served.insert(row.id, QList<std::optional<QByteArray>>(row.values.begin(), row.values.end()));
                date = std::max(date, row.stamp);
            }
        }
        QMap<qint64, QList<std::optional<QByteArray>>> stored;
        Statement st = client.prepare(QStringLiteral("SELECT * FROM %1").arg(quoteIdentifier(table)));
        while (st.step()) {
            QList<std::optional<QByteArray>> values;
            for (const QString &column : std::as_const(columns)) {
                int at = -1;
                for (int c = 0; c < st.columnCount(); ++c)
                    if (st.columnName(c).compare(column, Qt::CaseInsensitive) == 0)
                        at = c;
                QVERIFY(at >= 0);
                values.append(st.isNull(at) ? std::nullopt : std::optional<QByteArray>(st.text(at).toUtf8()));
            }
            stored.insert(st.int64(0), values);
        }
        QCOMPARE(stored, served);
        Statement lu = client.prepare(
            QStringLiteral("SELECT %1 FROM options").arg(quoteIdentifier(QStringLiteral("lu_") + table)));
        QVERIFY(lu.step());
        QCOMPARE(lu.int64(0), date);
        QCOMPARE(date, content.highestStamp(table));
    }
}

void TestContent::synthIsDeterministicAndConsistent()
{
    SynthOptions options;
    options.products = 300;
    options.groups = 60;
    options.vendors = 40;
    options.distributors = 10;
    options.dealers = 10;
    const ContentSet a = generateSynthetic(options);
    const ContentSet b = generateSynthetic(options);
    QCOMPARE(int(a.findTable(QStringLiteral("items"))->rows.size()), 300);
    QCOMPARE(int(a.findTable(QStringLiteral("sections"))->rows.size()), 60);
    qint64 links = 0;
    for (size_t t = 0; t < a.tables.size(); ++t) {
        QCOMPARE(a.tables[t].rows.size(), b.tables[t].rows.size());
        for (size_t r = 0; r < a.tables[t].rows.size(); ++r)
            QCOMPARE(a.tables[t].rows[r].values, b.tables[t].rows[r].values);
        if (a.tables[t].name.startsWith(QLatin1String("items_to_")))
            links += qint64(a.tables[t].rows.size());
    }
    QVERIFY2(links > 300 * 5 && links < 300 * 7, qPrintable(QString::number(links))); // about 6 a product
    options.seed += 1;
    QVERIFY(generateSynthetic(options).findTable(QStringLiteral("items"))->rows.front().values !=
            a.findTable(QStringLiteral("items"))->rows.front().values);

    // Groups hang off existing parents only, at most five levels deep; packed text decodes.
    const ContentTable &sections = *a.findTable(QStringLiteral("sections"));
    QHash<qint64, qint64> parent;
    for (const ContentRow &row : sections.rows)
        parent.insert(row.id, row.values.at(sections.columnIndex(QStringLiteral("parent_id")))->toLongLong());
    for (auto it = parent.constBegin(); it != parent.constEnd(); ++it) {
        int depth = 1;
        for (qint64 p = it.value(); p != 0; p = parent.value(p, 0)) {
            QVERIFY(parent.contains(p));
            ++depth;
        }
        QVERIFY(depth <= 5);
    }
    const ContentTable &items = *a.findTable(QStringLiteral("items"));
    qint64 packedBytes = 0;
    for (const ContentRow &row : items.rows) {
        for (const QString &column :
             {QStringLiteral("form"), QStringLiteral("effect"), QStringLiteral("dose")}) {
            const Unpacked u = unpack(*row.values.at(items.columnIndex(column)));
            QVERIFY(!u.html.isEmpty());
            for (const QString &image : referencedImages(u.html))
                QVERIFY(u.attachments.contains(image));
        }
        for (const FieldValue &v : row.values)
            packedBytes += v ? v->size() : 0;
    }
    const qint64 average = packedBytes / qint64(items.rows.size());
    QVERIFY2(average > 5000 && average < 7500, qPrintable(QString::number(average)));
    const QByteArray png = synthImagePng(3, 40, 30);
    QVERIFY(png.startsWith("\x89PNG\r\n\x1A\n"));
}

QTEST_GUILESS_MAIN(TestContent)
#include "tst_content.moc"
