// The page-apply part of the synchronisation, driven with DOM pages on a real store.
#include "db/options.h"
#include "db/schema.h"
#include "db/sqlitedb.h"
#include "update/serverrequest.h"
#include "update/syncapply.h"
#include "update/syncpage.h"

#include <QDomDocument>
#include <QTemporaryDir>
#include <sqlcipher/sqlite3.h>
#include <QTest>

#include <memory>

class TestSyncApply : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<Database> m_db;
    QList<QDomDocument> m_documents;
    int m_files = 0;

    QDomElement page(const QString &rows, const QString &attributes = QString())
    {
        QDomDocument document;
        const QString xml = QStringLiteral("<DATA><TABLE%1>%2</TABLE></DATA>").arg(attributes, rows);
        if (!document.setContent(xml, false))
            qFatal("bad test page");
        m_documents << document;
        return document.documentElement().firstChildElement(QStringLiteral("TABLE"));
    }

    QString value(const QString &sql)
    {
        Statement st = m_db->prepare(sql);
        return st.step() ? st.text(0) : QStringLiteral("<no row>");
    }
    qint64 count(const QString &table) { return value(QStringLiteral("SELECT count(*) FROM %1").arg(table)).toLongLong(); }

private slots:
    void init()
    {
        m_db.reset(new Database);
        const QString path = m_dir.filePath(QStringLiteral("t%1.rxd").arg(++m_files));
        schema::createDatabaseFile(path);
        m_db->open(path, schema::databasePassword());
    }
    void cleanup()
    {
        m_documents.clear();
        m_db.reset();
    }

    void fieldValueTakesTextOrMarkup_data()
    {
        QTest::addColumn<QString>("element");
        QTest::addColumn<QString>("expected");
        QTest::newRow("text") << "<f>Лекарство</f>" << "Лекарство";
        QTest::newRow("entities decoded") << "<f>a &amp; b &lt;c&gt;</f>" << "a & b <c>";
        QTest::newRow("blanks kept") << "<f> x </f>" << " x ";
        QTest::newRow("empty") << "<f/>" << "";
        QTest::newRow("paragraph markup") << "<f><p>Текст <b>жирный</b></p></f>" << "<p>Текст <b>жирный</b></p>";
        QTest::newRow("mixed") << "<f>a<br/>b</f>" << "a<br/>b";
        QTest::newRow("cdata keeps markup") << "<f><![CDATA[<q>]]></f>" << "<![CDATA[<q>]]>";
        QTest::newRow("escaped text in markup") << "<f><p>a &amp; b</p></f>" << "<p>a &amp; b</p>";
    }
    void fieldValueTakesTextOrMarkup()
    {
        QFETCH(QString, element);
        QFETCH(QString, expected);
        QDomDocument document;
        QVERIFY(document.setContent(element, false));
        const QString value = fieldValue(document.documentElement());
        QCOMPARE(value, expected);
        QVERIFY(!value.isNull());
    }

    // Ordinary pages are read in one streaming pass, the rest through a DOM: both must give the
    // same rows, whether the text comes straight or through the envelope reader first.
    void streamedPageReadsAsTheDom_data()
    {
        QTest::addColumn<QString>("data");
        const QString row = QStringLiteral("<ROW id=\"1\" last_update=\"5\">%1</ROW>");
        QTest::newRow("plain") << QStringLiteral("<DATA><TABLE><ROW id=\"1\" last_update=\"5\"><name>Имя</name>"
                                                 "<n>2</n></ROW><ROW id=\"2\" action=\"DELETE\"/></TABLE></DATA>");
        QTest::newRow("blanks between and inside")
            << QStringLiteral("<DATA>\n <TABLE>\n  %1\n  %1 </TABLE>\n</DATA>").arg(row.arg("<name> \n </name><n> 3 </n>"));
        QTest::newRow("references") << QStringLiteral("<DATA><TABLE update_details_text=\"a&#10;b\">%1</TABLE></DATA>")
                                           .arg(row.arg("<name>a&#13;b&amp;c&#9;&lt;</name>"));
        QTest::newRow("attribute references")
            << QStringLiteral("<DATA><TABLE><ROW id=\"&#32;7\" last_update=\"&#10;9\" action=\"DEL&#69;TE\"/></TABLE></DATA>");
        QTest::newRow("markup in a field") << QStringLiteral("<DATA><TABLE>%1</TABLE></DATA>").arg(row.arg("<d><p>a <b>b</b></p></d>"));
        QTest::newRow("cdata in a field") << QStringLiteral("<DATA><TABLE>%1</TABLE></DATA>").arg(row.arg("<d><![CDATA[<q>]]></d>"));
        QTest::newRow("comment splits a field")
            << QStringLiteral("<DATA><TABLE>%1</TABLE></DATA>").arg(row.arg("<d>a<!--c-->b</d>"));
        QTest::newRow("comment and text between rows")
            << QStringLiteral("<DATA><TABLE>%1<!--c-->x%1<?pi d?></TABLE></DATA>").arg(row.arg("<n>1</n>"));
        QTest::newRow("text and comments in a row")
            << QStringLiteral("<DATA><TABLE>%1</TABLE></DATA>").arg(row.arg("x<!--c--><n>1</n>y<![CDATA[z]]><n>2</n>"));
        QTest::newRow("repeated fields") << QStringLiteral("<DATA><TABLE>%1</TABLE></DATA>").arg(row.arg("<n>1</n><N>2</N><n>3</n>"));
        QTest::newRow("table not first, two tables")
            << QStringLiteral("<DATA><X><TABLE>%1</TABLE></X><TABLE>%2</TABLE><TABLE>%1</TABLE></DATA>")
                   .arg(row.arg("<n>1</n>"), row.arg("<n>2</n>"));
        QTest::newRow("prefixed names") << QStringLiteral("<DATA><TABLE>%1</TABLE></DATA>").arg(row.arg("<x:n>1</x:n>"));
        QTest::newRow("no table") << QStringLiteral("<DATA><ROW id=\"1\"/></DATA>");
        QTest::newRow("empty table") << QStringLiteral("<DATA><TABLE/></DATA>");
        QTest::newRow("blank table") << QStringLiteral("<DATA><TABLE>\n </TABLE></DATA>");
        QTest::newRow("entity declared") << QStringLiteral("<!DOCTYPE DATA [<!ENTITY e \"v\">]><DATA><TABLE>%1</TABLE></DATA>")
                                              .arg(row.arg("<n>&e;</n>"));
        QTest::newRow("broken") << QStringLiteral("<DATA><TABLE><ROW id=\"1\"><n>1</n></TABLE></DATA>");
        QTest::newRow("empty") << QString();
    }
    void streamedPageReadsAsTheDom()
    {
        QFETCH(QString, data);
        const auto describe = [](const std::optional<SyncPageText> &page) {
            if (!page)
                return QStringLiteral("not XML");
            QStringList out{QStringLiteral("table %1 nodes %2 [%3] [%4]")
                                .arg(page->hasTable)
                                .arg(page->nodes)
                                .arg(page->detailsText, page->detailsUrl)};
            for (const PageRowText &r : page->rows) {
                QString line = QStringLiteral("%1 %2 %3 %4:").arg(r.isElement).arg(r.id.value_or("-"),
                                                                   r.lastUpdate.value_or("-"), r.action.value_or("-"));
                for (const auto &[name, value] : r.fields)
                    line += QStringLiteral(" %1=[%2]%3").arg(name, value).arg(value.isNull() ? "null" : "");
                out << line;
            }
            return out.join(QLatin1Char('\n'));
        };
        const auto viaDom = [](const QString &text) -> std::optional<SyncPageText> {
            QDomDocument document;
            if (!document.setContent(text, false))
                return std::nullopt;
            return syncPageFromElement(document.documentElement().firstChildElement(QStringLiteral("TABLE")));
        };
        QCOMPARE(describe(readSyncPage(data)), describe(viaDom(data)));

        if (data.isEmpty() || data.startsWith(QLatin1String("<!DOCTYPE")))
            return; // the envelope reader refuses these before any page is read
        const QByteArray body = QStringLiteral("<ramux version=\"1\"><RESULT status=\"OK\"/>%1</ramux>").arg(data).toUtf8();
        EnvelopeResult envelope;
        try {
            envelope = parseEnvelope(body);
        } catch (const XmlAnswerError &) {
            return; // not XML: no page reaches the reader
        }
        QCOMPARE(describe(readSyncPage(envelope.answer)), describe(viaDom(envelope.answer)));
    }

    void changeOfUnknownIdAppendsAndCounts()
    {
        TableSync sync(*m_db, QStringLiteral("vendors"), true);
        const PageOutcome out = sync.applyPage(page(QStringLiteral(
            "<ROW id=\"7\" last_update=\"100\"><name>Завод</name><description>PACK</description></ROW>")));
        QVERIFY(out.complete);
        QCOMPARE(out.rows, 1);
        QCOMPARE(out.counted.added, 1);
        QCOMPARE(out.counted.edited, 0);
        QCOMPARE(value(QStringLiteral("SELECT name || '|' || description FROM vendors WHERE id = 7")), QStringLiteral("Завод|PACK"));
        QCOMPARE(readTablePosition(*m_db, QStringLiteral("vendors")), 100);
    }

    void partialChangeKeepsOtherFields()
    {
        m_db->exec(QStringLiteral("INSERT INTO items (id, name, name_lat, dose) VALUES (3, 'Старое', 'Vetus', 'DOSE')"));
        TableSync sync(*m_db, QStringLiteral("items"), true);
        const PageOutcome out = sync.applyPage(page(QStringLiteral("<ROW id=\"3\" last_update=\"9\"><name>Новое</name></ROW>")));
        QVERIFY(out.complete);
        QCOMPARE(out.counted.edited, 1);
        QCOMPARE(out.counted.added, 0);
        QCOMPARE(value(QStringLiteral("SELECT name || '|' || name_lat || '|' || dose FROM items WHERE id = 3")),
                 QStringLiteral("Новое|Vetus|DOSE"));
        QCOMPARE(count(QStringLiteral("items")), 1);
    }

    void onlyExactDeleteDeletes()
    {
        m_db->exec(QStringLiteral("INSERT INTO sections (id, parent_id, name) VALUES (1, 0, 'A'), (2, 0, 'B')"));
        TableSync sync(*m_db, QStringLiteral("sections"), true);
        const PageOutcome out = sync.applyPage(page(QStringLiteral(
            "<ROW id=\"1\" last_update=\"5\" action=\"DELETE\"/>"
            "<ROW id=\"2\" last_update=\"6\" action=\"delete\"><name>B2</name></ROW>"
            "<ROW id=\"9\" last_update=\"7\" action=\"DELETE\"/>")));
        QVERIFY(out.complete);
        QCOMPARE(out.counted.deleted, 1);
        QCOMPARE(out.counted.edited, 1); // the lower-case "delete" is a change
        QCOMPARE(out.counted.added, 0);  // deleting an unknown id does nothing
        QCOMPARE(count(QStringLiteral("sections")), 1);
        QCOMPARE(value(QStringLiteral("SELECT name FROM sections WHERE id = 2")), QStringLiteral("B2"));
        QCOMPARE(readTablePosition(*m_db, QStringLiteral("sections")), 7);
    }

    void rowsWithoutStampsSetPositionToZero()
    {
        writeTablePosition(*m_db, QStringLiteral("dealers"), 500);
        TableSync sync(*m_db, QStringLiteral("dealers"), true);
        const PageOutcome out = sync.applyPage(page(QStringLiteral(
            "<ROW id=\"1\"><name>a</name></ROW><ROW id=\"2\" last_update=\"soon\"><name>b</name></ROW>")));
        QVERIFY(out.complete);
        QCOMPARE(out.newest, 0);
        QCOMPARE(count(QStringLiteral("dealers")), 2);
        QCOMPARE(readTablePosition(*m_db, QStringLiteral("dealers")), 0);
    }

    void positionFollowsPageEvenWhenLower()
    {
        writeTablePosition(*m_db, QStringLiteral("vendors"), 500);
        TableSync sync(*m_db, QStringLiteral("vendors"), true);
        QVERIFY(sync.applyPage(page(QStringLiteral("<ROW id=\"1\" last_update=\"40\"/><ROW id=\"2\" last_update=\"30\"/>"))).complete);
        QCOMPARE(readTablePosition(*m_db, QStringLiteral("vendors")), 40);
    }

    void linkTablesAreNotCounted()
    {
        TableSync sync(*m_db, QStringLiteral("items_to_sections"), false);
        const PageOutcome out = sync.applyPage(page(QStringLiteral(
            "<ROW id=\"1\" last_update=\"3\"><item_id>10</item_id><section_id>20</section_id></ROW>")));
        QVERIFY(out.complete);
        QCOMPARE(out.counted.total(), 0);
        QCOMPARE(out.applied, 1);
        QCOMPARE(value(QStringLiteral("SELECT typeof(item_id) || typeof(section_id) FROM items_to_sections")),
                 QStringLiteral("integerinteger"));
    }

    void elementsThatAreNotColumnsOfThisTableAreSkipped()
    {
        TableSync sync(*m_db, QStringLiteral("vendors"), true);
        const PageOutcome out = sync.applyPage(page(QStringLiteral(
            "<ROW id=\"4\" last_update=\"1\">"
            "<NAME>Upper</NAME>"              // letter case differs: still the column
            "<parent_id>3</parent_id>"        // a column of sections, not of vendors
            "<name_lat>X</name_lat>"          // a column of items
            "<x_DROP_TABLE_items>1</x_DROP_TABLE_items>"
            "<ID>99</ID>"                     // never moves the row to another key
            "<last_update>77</last_update>"
            "</ROW>")));
        QVERIFY(out.complete);
        QCOMPARE(value(QStringLiteral("SELECT id || '|' || name FROM vendors")), QStringLiteral("4|Upper"));
        QCOMPARE(count(QStringLiteral("vendors")), 1);
        QCOMPARE(count(QStringLiteral("items")), 0);
        QCOMPARE(readTablePosition(*m_db, QStringLiteral("vendors")), 1);
    }

    void mixedCaseColumnIsMatched()
    {
        TableSync sync(*m_db, QStringLiteral("items"), true);
        QVERIFY(sync.applyPage(page(QStringLiteral(
            "<ROW id=\"1\" last_update=\"1\"><contra_indication>CI</contra_indication><Name>n</Name></ROW>"))).complete);
        QCOMPARE(value(QStringLiteral("SELECT CONTRA_INDICATION || name FROM items")), QStringLiteral("CIn"));
    }

    void rowsWithUnreadableIdAreSkipped()
    {
        m_db->exec(QStringLiteral("INSERT INTO vendors (id, name) VALUES (0, 'zero')"));
        TableSync sync(*m_db, QStringLiteral("vendors"), true);
        const PageOutcome out = sync.applyPage(page(QStringLiteral(
            "<ROW id=\"abc\" last_update=\"10\"><name>a</name></ROW>"
            "<ROW id=\"1.5\" last_update=\"11\"><name>b</name></ROW>"
            "<ROW id=\"\" last_update=\"12\"><name>c</name></ROW>"
            "<ROW last_update=\"13\"><name>d</name></ROW>"
            "<ROW id=\"99999999999\" last_update=\"14\"><name>e</name></ROW>"
            "<!-- a note -->"
            "<ROW id=\" 5 \" last_update=\"9\"><name>ok</name></ROW>")));
        QVERIFY(out.complete);
        QCOMPARE(out.rows, 7);
        QCOMPARE(out.skipped, 6);
        QCOMPARE(out.applied, 1);
        QCOMPARE(out.counted.added, 1);
        QCOMPARE(out.counted.edited, 0);
        // Nothing landed on another record, in particular not on id 0.
        QCOMPARE(value(QStringLiteral("SELECT group_concat(id || '=' || name) FROM (SELECT * FROM vendors ORDER BY id)")),
                 QStringLiteral("0=zero,5=ok"));
        QCOMPARE(readTablePosition(*m_db, QStringLiteral("vendors")), 14);
    }

    void valuesAreNotNarrowedAndKeepAffinity()
    {
        TableSync sync(*m_db, QStringLiteral("sections"), true);
        const QString name = QStringLiteral("Антибиотики ✓ 抗生素 €");
        QVERIFY(sync.applyPage(page(QStringLiteral("<ROW id=\"2\" last_update=\"1\"><name>%1</name><parent_id>5</parent_id>"
                                                   "<description>123</description></ROW>").arg(name))).complete);
        QCOMPARE(value(QStringLiteral("SELECT name FROM sections")), name);
        QCOMPARE(value(QStringLiteral("SELECT typeof(parent_id) || '|' || typeof(description) FROM sections")),
                 QStringLiteral("integer|text"));
    }

    void fieldNamedTwiceKeepsLaterValue()
    {
        TableSync sync(*m_db, QStringLiteral("dealers"), true);
        QVERIFY(sync.applyPage(page(QStringLiteral("<ROW id=\"1\" last_update=\"1\"><name>a</name><NAME>b</NAME></ROW>"))).complete);
        QCOMPARE(value(QStringLiteral("SELECT name FROM dealers")), QStringLiteral("b"));
    }

    void failingRowRollsBackAloneAndPositionStays()
    {
        m_db->exec(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON vendors WHEN NEW.name = 'bad'"
                                  " BEGIN SELECT RAISE(ABORT, 'refused'); END"));
        m_db->exec(QStringLiteral("CREATE TRIGGER refuse2 BEFORE UPDATE ON vendors WHEN NEW.name = 'bad'"
                                  " BEGIN SELECT RAISE(ABORT, 'refused'); END"));
        m_db->exec(QStringLiteral("INSERT INTO vendors (id, name) VALUES (2, 'two')"));
        writeTablePosition(*m_db, QStringLiteral("vendors"), 3);
        TableSync sync(*m_db, QStringLiteral("vendors"), true);
        const PageOutcome out = sync.applyPage(page(QStringLiteral(
            "<ROW id=\"1\" last_update=\"4\"><name>one</name></ROW>"
            "<ROW id=\"2\" last_update=\"5\"><name>bad</name><description>D</description></ROW>"
            "<ROW id=\"3\" last_update=\"6\"><name>three</name></ROW>")));
        QVERIFY(!out.complete);
        QVERIFY(out.error.contains(QStringLiteral("refused")));
        QCOMPARE(out.applied, 1);
        QCOMPARE(out.counted.added, 1);
        QCOMPARE(out.counted.edited, 0);
        QCOMPARE(value(QStringLiteral("SELECT group_concat(id || '=' || name || coalesce(description, '')) FROM vendors")),
                 QStringLiteral("1=one,2=two")); // row 2 untouched, row 3 never applied
        QCOMPARE(readTablePosition(*m_db, QStringLiteral("vendors")), 3);
        // The store is usable afterwards: no transaction left open.
        m_db->exec(QStringLiteral("BEGIN IMMEDIATE; COMMIT"));
    }

    void rowThatUndoesTheTransactionTakesThePageWithIt()
    {
        // SQLite undoes the whole transaction on some failures (a full disk, RAISE(ROLLBACK)):
        // nothing may then be written outside it, neither the rows after nor the position.
        m_db->exec(QStringLiteral("CREATE TRIGGER undo BEFORE INSERT ON vendors WHEN NEW.name = 'bad'"
                                  " BEGIN SELECT RAISE(ROLLBACK, 'undone'); END"));
        writeTablePosition(*m_db, QStringLiteral("vendors"), 3);
        TableSync sync(*m_db, QStringLiteral("vendors"), true);
        const PageOutcome out = sync.applyPage(page(QStringLiteral(
            "<ROW id=\"1\" last_update=\"4\"><name>one</name></ROW>"
            "<ROW id=\"2\" last_update=\"5\"><name>bad</name></ROW>"
            "<ROW id=\"3\" last_update=\"6\"><name>three</name></ROW>")));
        QVERIFY(!out.complete);
        QVERIFY(out.error.contains(QStringLiteral("undone")));
        QCOMPARE(out.applied, 0);
        QCOMPARE(count(QStringLiteral("vendors")), 0);
        QCOMPARE(readTablePosition(*m_db, QStringLiteral("vendors")), 3);
        m_db->exec(QStringLiteral("BEGIN IMMEDIATE; COMMIT"));
    }

    void missingPositionFieldKeepsRowsAndFailsPage()
    {
        m_db.reset(new Database);
        const QString path = m_dir.filePath(QStringLiteral("custom.rxd"));
        m_db->open(path, schema::databasePassword(), Database::OpenMode::Create);
        m_db->exec(QStringLiteral("CREATE TABLE dealers (id INTEGER PRIMARY KEY, name TEXT);"
                                  "CREATE TABLE options (id INTEGER PRIMARY KEY, lu_items INTEGER);"
                                  "INSERT INTO options (id, lu_items) VALUES (1, 0)"));
        TableSync sync(*m_db, QStringLiteral("dealers"), true);
        const PageOutcome out = sync.applyPage(page(QStringLiteral("<ROW id=\"1\" last_update=\"4\"><name>a</name></ROW>")));
        QVERIFY(!out.complete);
        QCOMPARE(count(QStringLiteral("dealers")), 1);
        QCOMPARE(out.counted.added, 1);
    }

    void pageCommitsItsRowsAndPositionAsOne()
    {
        // A position committed apart from its rows leaves, when the program dies between the two
        // commits, a table that does not match its position: one page is one commit.
        struct Hook
        {
            int commits = 0;
            bool refuse = false;
        } hook;
        sqlite3_commit_hook(
            m_db->handle(),
            [](void *data) {
                auto *h = static_cast<Hook *>(data);
                ++h->commits;
                return h->refuse ? 1 : 0;
            },
            &hook);
        writeTablePosition(*m_db, QStringLiteral("vendors"), 3);
        hook.commits = 0;
        TableSync sync(*m_db, QStringLiteral("vendors"), true);
        const QString rows = QStringLiteral("<ROW id=\"1\" last_update=\"4\"><name>one</name></ROW>"
                                            "<ROW id=\"2\" last_update=\"5\"><name>two</name></ROW>");
        // A commit that fails takes the whole page with it: no row, no position.
        hook.refuse = true;
        const PageOutcome refused = sync.applyPage(page(rows));
        QVERIFY(!refused.complete);
        QCOMPARE(refused.applied, 0);
        QCOMPARE(count(QStringLiteral("vendors")), 0);
        QCOMPARE(readTablePosition(*m_db, QStringLiteral("vendors")), 3);
        QCOMPARE(hook.commits, 1);

        hook.refuse = false;
        hook.commits = 0;
        QVERIFY(sync.applyPage(page(rows)).complete);
        QCOMPARE(hook.commits, 1);
        QCOMPARE(count(QStringLiteral("vendors")), 2);
        QCOMPARE(readTablePosition(*m_db, QStringLiteral("vendors")), 5);
        sqlite3_commit_hook(m_db->handle(), nullptr, nullptr);
    }

    void missingTableIsAnError()
    {
        m_db->exec(QStringLiteral("DROP TABLE dealers"));
        QVERIFY_THROWS_EXCEPTION(DbError, TableSync(*m_db, QStringLiteral("dealers"), true));
    }

    void emptyPageChangesNothing()
    {
        writeTablePosition(*m_db, QStringLiteral("items"), 8);
        TableSync sync(*m_db, QStringLiteral("items"), true);
        const PageOutcome out = sync.applyPage(page(QString()));
        QCOMPARE(out.rows, 0);
        QCOMPARE(readTablePosition(*m_db, QStringLiteral("items")), 8);
    }
};

QTEST_GUILESS_MAIN(TestSyncApply)
#include "tst_syncapply.moc"
