// The web reader through the real HTTP path: a published content file served by the server
// in-process with the reader's routes, every page kind, the link and image rewriting, the
// headers, validators and HEAD, escaping of hostile names and queries, and the search with
// and without the text index in the file.
#include "readerfixture.h"
#include "sync/syncprocess.h"

#include "content/content.h"
#include "content/contentdb.h"
#include "content/contentindex.h"
#include "content/sourcereader.h"
#include "content/publish.h"
#include "pages/webpage.h"
#include "search/textindex.h"
#include "text/base64.h"
#include "text/cp1251.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <httplib.h>

#include <iterator>

namespace {

QStringList hrefsOf(const QString &html)
{
    static const QRegularExpression href(QStringLiteral("href=\"([^\"]*)\""),
                                         QRegularExpression::CaseInsensitiveOption);
    QStringList out;
    auto it = href.globalMatch(html);
    while (it.hasNext())
        out << it.next().captured(1);
    return out;
}

// The built ramux-server, started with the arguments on a free port; stopped when dropped.
struct Program
{
    explicit Program(const QStringList &arguments)
    {
        process.start(programPath(QStringLiteral("ramux-server")),
                      QStringList{QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--quiet")} +
                          arguments);
        if (!process.waitForStarted())
            return;
        const QRegularExpression listening(QStringLiteral("listening on http://\\S+:(\\d+)/api\\.php"));
        QString log;
        for (QDeadlineTimer deadline(60000);
             !deadline.hasExpired() && port == 0 && process.state() == QProcess::Running;) {
            process.waitForReadyRead(200);
            log += QString::fromUtf8(process.readAllStandardError());
            const auto match = listening.match(log);
            if (match.hasMatch())
                port = match.captured(1).toInt();
        }
    }
    ~Program()
    {
        process.terminate();
        if (!process.waitForFinished(5000))
            process.kill();
    }
    Reply get(const char *path)
    {
        httplib::Client client("127.0.0.1", port);
        client.set_read_timeout(20);
        const auto res = client.Get(path);
        return res ? Reply{res->status, res->headers, QByteArray::fromStdString(res->body)} : Reply{};
    }

    QProcess process;
    int port = 0;
};

} // namespace

class TestReader : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void composedBodiesAreMadeFitForTheWeb();
    void everyPageKindAnswersWithItsRecord();
    void unknownPathsAndRecordsGetTheNotFoundPage();
    void headersValidatorsAndHead();
    void pagesFollowAPublish();
    void readerValuesAreEscaped();
    void publisherMarkupIsReducedToTheAllowList();
    void searchUsesTheIndexInTheFileOrSaysItSearchesNamesOnly();
    void theProgramsServeAndPrepareTheReader();

private:
    QTemporaryDir m_dir;
    QString m_sources;
    QString m_content;
};

void TestReader::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_sources = m_dir.filePath(QStringLiteral("src"));
    copyTree(qEnvironmentVariable("RAMUX_SOURCE_DIR") + QStringLiteral("/tests/content/fixture"), m_sources);
    // A wide table in a product text, to see it boxed.
    writeFile(m_sources + QStringLiteral("/items/102.txt"),
              "id: 102\nname_lat: Ivermectinum\ngroups: 2\n== effect\n<p>Ёмкое описание.</p>\n"
              "== dose\n<table><tr><th>Вид</th><td>Овцы</td></tr></table>\n");
    m_content = m_dir.filePath(QStringLiteral("content.sqlite"));
    const PublishReport report = publishSources(m_sources, m_content, {});
    QVERIFY2(report.errors.isEmpty(), qPrintable(report.errors.join(QLatin1Char('\n'))));
}

