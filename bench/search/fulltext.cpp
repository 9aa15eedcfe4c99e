// bench_fulltext SYNTH.rxd: the forgiving search over the large synthetic reference — building
// the text index and the file's growth, text queries, names with every reading, the results
// page composed and painted, and the cost of keeping the index current in a sync page.
#include "app/mainform.h"
#include "db/browselists.h"
#include "db/schema.h"
#include "db/snapshot.h"
#include "db/sqlitedb.h"
#include "pages/searchpage.h"
#include "pages/ui/htmlrenderer.h"
#include "search/finder.h"
#include "search/namematch.h"
#include "search/textindex.h"
#include "update/syncapply.h"

#include <QApplication>
#include <QDomDocument>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

double median(QVector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v[v.size() / 2];
}

template <typename F> double medianMs(int rounds, F &&f)
{
    QVector<double> times;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer t;
        t.start();
        f();
        times << t.nsecsElapsed() / 1e6;
    }
    return median(times);
}

qint64 fileBytes(Database &db, const QString &path)
{
    db.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    return QFileInfo(path).size();
}

// A get_table page re-sending the first `count` products whole, as the server does for every
// changed product. Texts named in `rewritten` are those of the product `shift` places on, so
// they really change; the others go out as stored.
QDomDocument itemsPage(Database &db, int count, int shift, const QStringList &rewritten)
{
    QStringList columns = {QStringLiteral("name"), QStringLiteral("name_lat")};
    columns << textindex::fieldColumns();
    const QString list = columns.join(QLatin1String(", "));
    Statement own = db.prepare(QStringLiteral("SELECT id, %1 FROM items ORDER BY id LIMIT %2").arg(list).arg(count));
    Statement other = db.prepare(
        QStringLiteral("SELECT id, %1 FROM items ORDER BY id LIMIT %2 OFFSET %3").arg(list).arg(count).arg(shift));
    QString xml = QStringLiteral("<DATA><TABLE name=\"items\">");
    while (own.step()) {
        const bool shifted = other.step();
        xml += QStringLiteral("<ROW id=\"%1\" last_update=\"%2\">").arg(own.int64(0)).arg(own.int64(0) + 1000000);
        for (int i = 0; i < columns.size(); ++i) {
            Statement &from = shifted && rewritten.contains(columns.at(i)) ? other : own;
            xml += QStringLiteral("<%1>%2</%1>").arg(columns.at(i), from.text(i + 1).toHtmlEscaped());
        }
        xml += QStringLiteral("</ROW>");
    }
    xml += QStringLiteral("</TABLE></DATA>");
    QDomDocument doc;
    doc.setContent(xml, false);
    return doc;
}

// The median apply time of `pages` applied in turn, so each application changes what the one
// before it wrote (a single page re-sends what is stored from its second application on).
double pageApplyMs(const QString &path, const QVector<QDomDocument> &pages)
{
    Database db;
    db.open(path, schema::databasePassword());
    db.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
    TableSync sync(db, QStringLiteral("items"), true);
    int next = 0;
    const auto applyNext = [&] {
        sync.applyPage(pages.at(next).documentElement().firstChildElement(QStringLiteral("TABLE")));
        next = (next + 1) % int(pages.size());
    };
    applyNext(); // warm
    return medianMs(9, applyNext);
}

} // namespace

