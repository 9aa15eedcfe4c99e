// A value cleared on the server reaches clients: ramuxctl sync against ramux-server --content,
// with the content changed by hand in SQL between the runs.
#include "syncprocess.h"

#include "content/content.h"
#include "content/contentdb.h"
#include "content/sourcereader.h"
#include "db/browselists.h"
#include "db/snapshot.h"
#include "pages/productpage.h"
#include "text/base64.h"
#include "text/cp1251.h"

#include <QTemporaryDir>

namespace {

const QString kDoseHeading = QStringLiteral("Дозы и способ применения:");

QString productBody(const QString &clientPath, qint64 itemId)
{
    Database db;
    db.open(clientPath, schema::databasePassword());
    ReferenceSnapshot snapshot;
    loadReferenceTables(db, snapshot);
    const NameLists names = buildNameLists(snapshot);
    const ComposedPage page =
        composeProductPage(PageSources{db, snapshot, names.russian, names.latin}, itemId);
    return page.error ? QStringLiteral("error: ") + *page.error : page.body;
}

QString storedValue(const QString &clientPath, const QString &sql)
{
    Database db;
    db.open(clientPath, schema::databasePassword());
    Statement st = db.prepare(sql);
    return st.step() ? st.text(0) : QStringLiteral("<no row>");
}

} // namespace

class TestSyncClear : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QProcess m_server;

private slots:
    void cleanupTestCase()
    {
        m_server.terminate();
        if (!m_server.waitForFinished(5000))
            m_server.kill();
    }

    void clearedDoseLeavesTheClientsPage()
    {
        QVERIFY(m_dir.isValid());
        ContentSet set = loadDemoContent(qEnvironmentVariable("RAMUX_SOURCE_DIR") +
                                         QStringLiteral("/tests/content/fixture"));
        ContentTable &items = set.table(QStringLiteral("items"));
        items.set(items.rows.front(), QStringLiteral("dose"),
                  QStringLiteral("<HTML>") +
                      Base64EncodeString(encodeCp1251Html(QStringLiteral("<p>1 мл на 10 кг</p>"))) +
                      QStringLiteral("</HTML>"));
        const qint64 itemId = items.rows.front().id;
        // A distributor without a description: its NULL must stay NULL through an edit.
        ContentTable &distributors = set.table(QStringLiteral("distributors"));
        ContentRow &plain = distributors.addRow(7);
        distributors.set(plain, QStringLiteral("name"), QStringLiteral("Без описания"));
        set.assignStamps();
        const QString content = m_dir.filePath(QStringLiteral("content.sqlite"));
        ContentDatabase::create(content, set);

        m_server.start(programPath(QStringLiteral("ramux-server")),
                       {QStringLiteral("--content"), content, QStringLiteral("--port"), QStringLiteral("0"),
                        QStringLiteral("--quiet")});
        QVERIFY2(m_server.waitForStarted(), qPrintable(m_server.errorString()));
        QString address;
        QByteArray log;
        const QRegularExpression listening(QStringLiteral("listening on (http://\\S+/api\\.php)"));
        for (QDeadlineTimer deadline(30000);
             !deadline.hasExpired() && address.isEmpty() && m_server.state() == QProcess::Running;) {
            m_server.waitForReadyRead(200);
            log += m_server.readAllStandardError();
            address = listening.match(QString::fromUtf8(log)).captured(1);
        }
        QVERIFY2(!address.isEmpty(), log.constData());

        const QString client = m_dir.filePath(QStringLiteral("client.rxd"));
        QCOMPARE(runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("create"), client}), 0);
        const QStringList sync{QStringLiteral("sync"), QStringLiteral("--db"), client,
                               QStringLiteral("--server"), address};
        QCOMPARE(runProgram(QStringLiteral("ramuxctl"), sync), 0);
        QVERIFY(productBody(client, itemId).contains(kDoseHeading));
        QCOMPARE(
            storedValue(client, QStringLiteral("SELECT typeof(description) FROM distributors WHERE id = 7")),
            QStringLiteral("null"));

        // The publisher clears the dose by hand, with a new stamp, and renames the distributor.
        {
            Database raw;
            raw.open(content, QByteArray());
            raw.exec(QStringLiteral("UPDATE items SET dose = NULL, last_update = (SELECT max(last_update) "
                                    "FROM items) + 1 WHERE id = %1")
                         .arg(itemId));
            raw.exec(QStringLiteral(
                "UPDATE distributors SET name = 'Переименован',"
                " last_update = (SELECT max(last_update) FROM distributors) + 1 WHERE id = 7"));
        }
        QByteArray out;
        QCOMPARE(runProgram(QStringLiteral("ramuxctl"), sync, &out), 0);
        QCOMPARE(out, QByteArray("edited 2\ndeleted 0\nadded 0\n"));
        QCOMPARE(
            storedValue(
                client,
                QStringLiteral("SELECT typeof(dose) || ':' || dose FROM items WHERE id = %1").arg(itemId)),
            QStringLiteral("text:"));
        const QString body = productBody(client, itemId);
        QVERIFY2(!body.contains(kDoseHeading), qPrintable(body));
        QVERIFY(body.contains(QStringLiteral("<H3>")));
        QCOMPARE(storedValue(client,
                             QStringLiteral(
                                 "SELECT typeof(description) || ':' || name FROM distributors WHERE id = 7")),
                 QStringLiteral("null:Переименован"));
    }
};

QTEST_GUILESS_MAIN(TestSyncClear)
#include "tst_syncclear.moc"