void TestReader::composedBodiesAreMadeFitForTheWeb()
{
    const QString body = QStringLiteral(
        "<html><head><link rel=\"stylesheet\" type=\"text/css\" href=\"RES:style_css\"></head>"
        "<body><div class=\"common-wrapper\">"
        "<A HREF=\"ITEM:12\">a</A><a href='sect:3'>b</a><a class=x href=VEND:4>c</a>"
        "<A HREF=\"DIST:5\">d</A><A HREF=\"DEAL:6\">e</A><A HREF=\"https://example.org/?a=1&amp;b\">f</A>"
        "<A HREF=\"ITEM:\">g</A><img src=\"VIAL\" width=\"9\"><IMG SRC=logo alt=\"Логотип\"/><img "
        "src=\"http://x/y.png\">"
        "<TABLE><TR><TD><table><tr><td>1</td></tr></table></TD></TR></TABLE><p>&lt;текст&gt;</"
        "p><table><tr><td>"
        "</div></body></html>");
    webpage::WebContext context;
    context.fromItem = 12;
    context.images = {QStringLiteral("VIAL"), QStringLiteral("LOGO")};
    context.imageBase = QStringLiteral("/item/12/image/");
    QCOMPARE(
        webpage::forWeb(body, context),
        QStringLiteral(
            "<A HREF=\"/item/12\">a</A><a href=\"/group/3\">b</a><a class=x href=\"/maker/4\">c</a>"
            "<A HREF=\"/distributor/5?from=12\">d</A><A HREF=\"/dealer/6?from=12\">e</A>"
            "<A HREF=\"https://example.org/?a=1&amp;b\">f</A><A HREF=\"ITEM:\">g</A>"
            "<img src=\"/item/12/image/VIAL\" width=\"9\" alt=\"\"><IMG SRC=\"/item/12/image/logo\" "
            "alt=\"Логотип\"/>"
            "<img src=\"http://x/y.png\" alt=\"\">"
            "<div class=\"table-scroll\" tabindex=\"0\" role=\"region\" aria-label=\"Таблица\">"
            "<TABLE><TR><TD><table><tr><td>1</td></tr></table></TD></TR></TABLE></div><p>&lt;текст&gt;</p>"
            "<div class=\"table-scroll\" tabindex=\"0\" role=\"region\" "
            "aria-label=\"Таблица\"><table><tr><td>"
            "</div>"));
    // Without a product, partner links carry no way back.
    QCOMPARE(webpage::forWeb(QStringLiteral("<a href=\"DIST:5\">d</a>"), {}),
             QStringLiteral("<a href=\"/distributor/5\">d</a>"));
    QCOMPARE(webpage::escape(QStringLiteral("<a href=\"x\">&'")),
             QStringLiteral("&lt;a href=&quot;x&quot;&gt;&amp;&#39;"));
    QCOMPARE(webpage::imageType(QByteArray("\x89PNG\r\n\x1a\n....", 12)), QByteArray("image/png"));
    QCOMPARE(webpage::imageType("GIF89a..."), QByteArray("image/gif"));
    QCOMPARE(webpage::imageType("<svg onload=x>"), QByteArray());
}

