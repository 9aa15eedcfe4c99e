// Publishing sources into a content database and exporting it back: the difference rules
// (changed, emptied, added, deleted, added again, link pairs), dry runs, faulty sources that
// change nothing, a publish that finds the file locked, the demo round trip and the command.
#include "content/content.h"
#include "content/contentdb.h"
#include "content/sourcereader.h"
#include "content/publish.h"
#include "content/sourcewrite.h"
#include "db/schema.h"
#include "db/sqlitedb.h"
#include "search/textindex.h"
#include "sync/syncprocess.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <sqlcipher/sqlite3.h>
#include <sys/stat.h>

namespace {

QString sourceTree()
{
    return qEnvironmentVariable("RAMUX_SOURCE_DIR");
}

void copyTree(const QString &from, const QString &to)
{
    QDir().mkpath(to);
    for (const QFileInfo &info : QDir(from).entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString target = to + QLatin1Char('/') + info.fileName();
        if (info.isDir())
            copyTree(info.filePath(), target);
        else
            QFile::copy(info.filePath(), target);
    }
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every file below dir (relative path -> bytes), leaving out the folder's own README.
QMap<QString, QByteArray> filesOf(const QString &dir)
{
    QMap<QString, QByteArray> files;
    for (QDirIterator it(dir, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        const QString path = it.next();
        const QString relative = QDir(dir).relativeFilePath(path);
        if (relative != QLatin1String("README.md"))
            files.insert(relative, readFile(path));
    }
    return files;
}

// "TABLE added N changed N deleted N" of a report, for one comparison per publish.
QStringList countsOf(const PublishReport &report)
{
    QStringList lines;
    for (const TableChanges &t : report.tables) {
        if (t.added + t.changed + t.deleted > 0)
            lines << QStringLiteral("%1 %2 %3 %4").arg(t.table).arg(t.added).arg(t.changed).arg(t.deleted);
    }
    return lines;
}

struct Stamped
{
    std::optional<QString> value;
    qint64 stamp = -1; // -1: no such row
};

Stamped fieldOf(const QString &content, const QString &table, qint64 id, const QString &column)
{
    Database db;
    db.open(content, QByteArray());
    Statement st = db.prepare(QStringLiteral("SELECT %1, last_update FROM %2 WHERE id = ?1")
                                  .arg(quoteIdentifier(column), quoteIdentifier(table)));
    st.bind(1, id);
    if (!st.step())
        return {};
    return {st.optText(0), st.int64(1)};
}

qint64 tombstoneOf(const QString &content, const QString &table, qint64 id)
{
    Database db;
    db.open(content, QByteArray());
    Statement st = db.prepare(QStringLiteral("SELECT last_update FROM tombstones WHERE tbl = ?1 AND id = ?2"));
    st.bind(1, table).bind(2, id);
    return st.step() ? st.int64(0) : -1;
}

// Link rows of a table as "id:item>target".
QStringList linksOf(const QString &content, const QString &table, const QString &column)
{
    Database db;
    db.open(content, QByteArray());
    Statement st = db.prepare(QStringLiteral("SELECT id, item_id, %1 FROM %2 ORDER BY id")
                                  .arg(quoteIdentifier(column), quoteIdentifier(table)));
    QStringList out;
    while (st.step())
        out << QStringLiteral("%1:%2>%3").arg(st.int64(0)).arg(st.int64(1)).arg(st.int64(2));
    return out;
}

qint64 highestStampOf(const QString &content)
{
    ContentDatabase db(content);
    qint64 high = 0;
    for (const QString &table : schema::dataTables())
        high = std::max(high, db.highestStamp(table));
    return high;
}

} // namespace

class TestPublish : public QObject
{
    Q_OBJECT

private slots:
    void demoSourcesRoundTripByteForByte();
    void publishAppliesExactlyTheDifferences();
    void faultySourcesAreAllReportedAndNothingIsApplied();
    void publishThatFindsTheFileLockedFailsClearly();
    void commandPrintsOneLinePerTableAndExitCodes();
    void missingFoldersAndMassDeletionsAreRefused();
    void reorderedLinksAreRewrittenInTheWrittenOrder();
    void readAllSeesOneStateBesideAPublish();

private:
    QTemporaryDir m_dir;
};

void TestPublish::demoSourcesRoundTripByteForByte()
{
    const QString demo = sourceTree() + QStringLiteral("/data/demo");
    const QString content = m_dir.filePath(QStringLiteral("demo.sqlite"));
    ContentDatabase::create(content, loadDemoContent(demo));

    const QString exported = m_dir.filePath(QStringLiteral("demo-export"));
    ContentDatabase db(content);
    const SourceFiles sources = renderSources(db.readAll());
    QVERIFY2(sources.errors.isEmpty(), qPrintable(sources.errors.join(QLatin1Char('\n'))));
    QVERIFY(sources.warnings.isEmpty());
    writeSourceFiles(sources, exported);
    const QMap<QString, QByteArray> before = filesOf(demo), after = filesOf(exported);
    QCOMPARE(after.keys(), before.keys());
    for (auto it = before.constBegin(); it != before.constEnd(); ++it)
        QVERIFY2(after.value(it.key()) == it.value(), qPrintable(it.key()));

    // Publishing the export (or the demo itself) into what it came from changes nothing.
    const qint64 high = highestStampOf(content);
    const PublishReport again = publishSources(exported, content, {});
    QVERIFY2(again.errors.isEmpty(), qPrintable(again.errors.join(QLatin1Char('\n'))));
    QCOMPARE(countsOf(again), QStringList());
    QCOMPARE(again.tables.size(), size_t(14));
    QVERIFY(!again.applied);
    QCOMPARE(highestStampOf(content), high);

    // A non-empty target folder is refused before anything is written.
    QVERIFY_THROWS_EXCEPTION(RamuxError, writeSourceFiles(sources, exported));
}

void TestPublish::publishAppliesExactlyTheDifferences()
{
    QTemporaryDir dir;
    const QString src = dir.filePath(QStringLiteral("src"));
    copyTree(sourceTree() + QStringLiteral("/tests/content/fixture"), src);
    const QString content = dir.filePath(QStringLiteral("content.sqlite"));

    // A missing content file is created and gets everything.
    PublishReport first = publishSources(src, content, {});
    QVERIFY2(first.errors.isEmpty(), qPrintable(first.errors.join(QLatin1Char('\n'))));
    // The fixture's group under a missing parent is allowed, with a warning naming its line.
    QCOMPARE(first.warnings, QStringList{QStringLiteral("sections.tsv:3: нет родительской группы 999")});
    QCOMPARE(countsOf(first), (QStringList{"sections 3 0 0", "distributors 1 0 0", "vendors 2 0 0", "dealers 1 0 0",
                                           "items 2 0 0", "items_to_sections 3 0 0", "items_to_vendors 2 0 0",
                                           "items_to_dealers 1 0 0", "items_to_distributors 1 0 0", "meta 1 0 0"}));
    const QStringList groupLinks = linksOf(content, QStringLiteral("items_to_sections"), QStringLiteral("section_id"));
    QCOMPARE(groupLinks, (QStringList{"1:101>2", "2:101>3", "3:102>2"}));
    const qint64 before = highestStampOf(content);
    const Stamped nameBefore = fieldOf(content, QStringLiteral("items"), 101, QStringLiteral("name"));

    // The editor's session: a dose changed, a section emptied, a product added, one deleted,
    // a group link swapped, a maker renamed, offer settings written.
    writeFile(src + QStringLiteral("/items/101.txt"),
              "id: 101\nname:   Альбендазол-10 суспензия\nname_lat: Albendazolum-10\ngroups: 3, 1\nvendors: 1, 2\n"
              "distributors: 1\ndealers: 1\n== description\n<p>Суспензия <b>для</b> приёма внутрь.</p>\n"
              "== form\n<p>Флаконы по 100 мл.</p> <img src=\"VIAL\">\n== dose\n<p>5 мг на 1 кг.</p>\n");
    QVERIFY(QFile::remove(src + QStringLiteral("/items/102.txt")));
    writeFile(src + QStringLiteral("/items/103.txt"), "id: 103\nname: Новый препарат\ngroups: 2\n== dose\n<p>1 мл.</p>\n");
    writeFile(src + QStringLiteral("/vendors.tsv"), "1\tООО «Первая ферма»\n2\tЗАО «Вторая плюс»\n");
    writeFile(src + QStringLiteral("/offer.txt"), "version: 1.2\nlink: http://example.org/r.exe\nabout: Исправления\n");

    PublishOptions dry;
    dry.dryRun = true;
    const QByteArray fileBefore = readFile(content);
    const PublishReport preview = publishSources(src, content, dry);
    QVERIFY2(preview.errors.isEmpty(), qPrintable(preview.errors.join(QLatin1Char('\n'))));
    const QStringList expectedChanged{"vendors 0 1 0", "items 1 1 1", "items_to_sections 2 0 2", "meta 3 0 0"};
    QCOMPARE(countsOf(preview), expectedChanged);
    QVERIFY(!preview.applied);
    QCOMPARE(highestStampOf(content), before);
    QCOMPARE(readFile(content), fileBefore);

    const PublishReport applied = publishSources(src, content, {});
    QCOMPARE(countsOf(applied), expectedChanged);
    QVERIFY(applied.applied);
    // Changed fields take new stamps above everything; untouched fields keep theirs.
    const Stamped dose = fieldOf(content, QStringLiteral("items"), 101, QStringLiteral("dose"));
    QVERIFY(dose.value && dose.value->startsWith(QLatin1String("<HTML>")));
    QVERIFY(dose.stamp > before);
    QCOMPARE(fieldOf(content, QStringLiteral("items"), 101, QStringLiteral("name")).value, nameBefore.value);
    // The emptied section is NULL (clients learn of it as cleared), not an empty text.
    QCOMPARE(fieldOf(content, QStringLiteral("items"), 101, QStringLiteral("storage_instructions")).value,
             std::optional<QString>());
    QVERIFY(fieldOf(content, QStringLiteral("items"), 102, QStringLiteral("name_lat")).stamp < 0);
    QVERIFY(tombstoneOf(content, QStringLiteral("items"), 102) > before);
    QCOMPARE(fieldOf(content, QStringLiteral("vendors"), 2, QStringLiteral("name")).value,
             std::optional<QString>(QStringLiteral("ЗАО «Вторая плюс»")));
    // The kept pair (101, 3) keeps id 2; new pairs get ids never used before; stamps all distinct.
    QCOMPARE(linksOf(content, QStringLiteral("items_to_sections"), QStringLiteral("section_id")),
             (QStringList{"2:101>3", "4:101>1", "5:103>2"}));
    QVERIFY(tombstoneOf(content, QStringLiteral("items_to_sections"), 1) > before);
    {
        ContentDatabase db(content);
        QCOMPARE(db.meta(QString::fromLatin1(contentmeta::ProgramVersion)), std::optional<QString>(QStringLiteral("1.2")));
        Database &raw = db.database();
        Statement st = raw.prepare(QStringLiteral(
            "SELECT count(*), count(DISTINCT s) FROM (SELECT last_update s FROM items UNION ALL SELECT last_update"
            " FROM items_to_sections UNION ALL SELECT last_update FROM vendors UNION ALL SELECT last_update FROM tombstones)"));
        QVERIFY(st.step());
        QCOMPARE(st.int64(0), st.int64(1));
    }

    // Added again: the product comes back under a new stamp and its tombstone goes.
    copyTree(sourceTree() + QStringLiteral("/tests/content/fixture/items"), src + QStringLiteral("/items.orig"));
    QVERIFY(QFile::copy(src + QStringLiteral("/items.orig/102.txt"), src + QStringLiteral("/items/102.txt")));
    const qint64 beforeReadd = highestStampOf(content);
    const PublishReport readd = publishSources(src, content, {});
    QCOMPARE(countsOf(readd), (QStringList{"items 1 0 0", "items_to_sections 1 0 0"}));
    QVERIFY(fieldOf(content, QStringLiteral("items"), 102, QStringLiteral("name_lat")).stamp > beforeReadd);
    QCOMPARE(tombstoneOf(content, QStringLiteral("items"), 102), qint64(-1));

    // Details from the command line take the place of the settings file's.
    PublishOptions details;
    details.detailsText = QStringLiteral("Обновлено");
    QCOMPARE(countsOf(publishSources(src, content, details)), QStringList{"meta 1 0 0"});

    // After all that, an export (offer settings and details included) publishes back unchanged.
    const QString exported = dir.filePath(QStringLiteral("export"));
    {
        ContentDatabase db(content);
        const SourceFiles files = renderSources(db.readAll());
        QVERIFY2(files.errors.isEmpty(), qPrintable(files.errors.join(QLatin1Char('\n'))));
        writeSourceFiles(files, exported);
    }
    QVERIFY(readFile(exported + QStringLiteral("/offer.txt")).contains("details_text: Обновлено\n"));
    const qint64 exportedAt = highestStampOf(content);
    QCOMPARE(countsOf(publishSources(exported, content, {})), QStringList());
    QCOMPARE(highestStampOf(content), exportedAt);
    QCOMPARE(countsOf(publishSources(src, content, {})), QStringList{"meta 0 0 1"});
}

void TestPublish::faultySourcesAreAllReportedAndNothingIsApplied()
{
    QTemporaryDir dir;
    const QString src = dir.filePath(QStringLiteral("src"));
    copyTree(sourceTree() + QStringLiteral("/tests/content/fixture"), src);
    const QString content = dir.filePath(QStringLiteral("content.sqlite"));
    QVERIFY(publishSources(src, content, {}).errors.isEmpty());
    const QByteArray fileBefore = readFile(content);

    writeFile(src + QStringLiteral("/vendors.tsv"), "1\tООО «Первая ферма»\n1\tДубль\n2\tЗАО «Вторая»\n");
    writeFile(src + QStringLiteral("/items/102.txt"),
              "id: 102\nname_lat: Ivermectinum\ngroups: 2, 77\n== effect\n<p>См. <a href=\"ITEM:555\">препарат</a>.</p>\n");
    writeFile(src + QStringLiteral("/items/103.txt"), "id: 103\nname: Препарат \xE2\x89\xA5 5\n");
    writeFile(src + QStringLiteral("/items/104.txt"), "id: 104\nname: \xCF\xF0\xE5\xEF\xE0\xF0\xE0\xF2\n");
    writeFile(src + QStringLiteral("/images/VIAL.png"), "GIF89a not a picture");
    // Pages insert names as markup: an angle bracket in any name is refused.
    writeFile(src + QStringLiteral("/dealers.tsv"), "1\tАптека <b>у дома</b>\n");
    writeFile(src + QStringLiteral("/items/106.txt"), "id: 106\nname_lat: Ivermectinum > 1%\n");
    {
        QDir().mkpath(src + QStringLiteral("/dealers"));
        QFile big(src + QStringLiteral("/dealers/1.html"));
        QVERIFY(big.open(QIODevice::WriteOnly));
        QVERIFY(big.resize(50LL * 1024 * 1024));
    }
    // Links in any quoting, an image named like the page itself, a digest that is none, and
    // descriptions that are a pipe and an endless device.
    writeFile(src + QStringLiteral("/items/105.txt"),
              "id: 105\nname: Ссылки\n== effect\n<a href='ITEM:77777'>a</a>\n<a href=ITEM:88888>b</a>\n"
              "<a HREF = \"ITEM:99999\">c</a> <img src=\"Html\">\n");
    writeFile(src + QStringLiteral("/offer.txt"), "version: 1.2\nsha256: not-a-digest\n");
    QCOMPARE(::mkfifo(QFile::encodeName(src + QStringLiteral("/vendors/2.html")).constData(), 0600), 0);
    QVERIFY(QFile::link(QStringLiteral("/dev/zero"), src + QStringLiteral("/distributors/1.html")) ||
            (QFile::remove(src + QStringLiteral("/distributors/1.html")) &&
             QFile::link(QStringLiteral("/dev/zero"), src + QStringLiteral("/distributors/1.html"))));

    const PublishReport report = publishSources(src, content, {});
    const QString all = report.errors.join(QLatin1Char('\n'));
    for (const QString &place : {QStringLiteral("vendors.tsv:2: номер 1 повторяется"),
                                 QStringLiteral("items/102.txt:3: нет записи 77 в sections"),
                                 QStringLiteral("items/102.txt:5: ссылка на запись 555"),
                                 QStringLiteral("items/103.txt:2: название не помещается в кодировку Windows-1251"),
                                 QStringLiteral("items/104.txt:2: текст не в кодировке UTF-8"),
                                 QStringLiteral("images/VIAL.png: не рисунок PNG"),
                                 QStringLiteral("dealers/1.html: слишком большой файл"),
                                 QStringLiteral("items/105.txt:4: ссылка на запись 77777"),
                                 QStringLiteral("items/105.txt:5: ссылка на запись 88888"),
                                 QStringLiteral("items/105.txt:6: ссылка на запись 99999"),
                                 QStringLiteral("items/105.txt:6: недопустимое имя рисунка \"Html\""),
                                 QStringLiteral("offer.txt:2: sha256: ожидается 64 шестнадцатеричные цифры"),
                                 QStringLiteral("vendors/2.html: не обычный файл"),
                                 QStringLiteral("distributors/1.html: не обычный файл"),
                                 QStringLiteral("dealers.tsv:1: в названии не может быть знаков < и >"),
                                 QStringLiteral("items/106.txt:2: в названии не может быть знаков < и >")})
        QVERIFY2(all.contains(place), qPrintable(QStringLiteral("%1 missing from:\n%2").arg(place, all)));
    QVERIFY(!report.applied);
    QVERIFY(report.tables.empty());
    QCOMPARE(readFile(content), fileBefore);

    // Nothing is created either when the file was missing.
    const QString fresh = dir.filePath(QStringLiteral("fresh.sqlite"));
    QVERIFY(!publishSources(src, fresh, {}).errors.isEmpty());
    QVERIFY(!QFile::exists(fresh));
}

void TestPublish::publishThatFindsTheFileLockedFailsClearly()
{
    QTemporaryDir dir;
    const QString src = dir.filePath(QStringLiteral("src"));
    copyTree(sourceTree() + QStringLiteral("/tests/content/fixture"), src);
    const QString content = dir.filePath(QStringLiteral("content.sqlite"));
    QVERIFY(publishSources(src, content, {}).errors.isEmpty());
    writeFile(src + QStringLiteral("/vendors.tsv"), "1\tИная\n2\tЗАО «Вторая»\n");
    const qint64 before = highestStampOf(content);

    // Another publish holds the write lock for longer than this one waits.
    Database other;
    other.open(content, QByteArray());
    other.exec(QStringLiteral("BEGIN IMMEDIATE"));
    PublishOptions impatient;
    impatient.lockWaitMs = 300;
    const PublishReport blocked = publishSources(src, content, impatient);
    QCOMPARE(blocked.errors.size(), 1);
    QVERIFY2(blocked.errors.first().contains(QStringLiteral("занят другой публикацией")), qPrintable(blocked.errors.first()));
    QVERIFY(!blocked.applied);
    // A dry run only reads: it goes on beside the writer.
    PublishOptions dry;
    dry.dryRun = true;
    QCOMPARE(countsOf(publishSources(src, content, dry)), QStringList{"vendors 0 1 0"});
    other.exec(QStringLiteral("ROLLBACK"));
    QCOMPARE(highestStampOf(content), before);
    QCOMPARE(countsOf(publishSources(src, content, {})), QStringList{"vendors 0 1 0"});
}

void TestPublish::commandPrintsOneLinePerTableAndExitCodes()
{
    QTemporaryDir dir;
    const QString src = dir.filePath(QStringLiteral("src"));
    copyTree(sourceTree() + QStringLiteral("/tests/content/fixture"), src);
    const QString content = dir.filePath(QStringLiteral("content.sqlite"));
    QByteArray out, err;
    QCOMPARE(runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("publish"), src, content, QStringLiteral("--dry-run")}, &out, &err), 0);
    QVERIFY(!QFile::exists(content));
    QCOMPARE(runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("publish"), src, content}, &out, &err), 0);
    const QList<QByteArray> lines = out.trimmed().split('\n');
    QCOMPARE(lines.size(), 14);
    QCOMPARE(lines.first(), QByteArray("sections\tadded 3\tchanged 0\tdeleted 0"));
    QCOMPARE(lines.last(), QByteArray("meta\tadded 1\tchanged 0\tdeleted 0"));

    const QString exported = dir.filePath(QStringLiteral("export"));
    QCOMPARE(runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("export"), content, exported}, &out, &err), 0);
    QCOMPARE(runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("publish"), exported, content}, &out, &err), 0);
    QVERIFY2(!out.contains("added 1") && !out.contains("changed 1") && !out.contains("deleted 1"), out.constData());
    // A file whose text index has an older format gets it made anew by the next publish.
    {
        Database db;
        db.open(content, QByteArray());
        QVERIFY(textindex::isUsable(db));
        db.exec(QStringLiteral("UPDATE search_state SET version = version - 1"));
        QVERIFY(!textindex::isUsable(db));
    }
    QCOMPARE(runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("publish"), exported, content}, &out, &err), 0);
    {
        Database db;
        db.open(content, QByteArray());
        QVERIFY(textindex::isUsable(db));
    }
    QCOMPARE(runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("export"), content, exported}, &out, &err), 1);

    writeFile(src + QStringLiteral("/vendors.tsv"), "x\tНомер не число\n");
    QCOMPARE(runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("publish"), src, content}, &out, &err), 1);
    QVERIFY2(err.contains("vendors.tsv:1: "), err.constData());
    QVERIFY(out.isEmpty());
    QCOMPARE(runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("publish"), src}, &out, &err), 2);
    QCOMPARE(runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("publish"), src, content, QStringLiteral("--details-text")}, &out, &err), 2);
}

