// The structured tables beside the nine: the nine tables' pages stay byte for byte what they
// were, the four are paged like them, and a content file from before them gets them, empty.
#include "serverapi.h"

#include "content/content.h"
#include "content/contentdb.h"
#include "content/sourcereader.h"
#include "db/schema.h"
#include "db/sqlitedb.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

QueryParameters pageOf(const QString &table, qint64 date)
{
    return {{QStringLiteral("action"), QStringLiteral("get_table")},
            {QStringLiteral("table"), table},
            {QStringLiteral("date"), QString::number(date)},
            {QStringLiteral("limit"), QStringLiteral("200")}};
}

// Every page of a table as a client pages it, the answers joined.
QByteArray allPages(ServerApi &api, const QString &table)
{
    QByteArray all;
    qint64 date = 0;
    for (int page = 0; page < 1000; ++page) {
        const QByteArray answer = api.answer(pageOf(table, date));
        all += answer;
        static const QRegularExpression stamp(QStringLiteral("last_update=\"([0-9]+)\""));
        qint64 newest = date;
        for (auto it = stamp.globalMatch(QString::fromUtf8(answer)); it.hasNext();)
            newest = std::max(newest, it.next().captured(1).toLongLong());
        if (newest == date)
            break;
        date = newest;
    }
    return all;
}

} // namespace

class TestServerStructured : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

private slots:
    void ninePagesStayAsTheyWereAndTheFourAreServed()
    {
        QVERIFY(m_dir.isValid());
        const ContentSet full = loadDemoContent(demoContentDir());
        ContentSet nineOnly = full;
        for (const QString &table : schema::structuredTables())
            nineOnly.table(table).rows.clear();
        const QString withPath = m_dir.filePath(QStringLiteral("with.sqlite"));
        const QString withoutPath = m_dir.filePath(QStringLiteral("without.sqlite"));
        ContentDatabase::create(withPath, full);
        ContentDatabase::create(withoutPath, nineOnly);
        ServerApi with(withPath), without(withoutPath);
        // What an older client asks for: exactly the same bytes.
        for (const QString &table : schema::dataTables())
            QVERIFY2(allPages(with, table) == allPages(without, table), qPrintable(table));

        for (const QString &table : schema::structuredTables()) {
            const QByteArray pages = allPages(with, table);
            QVERIFY2(pages.count("<ROW ") == qsizetype(full.findTable(table)->rows.size()),
                     qPrintable(table));
            QVERIFY(!pages.contains("status=\"FAIL\""));
        }
        QVERIFY(with.answer(pageOf(QStringLiteral("item_doses"), 0)).contains("<source_quote>"));
        QVERIFY(with.answer(pageOf(QStringLiteral("options"), 0)).contains("err_code=\"2\""));
    }

    void contentFileFromBeforeGetsTheTablesEmpty()
    {
        const QString path = m_dir.filePath(QStringLiteral("older.sqlite"));
        ContentSet set = ContentSet::empty();
        ContentRow &row = set.table(QStringLiteral("vendors")).addRow(1);
        set.table(QStringLiteral("vendors")).set(row, QStringLiteral("name"), QStringLiteral("Завод"));
        set.assignStamps();
        ContentDatabase::create(path, set);
        {
            Database raw;
            raw.open(path, QByteArray());
            for (const QString &table : schema::structuredTables())
                raw.exec(QStringLiteral("DROP TABLE %1").arg(table));
        }
        ServerApi api(path);
        const QByteArray species = api.answer(pageOf(QStringLiteral("species"), 0));
        QVERIFY2(species.contains("<TABLE></TABLE>"), species.constData());
        QVERIFY(api.answer(pageOf(QStringLiteral("vendors"), 0)).contains("<name>Завод</name>"));
        // Rows added later are stamped above everything else.
        ContentDatabase db(path);
        const qint64 stamp =
            db.upsertRow(QStringLiteral("species"), 1, {{QStringLiteral("code"), QStringLiteral("dog")}});
        QVERIFY(stamp > db.highestStamp(QStringLiteral("vendors")));
        QVERIFY(api.answer(pageOf(QStringLiteral("species"), 0)).contains("<code>dog</code>"));
    }
};

QTEST_GUILESS_MAIN(TestServerStructured)
#include "tst_serverstructured.moc"