void TestReader::everyPageKindAnswersWithItsRecord()
{
    ReaderServer reader(m_content, true);

    const Reply item = reader.get(QStringLiteral("/item/101"));
    QCOMPARE(item.status, 200);
    QCOMPARE(item.header("Content-Type"), std::string("text/html; charset=UTF-8"));
    QCOMPARE(h1Of(item.text()), QStringLiteral("Альбендазол-10 суспензия"));
    QCOMPARE(item.text().count(QStringLiteral("<h1")), 1);
    QVERIFY(!item.text().contains(QStringLiteral("<H3>Альбендазол-10 суспензия</H3>"))); // the h1 says it
    const QStringList links = hrefsOf(item.text());
    for (const QString &path :
         {QStringLiteral("/group/2"), QStringLiteral("/group/3"), QStringLiteral("/maker/1"),
          QStringLiteral("/maker/2"), QStringLiteral("/distributor/1?from=101"),
          QStringLiteral("/reader.css"), QStringLiteral("#main"), QStringLiteral("/groups"),
          QStringLiteral("/makers")})
        QVERIFY2(links.contains(path),
                 qPrintable(path + QStringLiteral(" missing from ") + links.join(u' ')));
    // As on the desktop, a dealer without a description is named, not linked.
    QVERIFY(!links.contains(QStringLiteral("/dealer/1?from=101")));
    QVERIFY(item.text().contains(QStringLiteral("<LI>Аптека у дома</LI>")));
    static const QRegularExpression internal(QStringLiteral("(?i)(ITEM|SECT|VEND|DIST|DEAL):[0-9]"));
    QVERIFY(!internal.match(item.text()).hasMatch());
    QVERIFY(item.text().contains(QStringLiteral("<img src=\"/item/101/image/VIAL\" alt=\"\">")));
    QVERIFY(item.text().contains(QStringLiteral("<html lang=\"ru\">")));
    QVERIFY(item.text().contains(QStringLiteral("id=\"demo-notice\"")));
    QVERIFY(item.text().contains(QStringLiteral("<time datetime=\"")));

    const Reply picture = reader.get(QStringLiteral("/item/101/image/VIAL"));
    QCOMPARE(picture.status, 200);
    QCOMPARE(picture.header("Content-Type"), std::string("image/png"));
    QVERIFY(picture.body.startsWith("\x89PNG"));
    QCOMPARE(reader.get(QStringLiteral("/item/101/image/vial")).status, 200); // as the desktop: any case

    const Reply boxed = reader.get(QStringLiteral("/item/102"));
    QCOMPARE(h1Of(boxed.text()), QStringLiteral("Ivermectinum"));
    QVERIFY(boxed.text().contains(QStringLiteral(
        "<div class=\"table-scroll\" tabindex=\"0\" role=\"region\" aria-label=\"Таблица\"><table>")));

    // The way back from a distributor or dealer goes to the product it was reached from.
    const Reply partner = reader.get(QStringLiteral("/distributor/1?from=101"));
    QCOMPARE(partner.status, 200);
    QCOMPARE(h1Of(partner.text()), QStringLiteral("Оптовик"));
    QVERIFY(partner.text().contains(QStringLiteral("<A HREF=\"/item/101\">Назад</A>")));
    for (const QString &bare : {QStringLiteral("/distributor/1"), QStringLiteral("/dealer/1?from=999"),
                                QStringLiteral("/dealer/1?from=abc")}) {
        const Reply noWayBack = reader.get(bare);
        QCOMPARE(noWayBack.status, 200);
        QVERIFY2(!noWayBack.text().contains(QStringLiteral("Назад")), qPrintable(bare));
    }

    const Reply group = reader.get(QStringLiteral("/group/2"));
    QCOMPARE(h1Of(group.text()), QStringLiteral("Антигельминтики"));
    QVERIFY(group.text().contains(QStringLiteral(
        "<nav class=\"breadcrumbs\" aria-label=\"Путь\"><ol><li><a href=\"/\">Главная</a></li><li><a "
        "href=\"/groups\">Группы</a></li><li><a href=\"/group/1\">Противопаразитарные "
        "средства</a></li></ol></nav>")));
    QVERIFY(hrefsOf(group.text()).contains(QStringLiteral("/item/101")));
    QCOMPARE(h1Of(reader.get(QStringLiteral("/maker/1")).text()), QStringLiteral("ООО «Первая ферма»"));

    const Reply groups = reader.get(QStringLiteral("/groups"));
    QVERIFY(groups.text().contains(
        QStringLiteral("<li><a href=\"/group/1\">Противопаразитарные средства</a><ul><li><a "
                       "href=\"/group/2\">Антигельминтики</a>")));
    QVERIFY(!hrefsOf(groups.text()).contains(QStringLiteral("/group/3"))); // its parent does not exist
    const Reply makers = reader.get(QStringLiteral("/makers"));
    QVERIFY(hrefsOf(makers.text()).contains(QStringLiteral("/maker/1")));
    QVERIFY(hrefsOf(makers.text()).contains(QStringLiteral("/maker/2")));

    const Reply home = reader.get(QStringLiteral("/"));
    QCOMPARE(home.status, 200);
    QVERIFY(home.text().indexOf(QStringLiteral("id=\"q\"")) < home.text().indexOf(QStringLiteral("<nav")));
    QVERIFY(hrefsOf(home.text()).contains(QStringLiteral("/letter/%D0%90")));
    QVERIFY(hrefsOf(home.text()).contains(QStringLiteral("/letter/I")));
    const Reply letter = reader.get(QStringLiteral("/letter/А"));
    QCOMPARE(letter.status, 200);
    QVERIFY(hrefsOf(letter.text()).contains(QStringLiteral("/item/101")));
    QVERIFY(hrefsOf(reader.get(QStringLiteral("/letter/I")).text()).contains(QStringLiteral("/item/102")));

    const Reply sheet = reader.get(QStringLiteral("/reader.css"));
    QCOMPARE(sheet.status, 200);
    QCOMPARE(sheet.header("Content-Type"), std::string("text/css; charset=UTF-8"));
    QVERIFY(sheet.body.contains("prefers-color-scheme: dark"));
    QVERIFY(sheet.body.contains("@media print"));

    // The api beside it is untouched.
    const Reply api = reader.get(QStringLiteral("/api.php?action=get_splash"));
    QCOMPARE(api.status, 200);
    QVERIFY(api.body.startsWith("<?xml"));
}

