// The text index and the synchronisation as two writers of one file: an index built between two
// sync pages, sync pages between the batches of a build, and products changed by a writer that
// does not keep the index (an older program) all end in the index a build from scratch writes.
#include "syncprocess.h"
#include "syncserver.h"

#include "db/options.h"
#include "search/storedrow.h"
#include "search/textindex.h"
#include "text/base64.h"
#include "text/cp1251.h"
#include "update/syncapply.h"
#include "update/synctables.h"

#include <QDomDocument>
#include <QTemporaryDir>

namespace {

// A text field as the server sends it: the page's HTML packed.
QString packed(const QString &text)
{
    return QStringLiteral("<HTML>%1</HTML>")
        .arg(Base64EncodeString(encodeCp1251Html(QStringLiteral("<p>%1</p>").arg(text))));
}

// A word of its own for every product: its id spelled in letters.
QString word(qint64 id)
{
    QString w = QStringLiteral("кор");
    for (const QChar digit : QString::number(id))
        w += QStringLiteral("бвгджзклмн").at(digit.digitValue());
    return w;
}

// Every index row as its product and each field's sorted terms (a page keeps an unchanged
// text's terms in its own order), then what the term index holds: each term's products per field.
QStringList indexRows(Database &db)
{
    QStringList rows;
    Statement ids = db.prepare(QStringLiteral("SELECT docid FROM search_text_terms ORDER BY docid"));
    Statement select = db.prepare(QStringLiteral("SELECT row FROM search_text_terms WHERE docid = ?1"));
    while (ids.step()) {
        const std::optional<textindex::detail::StoredRow> row = textindex::detail::readRow(select, ids.int64(0));
        if (!row) {
            rows << QStringLiteral("%1: damaged").arg(ids.int64(0));
            continue;
        }
        QString line = QString::number(ids.int64(0)) + QLatin1Char(':');
        for (int f = 0; f < textindex::fieldCount(); ++f) {
            QStringList terms = textindex::detail::allFieldTerms(*row)[size_t(f)].split(QLatin1Char(' '), Qt::SkipEmptyParts);
            terms.sort();
            line += QLatin1Char('|') + terms.join(QLatin1Char(' '));
        }
        rows << line;
    }
    db.exec(QStringLiteral("CREATE VIRTUAL TABLE IF NOT EXISTS temp.index_words USING fts4aux(main, search_text)"));
    Statement words =
        db.prepare(QStringLiteral("SELECT term, col, documents FROM temp.index_words ORDER BY term, col"));
    while (words.step())
        rows << QStringLiteral("%1 %2 %3").arg(words.text(0), words.text(1)).arg(words.int64(2));
    return rows;
}

// The rows must be those a build from scratch writes (which then replaces them).
void verifyAsRebuilt(Database &db)
{
    QVERIFY(!textindex::needsBuild(db));
    const QStringList rows = indexRows(db);
    textindex::rebuild(db);
    QCOMPARE(rows, indexRows(db));
}

void applyItems(Database &db, const QString &rows)
{
    QDomDocument doc;
    QVERIFY(doc.setContent(QStringLiteral("<DATA><TABLE>%1</TABLE></DATA>").arg(rows), false));
    TableSync sync(db, QStringLiteral("items"), true);
    QVERIFY(sync.applyPage(doc.documentElement().firstChildElement(QStringLiteral("TABLE"))).complete);
}

QString itemRow(qint64 id, qint64 stamp, const QString &text)
{
    return QStringLiteral("<ROW id=\"%1\" last_update=\"%2\"><name>Препарат %1</name><dose>%3</dose></ROW>")
        .arg(id)
        .arg(stamp)
        .arg(packed(text).toHtmlEscaped());
}

} // namespace

class TestSyncIndex : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