int main(int argc, char **argv)
{
    if (qgetenv("QT_QPA_PLATFORM").isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_fulltext SYNTH.rxd\n");
        return 2;
    }
    QTemporaryDir dir;
    const QString plain = dir.filePath(QStringLiteral("plain.rxd"));
    const QString path = dir.filePath(QStringLiteral("indexed.rxd"));
    QFile::copy(QString::fromLocal8Bit(argv[1]), plain);
    QFile::copy(QString::fromLocal8Bit(argv[1]), path);

    // 1. Building the index, and what it adds to the file.
    {
        Database db;
        db.open(path, schema::databasePassword());
        Statement text = db.prepare(QStringLiteral(
            "SELECT sum(length(CAST(coalesce(description,'') || coalesce(form,'') || coalesce(effect,'') ||"
            " coalesce(prescriptions,'') || coalesce(dose,'') || coalesce(side_effects,'') ||"
            " coalesce(CONTRA_INDICATION,'') || coalesce(special_conditions,'') ||"
            " coalesce(storage_instructions,'') AS BLOB))), count(*) FROM items"));
        text.step();
        const qint64 textBytes = text.int64(0);
        const qint64 products = text.int64(1);
        text = Statement();
        const qint64 before = fileBytes(db, path);
        QElapsedTimer t;
        t.start();
        const int indexed = textindex::rebuild(db);
        const double seconds = t.nsecsElapsed() / 1e9;
        const qint64 after = fileBytes(db, path);
        std::printf("index build: %d of %lld products in %.2f s\n", indexed, products, seconds);
        std::printf("index growth: %.1f MB over %.1f MB of packed text = %.0f%%\n", (after - before) / 1e6,
                    textBytes / 1e6, 100.0 * double(after - before) / double(textBytes));
    }

    Database db;
    db.open(path, schema::databasePassword());
    ReferenceSnapshot snapshot;
    loadReferenceTables(db, snapshot);
    const NameLists names = buildNameLists(snapshot);
    const PageSources sources{db, snapshot, names.russian, names.latin};
    const SearchCatalogs catalogs = buildSearchCatalogs(sources);
    Stemmer stemmer;

    // 2. Text queries of one to three words, with the fragments of a full page of hits.
    double worstQuery = 0, worstWithFragments = 0;
    for (const QString &q : {QStringLiteral("гельминтов"), QStringLiteral("острого мастита"),
                             QStringLiteral("внутримышечно крупного скота"), QStringLiteral("диктиокаулез"),
                             QStringLiteral("30 дней"), QStringLiteral("кошек")}) {
        const textindex::TermQuery terms = textindex::prepareTerms(q, stemmer);
        int hits = 0;
        const double match = medianMs(21, [&] { hits = int(textindex::matchingProducts(db, terms).size()); });
        const double rank = medianMs(11, [&] { textindex::rankedMatches(db, terms); });
        const double full = medianMs(11, [&] {
            finder::searchTexts(db, catalogs.products, q, finder::kMaxResults, {}, stemmer);
        });
        std::printf("text query \"%s\": %d products, match median %.2f ms, every match ranked median %.2f ms,"
                    " with 200 fragments median %.2f ms\n",
                    q.toUtf8().constData(), hits, match, rank, full);
        worstQuery = std::max(worstQuery, match);
        worstWithFragments = std::max(worstWithFragments, full);
    }
    // The user waits for the whole query: matches ranked, cut and the kept hits' fragments cut.
    std::printf("text query, match step alone, worst median: %.2f ms\n", worstQuery);
    std::printf("text query with 200 fragments, worst median: %.2f ms\n", worstWithFragments);

    // The best hit of a frequent word (the product with the most fields holding it) must be
    // among those listed, whatever its place in the name order.
    {
        const QString q = QStringLiteral("кошек");
        const textindex::TermQuery terms = textindex::prepareTerms(q, stemmer);
        qint64 best = 0;
        int bestFields = -1;
        textindex::HitDescriber describer(db);
        for (qint64 id : textindex::matchingProducts(db, terms)) {
            const int fields = describer.describe(id, terms, stemmer).fieldsWithAll;
            if (fields > bestFields && catalogs.products.order.contains(id)) {
                best = id;
                bestFields = fields;
            }
        }
        const finder::TextSearch found = finder::searchTexts(db, catalogs.products, q, finder::kMaxResults, {}, stemmer);
        int place = -1;
        for (int i = 0; i < found.hits.size() && place < 0; ++i)
            if (found.hits.at(i).id == best)
                place = i + 1;
        std::printf("text query \"%s\": best hit %lld (%d fields) listed at %d of %d (-1: not listed)\n",
                    q.toUtf8().constData(), best, bestFields, place, int(found.hits.size()));
    }

    // A slip in a Russian word no text holds, corrected against the index's own words and
    // searched like any text query.
    for (const QString &q : {QStringLiteral("гельмитнов"), QStringLiteral("острого маститаа")}) {
        const textindex::TermQuery terms = textindex::prepareTerms(q, stemmer);
        const double correct = medianMs(21, [&] { textindex::correctTerms(db, terms); });
        finder::TextSearch found;
        const double full = medianMs(11, [&] {
            found = finder::searchCorrectedTexts(db, catalogs.products, q, finder::kMaxResults, {}, stemmer);
        });
        std::printf("typo query \"%s\" read as \"%s\": %d products listed, correction median %.2f ms, with 200"
                    " fragments median %.2f ms\n",
                    q.toUtf8().constData(), found.corrected.toUtf8().constData(), int(found.hits.size()), correct, full);
    }

    // 3. Names with every reading.
    double worstNames = 0;
    for (const QString &q : {QStringLiteral("альбенвет"), QStringLiteral("fkm,tyvtr"), QStringLiteral("amoxicillin"),
                             QStringLiteral("мелоксфарм"), QStringLiteral("zzzzzzzz")}) {
        int hits = 0;
        const double ms = medianMs(21, [&] {
            hits = int(namematch::matchAll(catalogs.products.names, namematch::prepare(q)).size());
        });
        std::printf("names, every reading \"%s\": %d hits, median %.2f ms\n", q.toUtf8().constData(), hits, ms);
        worstNames = std::max(worstNames, ms);
    }
    std::printf("names with every reading, worst median: %.2f ms\n", worstNames);

    // 4. The results page in the window: composed, loaded and painted.
    {
        TKalmedaRamuxMainForm w({}, path);
        w.show();
        QCoreApplication::processEvents();
        double worstPage = 0;
        for (const QString &q : {QStringLiteral("альбен"), QStringLiteral("гельминтов"), QStringLiteral("fkm,tyvtr")}) {
            w.ShowSearchResults(q); // the catalogues are built once per reload
            const double ms = medianMs(9, [&] {
                w.ShowSearchResults(q);
                w.m_productView->Viewer()->viewport()->repaint();
            });
            std::printf("results page \"%s\" composed and painted: median %.2f ms\n", q.toUtf8().constData(), ms);
            worstPage = std::max(worstPage, ms);
        }
        std::printf("results page composed and painted, worst median: %.2f ms\n", worstPage);
    }

    // 5. A sync page of 200 changed products, with and without the index kept current: every
    // text rewritten, one text rewritten (the usual edit), and the texts re-sent as they were.
    {
        struct Case
        {
            const char *what;
            QVector<QDomDocument> pages;
        };
        const QStringList oneText = {QStringLiteral("prescriptions")};
        const Case cases[] = {
            {"every text rewritten", {itemsPage(db, 200, 200, textindex::fieldColumns()), itemsPage(db, 200, 400, textindex::fieldColumns())}},
            {"one text rewritten", {itemsPage(db, 200, 200, oneText), itemsPage(db, 200, 400, oneText)}},
            {"texts unchanged", {itemsPage(db, 200, 0, {})}},
        };
        for (const Case &c : cases) {
            QFile::remove(plain + QStringLiteral(".case"));
            QFile::remove(path + QStringLiteral(".case"));
            QFile::copy(plain, plain + QStringLiteral(".case"));
            QFile::copy(path, path + QStringLiteral(".case"));
            const double without = pageApplyMs(plain + QStringLiteral(".case"), c.pages);
            const double with = pageApplyMs(path + QStringLiteral(".case"), c.pages);
            std::printf("sync page of 200 products, %s: %.1f ms without the index, %.1f ms with it, overhead %.0f%%\n",
                        c.what, without, with, 100.0 * (with - without) / without);
        }
    }
    return 0;
}