void TestReader::unknownPathsAndRecordsGetTheNotFoundPage()
{
    ReaderServer reader(m_content);
    for (const QString &path :
         {QStringLiteral("/item/999"), QStringLiteral("/group/999"), QStringLiteral("/maker/999"),
          QStringLiteral("/distributor/999"), QStringLiteral("/dealer/999"), QStringLiteral("/item/abc"),
          QStringLiteral("/item/-1"), QStringLiteral("/item/101/"),
          QStringLiteral("/item/99999999999999999999"), QStringLiteral("/thing/1"),
          QStringLiteral("/nothing"), QStringLiteral("/item/101/image/NOPE"),
          QStringLiteral("/group/2/image/VIAL"), QStringLiteral("/letter/Щ"),
          QStringLiteral("/download/x.deb")}) {
        const Reply reply = reader.get(path);
        QVERIFY2(reply.status == 404, qPrintable(path));
        QCOMPARE(h1Of(reply.text()), QStringLiteral("Страница не найдена"));
        QVERIFY(reply.text().contains(QStringLiteral("<main id=\"main\"")));
        QVERIFY(reply.header("ETag").empty());
    }
    QVERIFY(!reader.get(QStringLiteral("/item/101")).text().contains(QStringLiteral("demo-notice")));
}

void TestReader::headersValidatorsAndHead()
{
    ReaderServer reader(m_content);
    const std::string csp = "default-src 'self'; img-src 'self' data:; style-src 'self'; base-uri 'none'; "
                            "form-action 'self'; frame-ancestors 'none'";
    for (const QString &path : {QStringLiteral("/"), QStringLiteral("/item/101"), QStringLiteral("/nothing"),
                                QStringLiteral("/reader.css"), QStringLiteral("/item/101/image/VIAL"),
                                QStringLiteral("/search?q=суспензия")}) {
        const Reply reply = reader.get(path);
        QVERIFY2(reply.status == 200 || reply.status == 404, qPrintable(path));
        QCOMPARE(reply.header("Content-Security-Policy"), csp);
        QCOMPARE(reply.header("X-Content-Type-Options"), std::string("nosniff"));
        QCOMPARE(reply.header("Referrer-Policy"), std::string("same-origin"));
        QCOMPARE(reply.header("Cache-Control"), std::string("public, max-age=7"));
        QVERIFY(reply.header("Set-Cookie").empty());
        QCOMPARE(reply.header("ETag").empty(), reply.status != 200);

        const Reply again = reader.get(path, {{"If-None-Match", reply.header("ETag")}});
        if (reply.status == 200) {
            QVERIFY2(again.status == 304, qPrintable(path));
            QVERIFY(again.body.isEmpty());
            QCOMPARE(again.header("ETag"), reply.header("ETag"));
        }
        const Reply head = reader.get(path, {}, true);
        QCOMPARE(head.status, reply.status);
        QVERIFY(head.body.isEmpty());
        QCOMPARE(head.header("Content-Type"), reply.header("Content-Type"));
        QCOMPARE(head.header("Content-Security-Policy"), csp);
    }
    // Two pages, two validators; a different back link is a different page.
    QVERIFY(reader.get(QStringLiteral("/item/101")).header("ETag") !=
            reader.get(QStringLiteral("/item/102")).header("ETag"));
    QVERIFY(reader.get(QStringLiteral("/dealer/1?from=101")).header("ETag") !=
            reader.get(QStringLiteral("/dealer/1")).header("ETag"));
    // Two servers on one file name the same page alike (a cache in front sees one page).
    ReaderServer other(m_content);
    QCOMPARE(other.get(QStringLiteral("/item/101")).header("ETag"),
             reader.get(QStringLiteral("/item/101")).header("ETag"));
}