private slots:
    void indexBuiltBetweenTwoPagesHoldsTheSecond()
    {
        ContentModel content;
        for (qint64 id = 1; id <= tablesync::pageLimit; ++id)
            content.add(QStringLiteral("items"),
                        {id, id, false, {{QStringLiteral("dose"), packed(word(id))}}});
        const QString path = m_dir.filePath(QStringLiteral("between.rxd"));
        QCOMPARE(runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("create"), path}), 0);
        // Before the second page is answered, the server's texts change (the product count
        // stays) and the index is built on the client, as `ramuxctl index` does.
        int built = -1;
        SyncServer server([&](const QMap<QString, QString> &q) {
            if (q.value(QStringLiteral("table")) == QLatin1String("items") &&
                q.value(QStringLiteral("date")) == QString::number(tablesync::pageLimit) && built < 0) {
                content.add(
                    QStringLiteral("items"),
                    {5, 1001, false, {{QStringLiteral("dose"), packed(QStringLiteral("трихомоноз"))}}});
                content.add(QStringLiteral("items"), {7, 1002, true, {}});
                content.add(
                    QStringLiteral("items"),
                    {900, 1003, false, {{QStringLiteral("dose"), packed(QStringLiteral("бабезиоз"))}}});
                Database db;
                db.open(path, schema::databasePassword());
                built = textindex::rebuild(db);
            }
            return content.page(q);
        });
        const QStringList sync{QStringLiteral("sync"), QStringLiteral("--db"), path,
                               QStringLiteral("--server"), server.address()};
        QByteArray out, err;
        QCOMPARE(runProgram(QStringLiteral("ramuxctl"), sync, &out, &err), 0);
        QCOMPARE(built, tablesync::pageLimit);
        QVERIFY2(!err.contains("Индексация описаний"), err.constData()); // the page kept it current
        {
            Database db;
            db.open(path, schema::databasePassword());
            const QStringList rows = indexRows(db);
            QVERIFY(rows.filter(QRegularExpression(QStringLiteral("^7:"))).isEmpty());
            QCOMPARE(rows.filter(QRegularExpression(QStringLiteral("^900:"))).size(), 1);
            verifyAsRebuilt(db);

            // An older program changes a text and the position without touching the index.
            db.exec(QStringLiteral("UPDATE items SET dose = '%1' WHERE id = 10")
                        .arg(packed(QStringLiteral("кокцидиоз"))));
            db.exec(QStringLiteral("UPDATE options SET lu_items = lu_items + 1"));
            QVERIFY(textindex::needsBuild(db));
        }
        // The worker's next run sees it and builds anew.
        QCOMPARE(runProgram(QStringLiteral("ramuxctl"), sync, &out, &err), 0);
        QVERIFY2(err.contains("Индексация описаний"), err.constData());
        Database db;
        db.open(path, schema::databasePassword());
        verifyAsRebuilt(db);
        // A state row from before positions were recorded.
        db.exec(QStringLiteral(
            "CREATE TABLE old_state AS SELECT id, version, complete, next_id FROM search_state;"
            "DROP TABLE search_state; ALTER TABLE old_state RENAME TO search_state"));
        QVERIFY(textindex::needsBuild(db));
        QCOMPARE(textindex::build(db), tablesync::pageLimit);
        verifyAsRebuilt(db);
    }

    void pagesBetweenBatchesOfABuild()
    {
        const QString path = m_dir.filePath(QStringLiteral("batches.rxd"));
        schema::createDatabaseFile(path);
        Database db;
        db.open(path, schema::databasePassword());
        QString rows;
        for (qint64 id = 1; id <= 450; ++id)
            rows += itemRow(id, id, word(id));
        applyItems(db, rows);
        const auto batches = [&db](int count) {
            int asked = 0;
            textindex::build(db, {}, [&] { return asked++ == count; });
        };
        batches(1);
        QCOMPARE(textindex::state(db), textindex::State::Building);
        // Behind and ahead of the build: edits, deletions and a new product.
        applyItems(db, itemRow(5, 500, QStringLiteral("трихомоноз")) +
                           itemRow(300, 501, QStringLiteral("бабезиоз")) +
                           QStringLiteral("<ROW id=\"7\" last_update=\"502\" action=\"DELETE\"/>"
                                          "<ROW id=\"310\" last_update=\"503\" action=\"DELETE\"/>") +
                           itemRow(1000, 504, QStringLiteral("кокцидиоз")));
        batches(1);
        // An older program changes a product the build has passed: it starts over.
        db.exec(QStringLiteral("UPDATE items SET dose = '%1' WHERE id = 8")
                    .arg(packed(QStringLiteral("пироплазмоз"))));
        db.exec(QStringLiteral("UPDATE options SET lu_items = 600"));
        batches(-1);
        verifyAsRebuilt(db);
    }

    void pageDeletingOneProductAndAddingAnotherLeavesNoRowOfTheFirst()
    {
        const QString path = m_dir.filePath(QStringLiteral("swap.rxd"));
        schema::createDatabaseFile(path);
        Database db;
        db.open(path, schema::databasePassword());
        applyItems(db, itemRow(1, 1, word(1)) + itemRow(2, 2, word(2)) + itemRow(3, 3, word(3)));
        textindex::build(db);
        applyItems(db, QStringLiteral("<ROW id=\"2\" last_update=\"4\" action=\"DELETE\"/>") +
                           itemRow(4, 5, word(4)));
        QStringList ids;
        for (const QString &row : indexRows(db))
            if (row.contains(QLatin1Char(':')))
                ids << row.section(QLatin1Char(':'), 0, 0);
        QCOMPARE(ids, (QStringList{QStringLiteral("1"), QStringLiteral("3"), QStringLiteral("4")}));
    }

    // A stored row that no longer unpacks cannot say which terms to forget: the page still goes
    // through, and the index is rebuilt from empty tables, so the old terms match nothing.
    void damagedStoredRowIsRepairedByARebuild()
    {
        const QString path = m_dir.filePath(QStringLiteral("damaged.rxd"));
        schema::createDatabaseFile(path);
        Database db;
        db.open(path, schema::databasePassword());
        applyItems(db, itemRow(1, 1, word(1)) + itemRow(2, 2, QStringLiteral("трихомоноз")));
        textindex::build(db);
        db.exec(QStringLiteral("UPDATE search_text_terms SET row = x'0000ffff0102' WHERE docid = 2"));
        applyItems(db, itemRow(2, 3, QStringLiteral("бабезиоз")));
        QVERIFY(textindex::needsBuild(db));
        textindex::build(db);
        verifyAsRebuilt(db);
        Stemmer stemmer;
        QVERIFY(textindex::matchingProducts(db, textindex::prepareTerms(QStringLiteral("трихомоноз"), stemmer)).isEmpty());
        QCOMPARE(textindex::matchingProducts(db, textindex::prepareTerms(QStringLiteral("бабезиоз"), stemmer)),
                 QVector<qint64>{2});
    }
};

QTEST_GUILESS_MAIN(TestSyncIndex)
#include "tst_syncindex.moc"
