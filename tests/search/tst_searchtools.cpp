// ramuxctl find and index as scripts use them, the index kept by a real synchronisation from
// ramux-server, and an indexing run killed half-way.
#include "../sync/syncprocess.h"
#include "demodb.h"

#include "content/contentdb.h"
#include "content/sourcereader.h"

#include <QTemporaryDir>
#include <limits>

namespace {

QStringList lines(const QByteArray &out)
{
    return QString::fromUtf8(out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// "id how" of every line of ramuxctl find.
QStringList findHits(const QString &db, const QString &text, int *exitCode = nullptr)
{
    QByteArray out;
    const int rc = runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("find"), text, QStringLiteral("--db"), db}, &out);
    if (exitCode)
        *exitCode = rc;
    QStringList hits;
    for (const QString &line : lines(out))
        hits << line.section(QLatin1Char('\t'), 0, 0) + QLatin1Char(' ') + line.section(QLatin1Char('\t'), 1, 1);
    return hits;
}

qint64 nextIndexedId(const QString &path)
{
    try {
        Database db;
        db.open(path, schema::databasePassword());
        if (!db.hasTable(QStringLiteral("search_state")))
            return std::numeric_limits<qint64>::min();
        Statement st = db.prepare(QStringLiteral("SELECT next_id FROM search_state"));
        return st.step() ? st.int64(0) : std::numeric_limits<qint64>::min();
    } catch (const DbError &) {
        return std::numeric_limits<qint64>::min();
    }
}

} // namespace