void TestReader::pagesFollowAPublish()
{
    QTemporaryDir dir;
    const QString src = dir.filePath(QStringLiteral("src"));
    copyTree(m_sources, src);
    const QString content = dir.filePath(QStringLiteral("content.sqlite"));
    QVERIFY(publishSources(src, content, {}).errors.isEmpty());
    ReaderServer reader(content);
    const Reply before = reader.get(QStringLiteral("/item/101"));
    QCOMPARE(h1Of(before.text()), QStringLiteral("Альбендазол-10 суспензия"));

    QFile item(src + QStringLiteral("/items/101.txt"));
    QVERIFY(item.open(QIODevice::ReadOnly));
    QByteArray text = item.readAll();
    item.close();
    text.replace("Альбендазол-10 суспензия", "Альбендазол-20 суспензия");
    text.replace("Суспензия <b>для</b>", "Шпатель <b>для</b>");
    writeFile(src + QStringLiteral("/items/101.txt"), text);
    QVERIFY(publishSources(src, content, {}).applied);

    const Reply after = reader.get(QStringLiteral("/item/101"), {{"If-None-Match", before.header("ETag")}});
    QCOMPARE(after.status, 200);
    QCOMPARE(h1Of(after.text()), QStringLiteral("Альбендазол-20 суспензия"));
    QVERIFY(after.header("ETag") != before.header("ETag"));
    // The publish kept the index in the file current: the new word is found in the text.
    const Reply found = reader.get(QStringLiteral("/search?q=шпатель"));
    QVERIFY2(found.text().contains(QStringLiteral("<A HREF=\"/item/101\">")), qPrintable(found.text()));
    QVERIFY(!found.text().contains(QStringLiteral("names-only")));
}

