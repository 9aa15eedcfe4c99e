// Page benchmarks on the large synthetic reference (or --db PATH, which is copied, never
// changed). Adds one product with all eight sections, 5 groups three levels deep, 3 makers,
// 2 distributors and 2 dealers, and one group with 2,000 products, then measures:
//   - composing that product page (no rendering),
//   - an ITEM: link click in the main window until the product view has painted,
//   - composing that group page.
// Prints median, 90th percentile and maximum in milliseconds. Run offscreen:
//   QT_QPA_PLATFORM=offscreen build/bench/bench_pages [--db PATH] [--runs N]
#include "app/mainform.h"
#include "app/messageboxes.h"
#include "content/content.h"
#include "db/schema.h"
#include "db/snapshot.h"
#include "db/sqlitedb.h"
#include "content/synth.h"
#include "text/base64.h"
#include "text/cp1251.h"
#include "pages/grouppage.h"
#include "pages/productpage.h"
#include "pages/ui/htmlrenderer.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

constexpr qint64 kProduct = 900000001;
constexpr qint64 kOtherProduct = 900000002;
constexpr qint64 kBigGroup = 900000001;

struct Stats
{
    double median, p90, max;
};

Stats measure(int runs, const std::function<void()> &body)
{
    body(); // warm-up
    std::vector<double> ms;
    ms.reserve(size_t(runs));
    QElapsedTimer timer;
    for (int i = 0; i < runs; ++i) {
        timer.start();
        body();
        ms.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return Stats{ms[ms.size() / 2], ms[std::min(ms.size() - 1, ms.size() * 9 / 10)], ms.back()};
}

// A target of 0 means the figure is for information only.
void report(const char *name, const Stats &s, double target)
{
    std::printf("%-44s median %7.3f ms  p90 %7.3f ms  max %7.3f ms", name, s.median, s.p90, s.max);
    if (target > 0)
        std::printf("  (target %.0f ms: %s)", target, s.median <= target ? "met" : "MISSED");
    std::printf("\n");
}

QString pack(const QString &html, const QString &attachments = {})
{
    return QStringLiteral("<HTML>") + Base64EncodeString(encodeCp1251Html(html)) + QStringLiteral("</HTML>") +
           attachments;
}

// About 750 bytes of HTML per section, as in a real leaflet; the form section carries an image.
QString sectionText(int section)
{
    QString html;
    for (int p = 0; p < 3; ++p)
        html +=
            QStringLiteral("<p>Раздел %1, абзац %2: препарат применяют по назначению ветеринарного врача; "
                           "перед применением внимательно прочтите инструкцию, соблюдайте дозировку и "
                           "сроки ожидания для продукции животноводства.</p>")
                .arg(section)
                .arg(p);
    if (section == 0) {
        html += QStringLiteral("<img src=\"PACK\">");
        return pack(html, QStringLiteral("<PACK>") +
                              QString::fromLatin1(base64Encode(synthImagePng(1, 160, 120))) +
                              QStringLiteral("</PACK>"));
    }
    return pack(html);
}

void addBenchRows(const QString &path)
{
    Database db;
    db.open(path, schema::databasePassword());
    Transaction tx(db);
    auto ids = [&](const QString &sql) {
        QVector<qint64> out;
        Statement st = db.prepare(sql);
        while (st.step())
            out << st.int64(0);
        return out;
    };
    // Groups three levels deep: a group whose parent has a parent.
    const QVector<qint64> deep = ids(QStringLiteral("SELECT c.id FROM sections c JOIN sections b ON b.id = "
                                                    "c.parent_id JOIN sections a ON a.id = b.parent_id "
                                                    "ORDER BY c.id LIMIT 5"));
    const QVector<qint64> vendors = ids(QStringLiteral("SELECT id FROM vendors ORDER BY id LIMIT 3"));
    const QVector<qint64> distributors =
        ids(QStringLiteral("SELECT id FROM distributors ORDER BY id LIMIT 2"));
    const QVector<qint64> dealers = ids(QStringLiteral("SELECT id FROM dealers ORDER BY id LIMIT 2"));
    const QVector<qint64> products = ids(QStringLiteral("SELECT id FROM items ORDER BY id LIMIT 2000"));
    if (deep.size() < 5 || vendors.size() < 3 || distributors.size() < 2 || dealers.size() < 2 ||
        products.size() < 2000) {
        std::fprintf(stderr, "bench_pages: the database is too small for the benchmark pages\n");
        std::exit(2);
    }
    for (qint64 id : {kProduct, kOtherProduct}) {
        Statement st =
            db.prepare(QStringLiteral("INSERT INTO items (id, name, name_lat, description, form, effect, "
                                      "prescriptions, dose, side_effects, "
                                      "CONTRA_INDICATION, special_conditions, storage_instructions) "
                                      "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12)"));
        st.bind(1, id);
        st.bind(2, QStringLiteral("Эталонный препарат %1").arg(id));
        st.bind(3, QStringLiteral("Praeparatum %1").arg(id));
        st.bind(4, pack(QStringLiteral("<p>Комплексный препарат для собак и кошек.</p>")));
        for (int s = 0; s < 8; ++s)
            st.bind(5 + s, sectionText(s));
        st.run();
        auto link = [&](const char *table, const char *column, qint64 target) {
            Statement l = db.prepare(QStringLiteral("INSERT INTO %1 (item_id, %2) VALUES (?1, ?2)")
                                         .arg(QLatin1String(table), QLatin1String(column)));
            l.bind(1, id);
            l.bind(2, target);
            l.run();
        };
        for (qint64 s : deep)
            link("items_to_sections", "section_id", s);
        for (qint64 v : vendors)
            link("items_to_vendors", "vendor_id", v);
        for (qint64 d : distributors)
            link("items_to_distributors", "distributor_id", d);
        for (qint64 d : dealers)
            link("items_to_dealers", "dealer_id", d);
    }
    {
        Statement st = db.prepare(QStringLiteral(
            "INSERT INTO sections (id, parent_id, name, description) VALUES (?1, ?2, ?3, ?4)"));
        st.bind(1, kBigGroup);
        st.bind(2, deep.first());
        st.bind(3, QStringLiteral("Группа на 2000 препаратов"));
        st.bind(4, pack(QStringLiteral("<p>Описание группы.</p>")));
        st.run();
        Statement l =
            db.prepare(QStringLiteral("INSERT INTO items_to_sections (item_id, section_id) VALUES (?1, ?2)"));
        for (qint64 p : products) {
            l.bind(1, p);
            l.bind(2, kBigGroup);
            l.run();
            l.reset();
        }
    }
    tx.commit();
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    QStringList args = app.arguments().mid(1);
    int runs = 200;
    QString source;
    for (int i = 0; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--db"))
            source = args[i + 1];
        else if (args[i] == QLatin1String("--runs"))
            runs = std::max(5, args[i + 1].toInt());
    }

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.rxd"));
    QElapsedTimer setup;
    setup.start();
    if (source.isEmpty())
        writeClientDatabase(generateSynthetic(), path);
    else if (!QFile::copy(source, path))
        return std::fprintf(stderr, "bench_pages: cannot copy %s\n", qPrintable(source)), 2;
    addBenchRows(path);
    std::printf("database ready in %lld ms (%s)\n", setup.elapsed(),
                source.isEmpty() ? "synthetic, default sizes" : qPrintable(source));

    setErrorBoxHandler(
        [](const QString &text) { std::fprintf(stderr, "error box: %s\n", qPrintable(text)); });
    TKalmedaRamuxMainForm window({}, path);
    window.resize(1024, 720);
    window.show();
    QApplication::processEvents();
    const PageSources sources{window.DBConn, window.Tables, window.RussianNames, window.LatinNames};

    const ComposedPage product = composeProductPage(sources, kProduct);
    std::printf("product page: %lld characters of HTML, %lld of packed document%s\n",
                qint64(product.body.size()), qint64(product.document.size()),
                product.error ? " (composition error!)" : "");
    report("compose product page (8 sections ...)",
           measure(runs, [&] { composeProductPage(sources, kProduct); }), 2);

    // The click: link handling, tree search, selection, composition, loading and painting.
    THTMLViewer *viewer = window.m_productView->Viewer();
    bool flip = false;
    report("ITEM: click to painted product view",
           measure(runs,
                   [&] {
                       flip = !flip;
                       window.PageLinkClick(window.m_groupView,
                                            QStringLiteral("ITEM:%1").arg(flip ? kProduct : kOtherProduct));
                       viewer->viewport()->repaint();
                   }),
           50);
    report("  same, plus layout of the whole page",
           measure(runs,
                   [&] {
                       flip = !flip;
                       window.PageLinkClick(window.m_groupView,
                                            QStringLiteral("ITEM:%1").arg(flip ? kProduct : kOtherProduct));
                       viewer->viewport()->repaint();
                       viewer->document()->documentLayout()->documentSize();
                   }),
           50);

    QTreeWidgetItem *groupNode = window.FindNodeByData(window.TreeView2->topLevelItem(0), kBigGroup);
    QVector<ChildNode> children;
    for (int i = 0; groupNode && i < groupNode->childCount(); ++i)
        children.push_back(
            ChildNode{groupNode->child(i)->data(0, Qt::UserRole).toLongLong(), groupNode->child(i)->text(0)});
    const std::optional<ComposedPage> group = composeGroupPage(sources, kBigGroup, children);
    std::printf("group page: %lld characters of HTML\n", group ? qint64(group->body.size()) : -1);
    report("compose group page (2,000 products)",
           measure(std::max(5, runs / 4), [&] { composeGroupPage(sources, kBigGroup, children); }), 30);
    report("  same, loaded and painted in the group view",
           measure(std::max(5, runs / 4),
                   [&] {
                       window.m_groupView->LoadDocument(
                           composeGroupPage(sources, kBigGroup, children)->document);
                       window.m_groupView->Viewer()->viewport()->repaint();
                   }),
           0);
    setErrorBoxHandler({});
    return 0;
}
