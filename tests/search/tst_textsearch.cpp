// The text search on the demo reference as the results page and ramuxctl find run it: numbers
// matched as numbers, every match ranked before the list is cut, a typing slip corrected
// against the index's own words, and the keyboard-layout table key by key.
#include "demodb.h"

#include "pages/searchpage.h"
#include "search/finder.h"
#include "search/textfold.h"

#include <QRegularExpression>

namespace {

QStringList idsOf(const QVector<finder::ProductHit> &hits)
{
    QStringList out;
    for (const finder::ProductHit &hit : hits)
        out << QString::number(hit.id);
    return out;
}

} // namespace

class TestTextSearch : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<LoadedReference> m_ref;
    finder::ProductCatalog m_catalog;

    QVector<finder::ProductHit> find(const QString &typed)
    {
        return finder::findProducts(m_ref->db, m_catalog, typed);
    }
    SearchPage page(const QString &typed)
    {
        const PageSources sources{m_ref->db, m_ref->snapshot, m_ref->names.russian, m_ref->names.latin};
        return composeSearchPage(sources, buildSearchCatalogs(sources), typed);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_ref = std::make_unique<LoadedReference>(writeDemoDatabase(m_dir, QStringLiteral("demo.rxd"), true));
        m_catalog = finder::buildProductCatalog(m_ref->names.russian, m_ref->names.latin);
    }

    void numbersMatchAsNumbers_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("together"); // the number and its word side by side
        QTest::addColumn<QString>("never");    // a product holding only a longer number
        QTest::newRow("30 days, not 300")
            << QStringLiteral("30 дней") << QStringLiteral("(^|[^\\d,.])30 дн") << QStringLiteral("117");
        QTest::newRow("a decimal comma")
            << QStringLiteral("2,5 мл") << QStringLiteral("(^|[^\\d,.])2,5 мл") << QString();
        QTest::newRow("a decimal point")
            << QStringLiteral("2.5 мл") << QStringLiteral("(^|[^\\d,.])2,5 мл") << QString();
        QTest::newRow("number and unit run together")
            << QStringLiteral("10мл") << QStringLiteral("(^|[^\\d,.])10 ?мл") << QString();
        QTest::newRow("one digit, one-letter unit")
            << QStringLiteral("1 г") << QStringLiteral("(^|[^\\d,.])1 г([^а-яё]|$)") << QString();
    }
    void numbersMatchAsNumbers()
    {
        QFETCH(QString, typed);
        QFETCH(QString, together);
        QFETCH(QString, never);
        const QVector<finder::ProductHit> hits = find(typed);
        QVERIFY(!hits.isEmpty());
        QVERIFY2(!idsOf(hits).contains(never) || never.isEmpty(), qPrintable(idsOf(hits).join(u' ')));
        // Those holding the two side by side first, each showing them in its fragment.
        const QRegularExpression pair(together);
        int sideBySide = 0;
        for (const finder::ProductHit &hit : hits) {
            QCOMPARE(hit.how, finder::How::Text);
            if (!hit.text.sideBySide)
                break;
            QVERIFY2(pair.match(hit.text.fragment).hasMatch(), qPrintable(hit.text.fragment));
            QVERIFY2(pair.match(hit.text.firstWord).hasMatch(), qPrintable(hit.text.firstWord));
            ++sideBySide;
        }
        QVERIFY(sideBySide > 0);
        for (int i = sideBySide; i < hits.size(); ++i)
            QVERIFY2(!hits.at(i).text.sideBySide, qPrintable(hits.at(i).text.fragment));
    }

    void aNumberIsOneWholeTerm()
    {
        // "2,5" is neither "2" and "5" nor dropped for its single digits; "10" is not "100".
        const auto textHits = [this](const QString &typed) {
            QVector<finder::ProductHit> hits = find(typed);
            hits.erase(std::remove_if(hits.begin(), hits.end(),
                                      [](const finder::ProductHit &h) { return h.how != finder::How::Text; }),
                       hits.end());
            return hits;
        };
        const QVector<finder::ProductHit> decimal = textHits(QStringLiteral("2,5"));
        QVERIFY(!decimal.isEmpty());
        QCOMPARE(idsOf(textHits(QStringLiteral("2.5"))), idsOf(decimal));
        const QVector<finder::ProductHit> ten = textHits(QStringLiteral("10"));
        QVERIFY(!ten.isEmpty());
        for (const auto &[hits, number] :
             {std::pair{&decimal, QStringLiteral("2,5")}, std::pair{&ten, QStringLiteral("10")}}) {
            for (const finder::ProductHit &hit : *hits) {
                QVERIFY(!hit.text.marks.isEmpty());
                const auto [start, length] = hit.text.marks.first();
                QCOMPARE(hit.text.fragment.mid(start, length), number);
            }
        }
    }

    void everyMatchIsRankedBeforeTheCut()
    {
        // More products than a page lists hold both words; the one holding both in two of its
        // texts is the last by name, and one holding them apart (one word per text) comes
        // before it.
        const QString path = writeDemoDatabase(m_dir, QStringLiteral("ranked.rxd"), false);
        {
            Database db;
            db.open(path, schema::databasePassword());
            const QString images = demoContentDir() + QStringLiteral("/images");
            const QString both =
                packDemoHtml(QStringLiteral("<p>Плацебоцин в гранулах для кроликов.</p>"), images);
            const QString first = packDemoHtml(QStringLiteral("<p>Плацебоцин.</p>"), images);
            const QString second = packDemoHtml(QStringLiteral("<p>В гранулах.</p>"), images);
            Transaction tx(db);
            Statement insert = db.prepare(
                QStringLiteral("INSERT INTO items (id, name, description, dose) VALUES (?1, ?2, ?3, ?4)"));
            const auto add = [&](qint64 id, const QString &name, const QString &description,
                                 const QString &dose) {
                insert.reset();
                insert.bind(1, id).bind(2, name).bind(3, description).bind(4, dose);
                insert.run();
            };
            for (int i = 0; i < finder::kMaxResults + 10; ++i)
                add(5000 + i, QStringLiteral("Аапрепарат %1").arg(i, 3, 10, QLatin1Char('0')), both,
                    QString());
            add(6000, QStringLiteral("Абапрепарат врозь"), first, second);
            add(6001, QStringLiteral("Яяпрепарат"), both, both);
            tx.commit();
            textindex::rebuild(db);
        }
        LoadedReference ref(path);
        const finder::ProductCatalog catalog =
            finder::buildProductCatalog(ref.names.russian, ref.names.latin);
        const QVector<finder::ProductHit> hits =
            finder::findProducts(ref.db, catalog, QStringLiteral("плацебоцин гранулы"));
        QCOMPARE(hits.size(), finder::kMaxResults);
        QCOMPARE(hits.first().id, qint64(6001));
        QCOMPARE(hits.first().text.fieldsWithAll, 2);
        QCOMPARE(hits.at(1).id, qint64(5000));
        QVERIFY(!idsOf(hits).contains(QStringLiteral("6000"))); // holds them, but never in one text
        QCOMPARE(hits.first().text.fragment, QStringLiteral("Плацебоцин в гранулах для кроликов."));
    }

    void aSlipInARussianWordIsCorrectedAgainstTheTexts()
    {
        // Two products are named after the substance and seven more name it in their texts.
        const SearchPage shown = page(QStringLiteral("амоксицилин"));
        QVERIFY2(shown.page.body.contains(
                     QStringLiteral("Показаны результаты для «амоксициллин» (исправлена опечатка)")),
                 qPrintable(shown.page.body));
        QVERIFY(!shown.page.body.contains(QStringLiteral("транслитерация")));
        for (int id = 101; id <= 109; ++id)
            QVERIFY2(shown.page.body.contains(QStringLiteral("ITEM:%1\"").arg(id)),
                     qPrintable(QString::number(id)));
        QCOMPARE(shown.targets.size(), 7);
        QStringList hows;
        for (const finder::ProductHit &hit : find(QStringLiteral("амоксицилин")))
            hows << finder::howText(hit).section(u':', 0, 0);
        QCOMPARE(hows.count(QStringLiteral("typo")), 2);
        QCOMPARE(hows.count(QStringLiteral("typo-text")), 7);

        // A corrected word keeps its place among the others.
        const QString phrase = page(QStringLiteral("суспензия амоксицилина")).page.body;
        QVERIFY2(
            QRegularExpression(QStringLiteral("«суспензия амоксициллин[а-я]*» \\(исправлена опечатка\\)"))
                .match(phrase)
                .hasMatch(),
            qPrintable(phrase));
    }

    void twoWrongLettersAreNoSlip()
    {
        for (const QString &typed : {QStringLiteral("мелахсикам"), QStringLiteral("амаксицилин")}) {
            QVERIFY2(find(typed).isEmpty(), qPrintable(idsOf(find(typed)).join(u' ')));
            QCOMPARE(page(typed).found, 0);
        }
        // One is.
        const QStringList meloxicam = idsOf(find(QStringLiteral("мелоксикан")));
        QVERIFY(meloxicam.contains(QStringLiteral("207")) && meloxicam.contains(QStringLiteral("210")));
    }

    void keyboardLayoutTableBothWays()
    {
        // Every key of both layouts, row by row; "ё" folds to "е" before the swap back, and a
        // full stop typed in the Latin layout stays one (it is "ю" only in the other).
        const QString latin = QStringLiteral("`qwertyuiop[]asdfghjkl;'zxcvbnm,");
        const QString russian = QStringLiteral("ёйцукенгшщзхъфывапролджэячсмитьб");
        QCOMPARE(textfold::swapLayout(latin + u'.'), textfold::fold(russian) + u'.');
        QCOMPARE(textfold::swapLayout(latin.toUpper()), textfold::fold(russian));
        QCOMPARE(textfold::swapLayout(QStringLiteral("q~{}:\"<>")), QStringLiteral("йехъжэбю"));
        QCOMPARE(textfold::swapLayout(russian.mid(1) + QStringLiteral("ю.")),
                 latin.mid(1) + QStringLiteral(".."));
        QCOMPARE(textfold::swapLayout(russian.toUpper()), u't' + latin.mid(1));

        const QVector<finder::ProductHit> hits = find(QStringLiteral(";tktpjltrc"));
        QVERIFY(!hits.isEmpty());
        QCOMPARE(hits.first().id, qint64(195));
        QCOMPARE(hits.first().how, finder::How::Layout);
    }
};

QTEST_GUILESS_MAIN(TestTextSearch)
#include "tst_textsearch.moc"