namespace {

// A source folder of `count` products 201, 202, ..., each in groups 1 and 2.
void writeManyProducts(const QString &src, int count, const QByteArray &groups = "1, 2")
{
    for (int i = 0; i < count; ++i)
        writeFile(src + QStringLiteral("/items/%1.txt").arg(201 + i),
                  QByteArray("id: ") + QByteArray::number(201 + i) + "\nname: Препарат " +
                      QByteArray::number(i) + "\ngroups: " + groups + "\n");
}

} // namespace

void TestPublish::missingFoldersAndMassDeletionsAreRefused()
{
    QTemporaryDir dir;
    const QString src = dir.filePath(QStringLiteral("src"));
    copyTree(sourceTree() + QStringLiteral("/tests/content/fixture"), src);
    QVERIFY(QFile::remove(src + QStringLiteral("/items/102.txt")));
    writeManyProducts(src, 29);
    const QString content = dir.filePath(QStringLiteral("content.sqlite"));
    QByteArray out, err;
    QCOMPARE(runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("publish"), src, content}, &out, &err),
             0);
    const QByteArray published = readFile(content);
    auto refused = [&](const QStringList &extra, const QByteArray &why) {
        for (const QStringList &flags : {QStringList(), QStringList{QStringLiteral("--dry-run")}}) {
            QCOMPARE(runProgram(QStringLiteral("ramuxctl"),
                                QStringList{QStringLiteral("publish"), src, content} + extra + flags, &out,
                                &err),
                     1);
            QVERIFY2(err.contains(why), err.constData());
            QVERIFY(out.isEmpty());
        }
        QCOMPARE(readFile(content), published);
    };

    // The products folder renamed, or something else in its place: nothing is deleted.
    const QString items = src + QStringLiteral("/items");
    QVERIFY(QDir().rename(items, src + QStringLiteral("/Items")));
    refused({}, QByteArray("items: нет папки с файлами препаратов"));
    writeFile(items, "not a folder");
    refused({QStringLiteral("--allow-mass-delete")},
            QByteArray("items: папку с файлами препаратов не удается прочитать"));
    QVERIFY(QFile::remove(items));
    QVERIFY(QDir().rename(src + QStringLiteral("/Items"), items));

    // A description folder that is there but cannot be read clears no description.
    QVERIFY(QDir(src + QStringLiteral("/vendors")).removeRecursively());
    writeFile(src + QStringLiteral("/vendors"), "not a folder");
    refused({}, QByteArray("vendors: папка есть, но её не удается прочитать"));
    QVERIFY(QFile::remove(src + QStringLiteral("/vendors")));
    copyTree(sourceTree() + QStringLiteral("/tests/content/fixture/vendors"),
             src + QStringLiteral("/vendors"));

    // Reordering every link of a big table removes no pair: allowed without the option.
    writeManyProducts(src, 29, "2, 1");
    QCOMPARE(runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("publish"), src, content}, &out, &err),
             0);
    QVERIFY2(out.contains("items_to_sections\tadded 58\tchanged 0\tdeleted 58"), out.constData());
    const QByteArray reordered = readFile(content);

    // 16 of 30 products gone (their 32 of 60 group links with them) is refused, with the counts.
    for (int i = 0; i < 16; ++i)
        QVERIFY(QFile::remove(items + QStringLiteral("/%1.txt").arg(201 + i)));
    QCOMPARE(runProgram(QStringLiteral("ramuxctl"),
                        {QStringLiteral("publish"), src, content, QStringLiteral("--dry-run")}, &out, &err),
             1);
    QVERIFY2(err.contains("items: публикация удалит 16 из 30 записей"), err.constData());
    QVERIFY2(err.contains("items_to_sections: публикация удалит 32 из 60 связей"), err.constData());
    QCOMPARE(runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("publish"), src, content}, &out, &err),
             1);
    QVERIFY2(err.contains("--allow-mass-delete"), err.constData());
    QCOMPARE(readFile(content), reordered);
    // Half exactly is no mass deletion; the option lets the rest through.
    writeManyProducts(src, 1);
    QCOMPARE(runProgram(QStringLiteral("ramuxctl"),
                        {QStringLiteral("publish"), src, content, QStringLiteral("--dry-run")}, &out, &err),
             0);
    QVERIFY2(out.contains("items\tadded 0\tchanged 0\tdeleted 15"), out.constData());
    QVERIFY(QFile::remove(items + QStringLiteral("/201.txt")));
    QCOMPARE(runProgram(QStringLiteral("ramuxctl"),
                        {QStringLiteral("publish"), src, content, QStringLiteral("--allow-mass-delete")},
                        &out, &err),
             0);
    QVERIFY2(out.contains("items\tadded 0\tchanged 0\tdeleted 16"), out.constData());
}