void TestReader::readerValuesAreEscaped()
{
    ContentSet set = ContentSet::empty();
    const QString hostile = QStringLiteral("<script>alert(1)</script> \"Q\" & Co");
    ContentTable &items = set.table(QStringLiteral("items"));
    ContentRow &row = items.addRow(7);
    items.set(row, QStringLiteral("name"), QStringLiteral("Яд ") + hostile);
    items.set(row, QStringLiteral("dose"), packed(QStringLiteral("<p>Текст &amp; доза</p>")));
    ContentTable &sections = set.table(QStringLiteral("sections"));
    ContentRow &parent = sections.addRow(1);
    sections.set(parent, QStringLiteral("parent_id"), QStringLiteral("0"));
    sections.set(parent, QStringLiteral("name"), hostile);
    ContentRow &child = sections.addRow(2);
    sections.set(child, QStringLiteral("parent_id"), QStringLiteral("1"));
    sections.set(child, QStringLiteral("name"), QStringLiteral("Дочерняя"));
    ContentTable &vendors = set.table(QStringLiteral("vendors"));
    vendors.set(vendors.addRow(3), QStringLiteral("name"), hostile);
    set.assignStamps();
    const QString content = m_dir.filePath(QStringLiteral("hostile.sqlite"));
    ContentDatabase::create(content, set);
    ReaderServer reader(content);

    const QString escaped = QStringLiteral("&lt;script&gt;alert(1)&lt;/script&gt; &quot;Q&quot; &amp; Co");
    const Reply item = reader.get(QStringLiteral("/item/7"));
    QCOMPARE(h1Of(item.text()), QStringLiteral("Яд ") + escaped);
    QVERIFY(item.text().contains(QStringLiteral("<title>Яд ") + escaped));
    const Reply letter = reader.get(QStringLiteral("/letter/Я"));
    QVERIFY(letter.text().contains(
        QStringLiteral(">ЯД &lt;SCRIPT&gt;ALERT(1)&lt;/SCRIPT&gt; &quot;Q&quot; &amp; CO</a>")));
    const Reply group = reader.get(QStringLiteral("/group/2"));
    QVERIFY(
        group.text().contains(QStringLiteral("<a href=\"/group/1\">") + escaped + QStringLiteral("</a>")));
    // The reader's own pages hold the names only escaped (a composed page holds what the
    // publisher wrote, which is why publishing refuses angle brackets in names).
    for (const QString &path : {QStringLiteral("/groups"), QStringLiteral("/makers"),
                                QStringLiteral("/letter/Я"), QStringLiteral("/group/2")}) {
        const QString page = reader.get(path).text();
        QVERIFY2(page.contains(escaped) || page.contains(QStringLiteral("&lt;SCRIPT&gt;")), qPrintable(path));
        QVERIFY2(!page.contains(QStringLiteral("<script"), Qt::CaseInsensitive), qPrintable(path));
    }

    // The query is never reflected as markup: not in the box, not in the results, not in 404s.
    const QString query = QStringLiteral("<script>x</script>\"&яд");
    const Reply results =
        reader.get(QStringLiteral("/search?q=") + QString::fromLatin1(QUrl::toPercentEncoding(query)));
    QCOMPARE(results.status, 200);
    QVERIFY(!results.text().contains(QStringLiteral("<script")));
    QVERIFY(results.text().contains(QStringLiteral("value=\"&lt;script&gt;x&lt;/script&gt;&quot;&amp;яд\"")));
    const Reply missing =
        reader.get(QStringLiteral("/letter/") + QString::fromLatin1(QUrl::toPercentEncoding(query)));
    QCOMPARE(missing.status, 404);
    QVERIFY(!missing.text().contains(QStringLiteral("<script")));
}

