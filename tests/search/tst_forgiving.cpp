// The forgiving readings and the text index on the demo reference, through the same calls the
// results page and ramuxctl find make.
#include "demodb.h"

#include "pages/searchpage.h"
#include "search/finder.h"
#include "search/plaintext.h"
#include "search/textfold.h"
#include "search/translit.h"
#include "search/typo.h"

#include <QElapsedTimer>

namespace {

// "id how" of every hit, in order.
QStringList hitsOf(LoadedReference &ref, const finder::ProductCatalog &catalog, const QString &typed)
{
    QStringList out;
    for (const finder::ProductHit &hit : finder::findProducts(ref.db, catalog, typed))
        out << QStringLiteral("%1 %2").arg(hit.id).arg(finder::howText(hit));
    return out;
}

} // namespace

class TestForgiving : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_path;
    std::unique_ptr<LoadedReference> m_ref;
    finder::ProductCatalog m_catalog;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_path = writeDemoDatabase(m_dir, QStringLiteral("demo.rxd"), true);
        m_ref = std::make_unique<LoadedReference>(m_path);
        m_catalog = finder::buildProductCatalog(m_ref->names.russian, m_ref->names.latin);
    }

    void readingsFindDemoProducts_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("expected"); // "id how" that must be among the hits
        QTest::addColumn<QString>("firstHow"); // how the first hit was found
        QTest::newRow("as typed, any case") << QStringLiteral("альбендазол") << QStringLiteral("144 name") << QStringLiteral("name");
        QTest::newRow("ё typed as е") << QStringLiteral("таежный") << QStringLiteral("202 name") << QStringLiteral("name");
        QTest::newRow("е typed as ё") << QStringLiteral("ёловит") << QStringLiteral("246 name") << QStringLiteral("name");
        QTest::newRow("Latin name") << QStringLiteral("amoxicillinum") << QStringLiteral("101 name-latin") << QStringLiteral("name-latin");
        QTest::newRow("wrong layout, QWERTY") << QStringLiteral("fkm,tylfpjk") << QStringLiteral("144 layout") << QStringLiteral("layout");
        QTest::newRow("wrong layout, capitals") << QStringLiteral("FKM,TYLFPJK") << QStringLiteral("147 layout") << QStringLiteral("layout");
        QTest::newRow("wrong layout, Latin name") << QStringLiteral("фьщчшсшд") << QStringLiteral("101 layout") << QStringLiteral("layout");
        QTest::newRow("translit, English spelling") << QStringLiteral("amoxicillin 15") << QStringLiteral("101 translit") << QStringLiteral("translit");
        QTest::newRow("translit, Russian spelling") << QStringLiteral("amoksitsillin") << QStringLiteral("104 translit") << QStringLiteral("translit");
        QTest::newRow("translit, Cyrillic for Latin") << QStringLiteral("ивермектинум") << QStringLiteral("151 translit") << QStringLiteral("translit");
        QTest::newRow("translit, a product with only a Latin name") << QStringLiteral("цефтиофурум rtu") << QStringLiteral("242 translit") << QStringLiteral("translit");
        QTest::newRow("one letter wrong") << QStringLiteral("мелоксикан") << QStringLiteral("207 typo") << QStringLiteral("typo");
        QTest::newRow("one letter missing") << QStringLiteral("мелоксиам") << QStringLiteral("208 typo") << QStringLiteral("typo");
        QTest::newRow("stem: гельминтов finds гельминтами") << QStringLiteral("гельминтов") << QStringLiteral("144 text:effect") << QStringLiteral("text:effect");
        QTest::newRow("stem and ё") << QStringLiteral("диктиокаулез") << QStringLiteral("145 text:prescriptions") << QStringLiteral("text:prescriptions");
        QTest::newRow("text in the wrong layout is not a text hit") << QStringLiteral("lbrnbjrfektp") << QStringLiteral("") << QStringLiteral("");
    }
    void readingsFindDemoProducts()
    {
        QFETCH(QString, typed);
        QFETCH(QString, expected);
        QFETCH(QString, firstHow);
        const QStringList hits = hitsOf(*m_ref, m_catalog, typed);
        if (expected.isEmpty()) {
            QVERIFY2(hits.isEmpty(), qPrintable(hits.join(QLatin1String(", "))));
            return;
        }
        QVERIFY2(hits.contains(expected), qPrintable(hits.join(QLatin1String(", "))));
        QCOMPARE(hits.first().section(QLatin1Char(' '), 1), firstHow);
        // Every product once.
        QStringList ids;
        for (const QString &hit : hits)
            ids << hit.section(QLatin1Char(' '), 0, 0);
        QCOMPARE(QSet<QString>(ids.begin(), ids.end()).size(), ids.size());
    }

    void readingsComeInTheirOrder()
    {
        // As typed first, in both alphabets, then the forgiving readings, then the texts.
        const QVector<finder::ProductHit> hits = finder::findProducts(m_ref->db, m_catalog, QStringLiteral("ивермектин"));
        QVERIFY(hits.size() > 2);
        int last = 0;
        for (const finder::ProductHit &hit : hits) {
            QVERIFY(int(hit.how) >= last);
            last = int(hit.how);
        }
        QCOMPARE(hits.first().how, finder::How::Name);
        QCOMPARE(hits.last().how, finder::How::Text);
    }

    void fragmentsAreShortPlainAndMarked()
    {
        const QVector<finder::ProductHit> hits = finder::findProducts(m_ref->db, m_catalog, QStringLiteral("гельминтов"));
        QVERIFY(!hits.isEmpty());
        for (const finder::ProductHit &hit : hits) {
            QCOMPARE(hit.how, finder::How::Text);
            const QString &f = hit.text.fragment;
            QVERIFY2(f.size() <= textindex::kFragmentChars, qPrintable(f));
            QVERIFY2(!f.contains(QLatin1Char('<')) && !f.contains(QLatin1Char('&')), qPrintable(f));
            QVERIFY(!hit.text.marks.isEmpty());
            const auto [start, length] = hit.text.marks.first();
            QVERIFY(textfold::fold(f.mid(start, length)).startsWith(QStringLiteral("гельминт")));
            QVERIFY(textfold::fold(hit.text.firstWord).startsWith(QStringLiteral("гельминт")));
        }
    }

    void hostileQueriesArePlainWords_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::newRow("FTS syntax") << QStringLiteral("\"амокс* OR NEAR (x) -y\"");
        QTest::newRow("SQL") << QStringLiteral("'; DROP TABLE items; --");
        QTest::newRow("control characters") << QStringLiteral("мел\x01\x1f\tокс\r\n");
        QTest::newRow("10,000 characters") << QString(10000, QChar(u'ж'));
        QTest::newRow("many words") << QStringLiteral("гельминтов ").repeated(2000);
        QTest::newRow("upper-case operators") << QStringLiteral("гельминтов OR NOT AND NEAR");
    }
    void hostileQueriesArePlainWords()
    {
        QFETCH(QString, typed);
        QElapsedTimer timer;
        timer.start();
        finder::findProducts(m_ref->db, m_catalog, typed);
        const SearchCatalogs catalogs = buildSearchCatalogs(
            PageSources{m_ref->db, m_ref->snapshot, m_ref->names.russian, m_ref->names.latin});
        const SearchPage page = composeSearchPage(
            PageSources{m_ref->db, m_ref->snapshot, m_ref->names.russian, m_ref->names.latin}, catalogs, typed);
        QVERIFY(!page.page.error);
        QVERIFY(timer.elapsed() < 5000);
        // The table is still there and answers.
        Statement st = m_ref->db.prepare(QStringLiteral("SELECT count(*) FROM items"));
        QVERIFY(st.step());
        QCOMPARE(st.int64(0), qint64(m_ref->snapshot.items.rows.size()));
    }

    void foldingAndKeysAgree()
    {
        QCOMPARE(textfold::fold(QStringLiteral("ЁЛКА Ёж")), QStringLiteral("елка еж"));
        QCOMPARE(textfold::swapLayout(QStringLiteral("fkm,tylfpjk")), QStringLiteral("альбендазол"));
        QCOMPARE(textfold::swapLayout(QStringLiteral("фьщчшсшддшт")), QStringLiteral("amoxicillin"));
        QVERIFY(textfold::swapLayout(QStringLiteral("амокс amox")).isEmpty());
        const QString key = translit::key(QStringLiteral("АМОКСИЦИЛЛИН"));
        QCOMPARE(translit::key(QStringLiteral("amoxicillin")), key);
        QCOMPARE(translit::key(QStringLiteral("amoksitsillin")), key);
        QCOMPARE(translit::key(QStringLiteral("Priazovje")), translit::key(QStringLiteral("Приазовье")));
        QVERIFY(translit::key(QStringLiteral("Ivermectinum")).startsWith(translit::key(QStringLiteral("ивермектин"))));
        QVERIFY(typo::withinOneSlip(QStringLiteral("мелоксикам"), QStringLiteral("мелокискам"))); // swapped
        QVERIFY(!typo::withinOneSlip(QStringLiteral("мелоксикам"), QStringLiteral("мелакискам")));
        QCOMPARE(htmlToPlainText(QStringLiteral("<p>a&amp;b&nbsp;<b>c</b>d</p><p>&#1105;&laquo;x&raquo;</p>")),
                 QStringLiteral("a&b cd ё«x»"));
    }

    void resultsPage()
    {
        const PageSources sources{m_ref->db, m_ref->snapshot, m_ref->names.russian, m_ref->names.latin};
        const SearchCatalogs catalogs = buildSearchCatalogs(sources);

        SearchPage page = composeSearchPage(sources, catalogs, QStringLiteral("альбендазол"));
        QVERIFY(page.page.body.contains(QStringLiteral("<H3>Результаты поиска</H3>")));
        QVERIFY(page.page.body.contains(QStringLiteral("Найдено: %1").arg(page.found)));
        QVERIFY(page.page.body.contains(QStringLiteral("<B>В названиях</B>")));
        QVERIFY(page.page.body.contains(QStringLiteral("<A HREF=\"ITEM:144\">")));
        QVERIFY(page.page.body.contains(QStringLiteral("<B>В описаниях</B>")));
        QVERIFY(!page.page.body.contains(QStringLiteral("Показаны результаты")));

        page = composeSearchPage(sources, catalogs, QStringLiteral("гельминтов"));
        QVERIFY(page.page.body.contains(QStringLiteral("<I>Фармакологические свойства:</I>")));
        QVERIFY(page.page.body.contains(QStringLiteral("<B>гельминтами</B>")));
        QCOMPARE(page.targets.value(144).field, 2);
        QCOMPARE(page.targets.value(144).word, QStringLiteral("гельминтами"));

        page = composeSearchPage(sources, catalogs, QStringLiteral("fvjr"));
        QVERIFY2(page.page.body.contains(QStringLiteral("Показаны результаты для «АМОК» (набрано в английской раскладке)")),
                 qPrintable(page.page.body));
        QVERIFY(page.page.body.contains(QStringLiteral("Запрос: «fvjr»")));
        page = composeSearchPage(sources, catalogs, QStringLiteral("amoksitsillin"));
        QVERIFY2(page.page.body.contains(QStringLiteral("(транслитерация)")), qPrintable(page.page.body));
        page = composeSearchPage(sources, catalogs, QStringLiteral("мелоксикан"));
        QVERIFY2(page.page.body.contains(
                     QStringLiteral("Показаны результаты для «мелоксикам» (исправлена опечатка)")),
                 qPrintable(page.page.body));

        // Groups and makers, as links.
        page = composeSearchPage(sources, catalogs, QStringLiteral("антигельминт"));
        QVERIFY(page.page.body.contains(QStringLiteral("<B>В группах и у производителей</B>")));
        QVERIFY(page.page.body.contains(QStringLiteral("HREF=\"SECT:")));

        // What was typed is shown escaped, and nothing found says so.
        page = composeSearchPage(sources, catalogs, QStringLiteral("<b>&qqqqqq"));
        QVERIFY(page.page.body.contains(QStringLiteral("Запрос: «&lt;b&gt;&amp;qqqqqq»")));
        QVERIFY(page.page.body.contains(QStringLiteral("Ничего не найдено")));
        QCOMPARE(page.found, 0);
    }

    void pageWithoutIndexShowsNames()
    {
        const QString path = writeDemoDatabase(m_dir, QStringLiteral("plain.rxd"), false);
        LoadedReference ref(path);
        const PageSources sources{ref.db, ref.snapshot, ref.names.russian, ref.names.latin};
        const SearchPage page = composeSearchPage(sources, buildSearchCatalogs(sources), QStringLiteral("альбендазол"));
        QVERIFY(page.textsPending);
        QVERIFY(page.page.body.contains(QStringLiteral("Описания ещё индексируются — показаны результаты по названиям.")));
        QVERIFY(page.page.body.contains(QStringLiteral("<B>В названиях</B>")));
        QVERIFY(!page.page.body.contains(QStringLiteral("<B>В описаниях</B>")));
    }

    void damagedIndexIsRebuilt()
    {
        const QString path = writeDemoDatabase(m_dir, QStringLiteral("damaged.rxd"), true);
        Database db;
        db.open(path, schema::databasePassword());
        QVERIFY(!textindex::needsBuild(db));
        // Rows gone behind the index's back, then its shadow tables emptied.
        db.exec(QStringLiteral("DELETE FROM search_text_docsize WHERE docid % 2 = 0"));
        QVERIFY(textindex::needsBuild(db));
        db.exec(QStringLiteral("DROP TABLE search_text_segdir"));
        QVERIFY(textindex::needsBuild(db));
        QVERIFY(textindex::build(db) > 0);
        QVERIFY(!textindex::needsBuild(db));
        Stemmer stemmer;
        QVERIFY(!textindex::matchingProducts(db, textindex::prepareTerms(QStringLiteral("гельминтов"), stemmer)).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestForgiving)
#include "tst_forgiving.moc"