class TestSearchTools : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void findPrintsOneLinePerProduct()
    {
        const QString db = m_dir.filePath(QStringLiteral("demo.rxd"));
        QCOMPARE(runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("demo"), db}), 0);
        // Before the index exists, names only, and it says so.
        QByteArray out, err;
        QCOMPARE(runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("find"), QStringLiteral("гельминтов"), QStringLiteral("--db"), db}, &out, &err), 3);
        QVERIFY(err.contains("not built"));

        QCOMPARE(runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("index"), QStringLiteral("--db"), db}, &out), 0);
        QVERIFY2(QRegularExpression(QStringLiteral("^indexed 161 products in [0-9]+\\.[0-9] s\n$")).match(QString::fromUtf8(out)).hasMatch(),
                 out.constData());

        QCOMPARE(runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("find"), QStringLiteral("fkm,tylfpjk"), QStringLiteral("--db"), db}, &out), 0);
        QCOMPARE(lines(out).first(), QStringLiteral("147\tlayout\tАльбендазол 20% гранулы\t"));

        QCOMPARE(runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("find"), QStringLiteral("Диктиокаулёза"), QStringLiteral("--db"), db}, &out), 0);
        const QStringList text = lines(out);
        QVERIFY(text.size() >= 5);
        for (const QString &line : text) {
            const QStringList fields = line.split(QLatin1Char('\t'));
            QCOMPARE(fields.size(), 4);
            QCOMPARE(fields.at(1), QStringLiteral("text:prescriptions"));
            QVERIFY(!fields.at(2).isEmpty());
            QVERIFY(fields.at(3).size() <= 160);
            QVERIFY2(fields.at(3).contains(QStringLiteral("диктиокаулёза")), qPrintable(fields.at(3)));
            QVERIFY(!fields.at(3).contains(QLatin1Char('<')));
        }

        // A product with only a Latin name prints that name.
        QCOMPARE(runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("find"), QStringLiteral("ceftiofurum rtu"), QStringLiteral("--db"), db}, &out), 0);
        QCOMPARE(lines(out).first(), QStringLiteral("242\tname-latin\tCeftiofurum RTU 5%\t"));

        int rc = 0;
        QVERIFY(findHits(db, QStringLiteral("zzzzqqqq"), &rc).isEmpty());
        QCOMPARE(rc, 3);
        QCOMPARE(runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("find"), QStringLiteral(" ab "), QStringLiteral("--db"), db}), 2);
        QCOMPARE(runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("find"), QStringLiteral("--db"), db}), 2);
        QCOMPARE(runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("index"), QStringLiteral("extra"), QStringLiteral("--db"), db}), 2);
    }

    void indexFollowsTheSync()
    {
        const QString content = m_dir.filePath(QStringLiteral("content.sqlite"));
        const QString client = m_dir.filePath(QStringLiteral("client.rxd"));
        QCOMPARE(runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("demo"), content, QStringLiteral("--content")}), 0);
        QCOMPARE(runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("create"), client}), 0);

        QProcess server;
        const auto stop = qScopeGuard([&server] {
            server.terminate();
            if (!server.waitForFinished(5000))
                server.kill();
        });
        server.start(programPath(QStringLiteral("ramux-server")),
                     {QStringLiteral("--content"), content, QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--quiet")});
        QVERIFY(server.waitForStarted());
        QString address;
        QByteArray log;
        QDeadlineTimer deadline(30000);
        while (!deadline.hasExpired() && address.isEmpty() && server.state() == QProcess::Running) {
            server.waitForReadyRead(200);
            log += server.readAllStandardError();
            const auto match = QRegularExpression(QStringLiteral("listening on (http://\\S+/api\\.php)")).match(QString::fromUtf8(log));
            if (match.hasMatch())
                address = match.captured(1);
        }
        QVERIFY2(!address.isEmpty(), log.constData());
        const QStringList sync{QStringLiteral("sync"), QStringLiteral("--db"), client, QStringLiteral("--server"), address};

        // The first run fills the empty file and then builds the index, with its status line.
        QByteArray out, err;
        QCOMPARE(runProgram(QStringLiteral("ramuxctl"), sync, &out, &err), 0);
        QVERIFY2(err.contains("Индексация описаний: 0 из 161..."), err.constData());
        QVERIFY(findHits(client, QStringLiteral("перорально")).contains(QStringLiteral("145 text:form")));
        QVERIFY(findHits(client, QStringLiteral("диктиокаулез")).contains(QStringLiteral("145 text:prescriptions")));
        QVERIFY(findHits(client, QStringLiteral("диктиокаулез")).contains(QStringLiteral("150 text:prescriptions")));

        // The server changes one product's text, adds one and deletes one.
        {
            ContentDatabase c(content);
            const QString imageDir = demoContentDir() + QStringLiteral("/images");
            c.upsertRow(QStringLiteral("items"), 145,
                        {{QStringLiteral("prescriptions"), FieldValue(packDemoHtml(QStringLiteral("<p>Для лечения трихомоноза голубей.</p>"), imageDir))}});
            c.upsertRow(QStringLiteral("items"), 900,
                        {{QStringLiteral("name"), FieldValue(QStringLiteral("Бабезин-Вет"))},
                         {QStringLiteral("dose"), FieldValue(packDemoHtml(QStringLiteral("<p>При бабезиозе собак — 1 мл.</p>"), imageDir))}});
            QVERIFY(c.deleteRow(QStringLiteral("items"), 150) > 0);
        }
        QCOMPARE(runProgram(QStringLiteral("ramuxctl"), sync, &out, &err), 0);
        QVERIFY2(out.startsWith("edited 1\ndeleted 1\nadded 1"), out.constData());
        // Kept current by the pages themselves: nothing to build after this run.
        QVERIFY2(!err.contains("Индексация описаний"), err.constData());

        const QStringList old = findHits(client, QStringLiteral("диктиокаулез"));
        QVERIFY(!old.isEmpty());
        QVERIFY(!old.contains(QStringLiteral("145 text:prescriptions")));
        QVERIFY(!old.contains(QStringLiteral("150 text:prescriptions")));
        QCOMPARE(findHits(client, QStringLiteral("трихомоноз")), QStringList{QStringLiteral("145 text:prescriptions")});
        // Its other texts were re-sent unchanged and keep their terms without being decoded.
        QVERIFY(findHits(client, QStringLiteral("перорально")).contains(QStringLiteral("145 text:form")));
        QVERIFY(findHits(client, QStringLiteral("бабезиоз")).contains(QStringLiteral("900 text:dose")));
        Database db;
        db.open(client, schema::databasePassword());
        QVERIFY(!textindex::needsBuild(db));
    }

    void killDuringIndexingLeavesAUsableFile()
    {
        const QString path = m_dir.filePath(QStringLiteral("synth.rxd"));
        QCOMPARE(runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("synth"), path, QStringLiteral("--products"), QStringLiteral("3000")}), 0);
        QProcess index;
        index.start(programPath(QStringLiteral("ramuxctl")), {QStringLiteral("index"), QStringLiteral("--db"), path});
        QVERIFY(index.waitForStarted());
        // Killed once the first batches are committed.
        QDeadlineTimer deadline(60000);
        while (!deadline.hasExpired() && index.state() == QProcess::Running && nextIndexedId(path) < 2 * textindex::kBatchSize)
            QThread::msleep(10);
        if (index.state() != QProcess::Running)
            QSKIP("indexing ended before it could be killed");
        index.kill();
        index.waitForFinished();

        {
            Database db;
            db.open(path, schema::databasePassword());
            Statement check = db.prepare(QStringLiteral("PRAGMA integrity_check"));
            QVERIFY(check.step());
            QCOMPARE(check.text(0), QStringLiteral("ok"));
            QCOMPARE(textindex::state(db), textindex::State::Building);
            QVERIFY(textindex::needsBuild(db));
        }
        // The names are searched meanwhile; the texts wait for the index.
        QByteArray out, err;
        QCOMPARE(runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("find"), QStringLiteral("альбен"), QStringLiteral("--db"), path}, &out, &err), 0);
        QVERIFY(err.contains("not built"));
        QVERIFY(lines(out).first().contains(QStringLiteral("\tname\t")));

        // The worker's build goes on from where the killed one stopped.
        Database db;
        db.open(path, schema::databasePassword());
        const int rest = textindex::build(db);
        QVERIFY(rest > 0 && rest < 3000);
        QVERIFY(!textindex::needsBuild(db));
        Statement st = db.prepare(QStringLiteral("SELECT count(*) FROM search_text"));
        QVERIFY(st.step());
        QCOMPARE(st.int64(0), qint64(3000));
    }
};

QTEST_GUILESS_MAIN(TestSearchTools)
#include "tst_searchtools.moc"