void TestReader::publisherMarkupIsReducedToTheAllowList()
{
    // One fragment a line of a product's field: what the page keeps of it, what must not be
    // anywhere on the page, and what the publisher is told about that line.
    struct Case
    {
        const char *html;
        const char *kept;
        const char *gone;
        const char *warning;
    };
    const Case cases[] = {
        {"<meta http-equiv=\"refresh\" content=\"0; url=http://evil.example/\">", "", "http-equiv", "<meta>"},
        {"<base href=\"http://evil.example/\">", "", "<base", "<base>"},
        {"<form action=\"http://evil.example/login\" method=\"post\"><p>Войти <input name=\"pw\"><button>OK</button></p></form>",
         "<p>Войти OK</p>", "name=\"pw\"", "<form>"},
        {"<p onclick=\"steal()\" style=\"color:red\" class=\"note\">Текст</p>", "<p class=\"note\">Текст</p>", "steal()",
         "onclick у <p>"},
        {"<a href=\"javascript:alert(1)\">ссылка</a>", "<a>ссылка</a>", "javascript:", "href у <a>"},
        {"<a href=\"jav&#x61;script:alert(2)\">вторая</a>", "<a>вторая</a>", "alert(2)", "href у <a>"},
        {"<a href=\"https://example.org/x\">сайт</a>", "<a href=\"https://example.org/x\">сайт</a>", "", ""},
        {"<script>alert(3)</script><style>p{}</style><svg><a href=\"x\">в</a></svg>", "", "alert(3)", "<script>"},
        {"<img src='http://evil.example/p.png' onerror=\"x()\" width=\"10\">", "<img width=\"10\" alt=\"\">", "onerror",
         "src у <img>"},
        {"<table border=\"1\" width=\"900\"><tr><td colspan=\"2\" bgcolor=\"red\">ячейка</td></tr></table>",
         "<td colspan=\"2\">ячейка</td>", "bgcolor", "width у <table>"},
        {"<iframe src=\"http://evil.example/\"></iframe><!-- <b>скрыто</b> --><sup>2</sup>", "<sup>2</sup>", "скрыто",
         "<iframe>"},
    };
    QTemporaryDir dir;
    const QString src = dir.filePath(QStringLiteral("src"));
    copyTree(m_sources, src);
    constexpr int kFirstLine = 4;
    QByteArray item = "id: 150\nname: Проверка разметки\n== effect\n";
    for (const Case &c : cases)
        item += QByteArray(c.html) + '\n';
    writeFile(src + QStringLiteral("/items/150.txt"), item);
    const QString content = dir.filePath(QStringLiteral("content.sqlite"));
    const PublishReport report = publishSources(src, content, {});
    QVERIFY2(report.errors.isEmpty(), qPrintable(report.errors.join(QLatin1Char('\n'))));
    ReaderServer reader(content);
    const Reply page = reader.get(QStringLiteral("/item/150"));
    QCOMPARE(page.status, 200);
    const QString text = page.text();
    QVERIFY(!text.contains(QStringLiteral("evil.example")));
    for (int i = 0; i < int(std::size(cases)); ++i) {
        const Case &c = cases[i];
        const QString line = QStringLiteral("items/150.txt:%1: ").arg(kFirstLine + i);
        QVERIFY2(text.contains(QString::fromUtf8(c.kept)), c.html);
        QVERIFY2(!*c.gone || !text.contains(QString::fromUtf8(c.gone)), c.html);
        const QStringList told = report.warnings.filter(line);
        QVERIFY2(*c.warning ? told.contains(line + QStringLiteral("на сайте будет убрано: ") + QString::fromUtf8(c.warning))
                            : told.isEmpty(),
                 qPrintable(told.join(QLatin1Char('|')) + QLatin1Char(' ') + QString::fromUtf8(c.html)));
    }
    // The markup the demo uses draws no warning.
    SourceProblems demo;
    readSourceDir(qEnvironmentVariable("RAMUX_SOURCE_DIR") + QStringLiteral("/data/demo"), demo, SourceChecks::Publish);
    QVERIFY2(demo.warnings.filter(QStringLiteral("на сайте")).isEmpty(),
             qPrintable(demo.warnings.filter(QStringLiteral("на сайте")).join(QLatin1Char('\n'))));
}