void TestPublish::reorderedLinksAreRewrittenInTheWrittenOrder()
{
    QTemporaryDir dir;
    const QString src = dir.filePath(QStringLiteral("src"));
    copyTree(sourceTree() + QStringLiteral("/tests/content/fixture"), src);
    const QString content = dir.filePath(QStringLiteral("content.sqlite"));
    QVERIFY(publishSources(src, content, {}).errors.isEmpty());
    const QString item = src + QStringLiteral("/items/101.txt");
    QByteArray text = readFile(item);
    const qint64 before = highestStampOf(content);

    // Swapped: both rows of the product again, in the written order, the old ones deleted.
    writeFile(item, text.replace("groups: 2, 3", "groups: 3, 2").replace("vendors: 1, 2", "vendors: 2, 1"));
    const PublishReport swapped = publishSources(src, content, {});
    QCOMPARE(countsOf(swapped), (QStringList{"items_to_sections 2 0 2", "items_to_vendors 2 0 2"}));
    QCOMPARE(linksOf(content, QStringLiteral("items_to_sections"), QStringLiteral("section_id")),
             (QStringList{"3:102>2", "4:101>3", "5:101>2"}));
    QCOMPARE(linksOf(content, QStringLiteral("items_to_vendors"), QStringLiteral("vendor_id")),
             (QStringList{"3:101>2", "4:101>1"}));
    QVERIFY(tombstoneOf(content, QStringLiteral("items_to_sections"), 1) > before);
    QVERIFY(tombstoneOf(content, QStringLiteral("items_to_sections"), 2) > before);
    QCOMPARE(countsOf(publishSources(src, content, {})), QStringList());

    // A new link at the front is shown first; one added at the end keeps the others' rows.
    writeFile(item, text.replace("groups: 3, 2", "groups: 1, 3, 2"));
    QCOMPARE(countsOf(publishSources(src, content, {})), QStringList{"items_to_sections 3 0 2"});
    QCOMPARE(linksOf(content, QStringLiteral("items_to_sections"), QStringLiteral("section_id")),
             (QStringList{"3:102>2", "6:101>1", "7:101>3", "8:101>2"}));
    writeFile(item, text.replace("groups: 1, 3, 2", "groups: 1, 3"));
    QCOMPARE(countsOf(publishSources(src, content, {})), QStringList{"items_to_sections 0 0 1"});
    writeFile(item, text.replace("groups: 1, 3", "groups: 1, 3, 2"));
    QCOMPARE(countsOf(publishSources(src, content, {})), QStringList{"items_to_sections 1 0 0"});
    QCOMPARE(linksOf(content, QStringLiteral("items_to_sections"), QStringLiteral("section_id")),
             (QStringList{"3:102>2", "6:101>1", "7:101>3", "9:101>2"}));
}