void TestReader::searchUsesTheIndexInTheFileOrSaysItSearchesNamesOnly()
{
    // The published file carries its index: the words of the texts are found.
    {
        ReaderServer reader(m_content);
        const Reply results = reader.get(QStringLiteral("/search?q=влаги"));
        QCOMPARE(results.status, 200);
        QCOMPARE(h1Of(results.text()), QStringLiteral("Результаты поиска"));
        QVERIFY(results.text().contains(QStringLiteral("В описаниях")));
        QVERIFY(results.text().contains(QStringLiteral("<A HREF=\"/item/101\">")));
        QVERIFY(!results.text().contains(QStringLiteral("id=\"names-only\"")));
        // Names by the forgiving readings, as on the desktop.
        QVERIFY(
            reader.get(QStringLiteral("/search?q=fkm,tylfpjk")).text().contains(QStringLiteral("/item/101")));
        // Bounded: at most 200 characters and 12 words reach the search and the box.
        const Reply longQuery = reader.get(QStringLiteral("/search?q=") + QString(300, QLatin1Char('x')));
        QVERIFY(longQuery.text().contains(QStringLiteral("value=\"") + QString(200, QLatin1Char('x')) +
                                          QLatin1Char('"')));
        QStringList words;
        for (int i = 0; i < 20; ++i)
            words << QStringLiteral("w%1").arg(i);
        const Reply manyWords = reader.get(QStringLiteral("/search?q=") + words.join(QStringLiteral("%20")));
        QVERIFY(manyWords.text().contains(QStringLiteral("value=\"") +
                                          words.mid(0, 12).join(QLatin1Char(' ')) + QLatin1Char('"')));
        QVERIFY(reader.get(QStringLiteral("/search")).text().contains(QStringLiteral("id=\"search-hint\"")));
    }

    // An older file without an index: names only, and the page says so; once the index is
    // built into the file, the same server finds the texts.
    const QString older = m_dir.filePath(QStringLiteral("older.sqlite"));
    {
        ContentDatabase published(m_content);
        ContentSet set = published.readAll();
        set.meta.remove(QString::fromLatin1(contentmeta::PublishedAt)); // written before there was one
        ContentDatabase::create(older, set);
    }
    ReaderServer reader(older);
    const Reply namesOnly = reader.get(QStringLiteral("/search?q=влаги"));
    QVERIFY(namesOnly.text().contains(QStringLiteral("id=\"names-only\"")));
    QVERIFY(!namesOnly.text().contains(QStringLiteral("В описаниях")));
    QVERIFY(!namesOnly.text().contains(QStringLiteral("ещё индексируются")));
    QVERIFY(
        !reader.get(QStringLiteral("/search?q=альбендазол")).text().contains(QStringLiteral("В описаниях")));
    QVERIFY(reader.get(QStringLiteral("/search?q=альбендазол")).text().contains(QStringLiteral("/item/101")));
    QVERIFY(
        reader.get(QStringLiteral("/")).text().contains(QStringLiteral("Дата публикации данных неизвестна")));

    QCOMPARE(contentindex::buildIndex(older), 2);
    const Reply indexed = reader.get(QStringLiteral("/search?q=влаги"));
    QVERIFY(!indexed.text().contains(QStringLiteral("id=\"names-only\"")));
    QVERIFY(indexed.text().contains(QStringLiteral("<A HREF=\"/item/101\">")));
}

void TestReader::theProgramsServeAndPrepareTheReader()
{
    // demo --content writes the publishing time and the text index into the file.
    const QString demo = m_dir.filePath(QStringLiteral("demo.sqlite"));
    QCOMPARE(
        runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("demo"), demo, QStringLiteral("--content")}),
        0);
    {
        ContentDatabase file(demo);
        QVERIFY(textindex::isUsable(file.database()));
        QVERIFY(QDateTime::fromString(
                    file.meta(QString::fromLatin1(contentmeta::PublishedAt)).value_or(QString()), Qt::ISODate)
                    .isValid());
        file.database().exec(QStringLiteral("DROP TABLE search_state"));
    }
    QByteArray out;
    QCOMPARE(runProgram(QStringLiteral("ramuxctl"),
                        {QStringLiteral("index"), QStringLiteral("--content"), demo}, &out),
             0);
    QVERIFY(out.startsWith("indexed "));
    QVERIFY(textindex::isUsable(ContentDatabase(demo).database()));

    // The reader is on with --demo, off with --content, and either way as asked.
    const struct
    {
        QStringList arguments;
        int status;
        bool notice;
    } runs[] = {
        {{QStringLiteral("--content"), demo}, 404, false},
        {{QStringLiteral("--content"), demo, QStringLiteral("--reader")}, 200, false},
        {{QStringLiteral("--demo")}, 200, true},
        {{QStringLiteral("--demo"), QStringLiteral("--no-reader")}, 404, false},
    };
    for (const auto &run : runs) {
        Program program(run.arguments);
        QVERIFY2(program.port > 0, qPrintable(run.arguments.join(u' ')));
        const Reply home = program.get("/");
        QCOMPARE(home.status, run.status);
        QCOMPARE(home.text().contains(QStringLiteral("id=\"demo-notice\"")), run.notice);
        QCOMPARE(program.get("/api.php?action=get_splash").status, 200);
    }
}

QTEST_GUILESS_MAIN(TestReader)
#include "tst_reader.moc"