void TestPublish::readAllSeesOneStateBesideAPublish()
{
    QTemporaryDir dir;
    const QString src = dir.filePath(QStringLiteral("src"));
    copyTree(sourceTree() + QStringLiteral("/tests/content/fixture"), src);
    const QString content = dir.filePath(QStringLiteral("content.sqlite"));
    QVERIFY(publishSources(src, content, {}).errors.isEmpty());
    QVERIFY(QFile::remove(src + QStringLiteral("/items/101.txt")));

    // The publish that deletes product 101 commits just as the reader turns to the link tables.
    struct Race
    {
        QString src, content;
        bool done = false;
        QStringList errors;
    } race{src, content, false, {}};
    ContentDatabase reader(content);
    sqlite3_trace_v2(
        reader.database().handle(), SQLITE_TRACE_STMT,
        [](unsigned, void *context, void *statement, void *) -> int {
            auto *r = static_cast<Race *>(context);
            const char *sql = sqlite3_sql(static_cast<sqlite3_stmt *>(statement));
            if (!r->done && sql && std::strstr(sql, "items_to_sections")) {
                r->done = true;
                PublishOptions quick;
                quick.lockWaitMs = 2000;
                r->errors = publishSources(r->src, r->content, quick).errors;
            }
            return 0;
        },
        &race);
    const ContentSet seen = reader.readAll();
    sqlite3_trace_v2(reader.database().handle(), 0, nullptr, nullptr);
    QVERIFY(race.done);
    QVERIFY2(race.errors.isEmpty(), qPrintable(race.errors.join(QLatin1Char('\n'))));

    // What was read is the state before the publish, links included.
    const ContentTable *items = seen.findTable(QStringLiteral("items"));
    const ContentTable *groups = seen.findTable(QStringLiteral("items_to_sections"));
    QCOMPARE(items->rows.size(), size_t(2));
    QCOMPARE(groups->rows.size(), size_t(3));
    QCOMPARE(ContentDatabase(content).readAll().findTable(QStringLiteral("items_to_sections"))->rows.size(),
             size_t(1));
}

QTEST_GUILESS_MAIN(TestPublish)
#include "tst_publish.moc"
