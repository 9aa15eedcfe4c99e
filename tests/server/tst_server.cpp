// The reference update server in-process on an ephemeral loopback port: envelope shapes,
// get_table paging as the client pages, FAIL answers, greeting and offer, escaping, load.
#include "contentserver.h"
#include "serverapi.h"

#include "content/content.h"
#include "content/contentdb.h"
#include "content/sourcereader.h"
#include "db/schema.h"
#include "text/packedcontent.h"

#include <QDomDocument>
#include <QTemporaryDir>
#include <QtTest>
#include <httplib.h>

#include <atomic>
#include <thread>

namespace {

struct Answer
{
    int httpStatus = 0;
    QByteArray body;
    QDomDocument doc;
    QDomElement result;
    QDomElement data; // null unless OK
};

// Reads the envelope as the client does: root version 1, first RESULT child, DATA after it.
Answer readEnvelope(const QByteArray &body)
{
    Answer a;
    a.body = body;
    const auto parsed = a.doc.setContent(body);
    if (!parsed)
        return a;
    const QDomElement root = a.doc.documentElement();
    if (root.attribute(QStringLiteral("version")) != QLatin1String("1"))
        return a;
    a.result = root.firstChildElement();
    if (a.result.tagName() != QLatin1String("RESULT"))
        a.result = QDomElement();
    if (a.result.attribute(QStringLiteral("status")) == QLatin1String("OK")) {
        a.data = a.result.nextSiblingElement();
        if (a.data.tagName() != QLatin1String("DATA"))
            a.data = QDomElement();
    }
    return a;
}

QList<QDomElement> childElements(const QDomElement &parent)
{
    QList<QDomElement> out;
    for (QDomElement e = parent.firstChildElement(); !e.isNull(); e = e.nextSiblingElement())
        out.append(e);
    return out;
}

using Rows = QMap<qint64, QMap<QString, QString>>; // id -> column -> value (absent = NULL)

Rows rowsOf(const ContentSet &set, const QString &table)
{
    Rows rows;
    const ContentTable &t = *set.findTable(table);
    for (const ContentRow &row : t.rows) {
        QMap<QString, QString> values;
        for (int i = 0; i < t.columns.size(); ++i) {
            if (row.values.at(i))
                values.insert(t.columns.at(i), *row.values.at(i));
        }
        rows.insert(row.id, values);
    }
    return rows;
}

} // namespace

class TestServer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void everyActionAnswersInTheEnvelope();
    void pagingAsTheClientDoesGivesBackTheContent_data();
    void pagingAsTheClientDoesGivesBackTheContent();
    void pageHoldsExactlyLimitRowsAndDeletionsFollowUpdates();
    void badRequestsGetFailAnswers_data();
    void badRequestsGetFailAnswers();
    void detailsTravelOnItemsPagesOnly();
    void greetingPageChildrenAreThePackedElements();
    void checkUpdateOffersOnlyWhatIsSet();
    void escapingKeepsHostileTextWellFormed();
    void manyClientsAtOnce();
    void otherPathsAndTheOfferedFile();
    void cachedPagesFollowEveryChange();

private:
    Answer get(const QString &query, ContentServer *server = nullptr);
    Answer getTable(const QString &table, qint64 date, int limit);

    QTemporaryDir m_dir;
    QString m_contentPath;
    ContentSet m_expected;
    std::unique_ptr<ServerApi> m_api;
    std::unique_ptr<ContentServer> m_server;
};

void TestServer::initTestCase()
{
    QVERIFY(m_dir.isValid());
    ContentSet set =
        loadDemoContent(qEnvironmentVariable("RAMUX_SOURCE_DIR") + QStringLiteral("/tests/content/fixture"));
    // Values that XML must carry unchanged: markup characters, quotes, CR, spaces at the ends.
    ContentTable &vendors = set.table(QStringLiteral("vendors"));
    ContentRow &odd = vendors.addRow(50);
    vendors.set(odd, QStringLiteral("name"), QStringLiteral(" A&B <\"Ко\"> 'x'\r\nконец "));
    vendors.set(odd, QStringLiteral("description"), QString(QLatin1String(""))); // empty, not NULL
    for (int id = 1000; id < 1450; ++id) {
        ContentRow &row = set.table(QStringLiteral("items_to_vendors")).addRow(id);
        set.table(QStringLiteral("items_to_vendors"))
            .set(row, QStringLiteral("item_id"), QString::number(101 + id % 2));
        set.table(QStringLiteral("items_to_vendors"))
            .set(row, QStringLiteral("vendor_id"), QString::number(1 + id % 2));
    }
    set.assignStamps();
    m_contentPath = m_dir.filePath(QStringLiteral("content.sqlite"));
    ContentDatabase::create(m_contentPath, set);
    {
        // A deletion, and an update after it of another row, as the tables will have in service.
        ContentDatabase db(m_contentPath);
        QVERIFY(db.deleteRow(QStringLiteral("items_to_vendors"), 1001) > 0);
        db.upsertRow(QStringLiteral("items_to_vendors"), 1002,
                     {{QStringLiteral("vendor_id"), QStringLiteral("2")}});
        m_expected = db.readAll();
    }
    m_api = std::make_unique<ServerApi>(m_contentPath);
    ServerOptions options;
    options.port = 0;
    options.log = false;
    m_server = std::make_unique<ContentServer>(*m_api, options);
    QVERIFY(m_server->start() > 0);
}

void TestServer::cleanupTestCase()
{
    m_server.reset();
}

Answer TestServer::get(const QString &query, ContentServer *server)
{
    server = server ? server : m_server.get();
    httplib::Client client("127.0.0.1", server->port());
    client.set_read_timeout(10);
    const auto res = client.Get(("/api.php?" + query).toStdString());
    if (!res)
        return {};
    Answer a = readEnvelope(QByteArray::fromStdString(res->body));
    a.httpStatus = res->status;
    return a;
}

Answer TestServer::getTable(const QString &table, qint64 date, int limit)
{
    return get(QStringLiteral("table=%1&action=get_table&start=0&limit=%2&date=%3&version=1.1")
                   .arg(table)
                   .arg(limit)
                   .arg(date));
}

void TestServer::everyActionAnswersInTheEnvelope()
{
    for (const QString &query :
         {QStringLiteral("action=get_splash&version=1.1"), QStringLiteral("action=check_update&version=1.1"),
          QStringLiteral("table=sections&action=get_table&start=0&limit=200&date=0&version=1.1")}) {
        const Answer a = get(query);
        QCOMPARE(a.httpStatus, 200);
        QVERIFY2(!a.data.isNull(), a.body.constData());
        QVERIFY(a.body.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
        QCOMPARE(a.result.attributes().count(), 1);
        QCOMPARE(childElements(a.doc.documentElement()).size(), 2); // RESULT, DATA and nothing else
    }
    const Answer table = getTable(QStringLiteral("sections"), 0, 200);
    const QList<QDomElement> tables = childElements(table.data);
    QCOMPARE(tables.size(), 1);
    QCOMPARE(tables.front().tagName(), QStringLiteral("TABLE"));
    // The client counts child nodes of TABLE as rows: nothing but ROW elements may stand there.
    QCOMPARE(tables.front().childNodes().count(), 3);
    for (const QDomElement &row : childElements(tables.front())) {
        QCOMPARE(row.tagName(), QStringLiteral("ROW"));
        QVERIFY(row.hasAttribute(QStringLiteral("id")) && row.hasAttribute(QStringLiteral("last_update")));
        for (const QDomElement &field : childElements(row)) {
            // Each value a single text node, never CDATA.
            QCOMPARE(field.childNodes().count(), 1);
            QVERIFY(field.firstChild().isText() && !field.firstChild().isCDATASection());
        }
    }
    const Answer empty = getTable(QStringLiteral("sections"), 1000000, 200);
    QVERIFY(!empty.data.firstChildElement(QStringLiteral("TABLE")).isNull());
    QCOMPARE(empty.data.firstChildElement(QStringLiteral("TABLE")).childNodes().count(), 0);
}

void TestServer::pagingAsTheClientDoesGivesBackTheContent_data()
{
    QTest::addColumn<int>("limit");
    QTest::newRow("200") << 200;
    QTest::newRow("7") << 7;
    QTest::newRow("1") << 1;
}

void TestServer::pagingAsTheClientDoesGivesBackTheContent()
{
    QFETCH(int, limit);
    for (const QString &table : schema::dataTables()) {
        Rows applied;
        qint64 date = 0;
        int pages = 0;
        for (; pages < 5000; ++pages) {
            const Answer a = getTable(table, date, limit);
            QVERIFY2(!a.data.isNull(), a.body.constData());
            const QList<QDomElement> rows = childElements(a.data.firstChildElement(QStringLiteral("TABLE")));
            if (rows.isEmpty())
                break;
            QVERIFY(rows.size() <= limit); // our stamps are unique, so pages never grow
            qint64 newest = 0;
            for (const QDomElement &row : rows) {
                const qint64 stamp = row.attribute(QStringLiteral("last_update")).toLongLong();
                QVERIFY(stamp > date);
                QVERIFY(stamp > newest); // ascending
                newest = stamp;
                const qint64 id = row.attribute(QStringLiteral("id")).toLongLong();
                if (row.attribute(QStringLiteral("action")) == QLatin1String("DELETE")) {
                    QVERIFY(!row.hasChildNodes());
                    applied.remove(id);
                    continue;
                }
                QMap<QString, QString> &values = applied[id];
                for (const QDomElement &field : childElements(row))
                    values.insert(field.tagName(), field.text());
            }
            date = newest;
        }
        QCOMPARE(applied, rowsOf(m_expected, table));
    }
}

void TestServer::pageHoldsExactlyLimitRowsAndDeletionsFollowUpdates()
{
    const auto count = [](const Answer &a) {
        return childElements(a.data.firstChildElement(QStringLiteral("TABLE"))).size();
    };
    QCOMPARE(count(getTable(QStringLiteral("items_to_vendors"), 0, 200)), 200);
    // 452 links: 451 live rows and the deletion of the other one.
    QCOMPARE(count(getTable(QStringLiteral("items_to_vendors"), 0, 1000)), 452);
    QCOMPARE(count(getTable(QStringLiteral("items_to_vendors"), 0, 1)), 1);
    // The last two changes of the table: deletion of 1001, then update of 1002.
    ContentDatabase db(m_contentPath);
    const qint64 top = db.highestStamp(QStringLiteral("items_to_vendors"));
    const QList<QDomElement> tail = childElements(getTable(QStringLiteral("items_to_vendors"), top - 2, 200)
                                                      .data.firstChildElement(QStringLiteral("TABLE")));
    QCOMPARE(tail.size(), 2);
    QCOMPARE(tail.at(0).attribute(QStringLiteral("id")), QStringLiteral("1001"));
    QCOMPARE(tail.at(0).attribute(QStringLiteral("action")), QStringLiteral("DELETE"));
    QCOMPARE(tail.at(1).attribute(QStringLiteral("id")), QStringLiteral("1002"));
    QVERIFY(!tail.at(1).hasAttribute(QStringLiteral("action")));
    // NULL columns are left out; an empty string is an empty element.
    const QList<QDomElement> vendors = childElements(
        getTable(QStringLiteral("vendors"), 0, 200).data.firstChildElement(QStringLiteral("TABLE")));
    QCOMPARE(vendors.size(), 3);
    QVERIFY(vendors.at(1).firstChildElement(QStringLiteral("description")).isNull());
    const QDomElement empty = vendors.at(2).firstChildElement(QStringLiteral("description"));
    QVERIFY(!empty.isNull() && !empty.hasChildNodes());
}

void TestServer::badRequestsGetFailAnswers_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<int>("code");
    QTest::newRow("no action") << "table=items" << 1;
    QTest::newRow("unknown action") << "action=drop_table" << 1;
    QTest::newRow("action in other case") << "action=GET_TABLE&table=items" << 1;
    QTest::newRow("unknown table") << "action=get_table&table=users&date=0&limit=10" << 2;
    QTest::newRow("options table") << "action=get_table&table=options&date=0&limit=10" << 2;
    QTest::newRow("meta table") << "action=get_table&table=meta" << 2;
    QTest::newRow("injected table") << "action=get_table&table=items%20--&date=0" << 2;
    QTest::newRow("date text") << "action=get_table&table=items&date=abc&limit=10" << 3;
    QTest::newRow("date empty") << "action=get_table&table=items&date=&limit=10" << 3;
    QTest::newRow("date fraction") << "action=get_table&table=items&date=1.5&limit=10" << 3;
    QTest::newRow("date too long") << "action=get_table&table=items&date=99999999999999999999&limit=10" << 3;
    QTest::newRow("limit over 1000") << "action=get_table&table=items&date=0&limit=1001" << 4;
    QTest::newRow("limit zero") << "action=get_table&table=items&date=0&limit=0" << 4;
    QTest::newRow("limit negative") << "action=get_table&table=items&date=0&limit=-5" << 4;
    QTest::newRow("limit text") << "action=get_table&table=items&date=0&limit=ten" << 4;
    QTest::newRow("limit huge") << "action=get_table&table=items&date=0&limit=4294967496" << 4;
}

void TestServer::badRequestsGetFailAnswers()
{
    QFETCH(QString, query);
    QFETCH(int, code);
    const Answer a = get(query);
    QVERIFY2(!a.result.isNull(), a.body.constData());
    QVERIFY(a.data.isNull());
    QCOMPARE(a.result.attribute(QStringLiteral("status")), QStringLiteral("FAIL"));
    QCOMPARE(a.result.attribute(QStringLiteral("err_code")).toInt(), code);
    QVERIFY(!a.result.text().isEmpty());
    QCOMPARE(childElements(a.doc.documentElement()).size(), 1);
}

void TestServer::detailsTravelOnItemsPagesOnly()
{
    ServerOffer offer;
    offer.detailsText = QStringLiteral("Обновлено \"сегодня\" & <сейчас>");
    offer.detailsUrl = QStringLiteral("http://example.org/news?a=1&b=2");
    ServerApi api(m_contentPath, offer);
    const auto table = [&](const QString &name, qint64 date) {
        const Answer a = readEnvelope(api.answer({{QStringLiteral("action"), QStringLiteral("get_table")},
                                                  {QStringLiteral("table"), name},
                                                  {QStringLiteral("date"), QString::number(date)}}));
        return a.data.firstChildElement(QStringLiteral("TABLE"));
    };
    const QDomElement items = table(QStringLiteral("items"), 0);
    QCOMPARE(items.attribute(QStringLiteral("update_details_text")), *offer.detailsText);
    QCOMPARE(items.attribute(QStringLiteral("update_details_url")), *offer.detailsUrl);
    // Also on the empty page that ends the paging.
    QCOMPARE(table(QStringLiteral("items"), 1000000).attribute(QStringLiteral("update_details_url")),
             *offer.detailsUrl);
    QVERIFY(!table(QStringLiteral("sections"), 0).hasAttribute(QStringLiteral("update_details_text")));
    QVERIFY(
        !table(QStringLiteral("items_to_sections"), 0).hasAttribute(QStringLiteral("update_details_url")));
    // Without settings there are no attributes at all.
    QVERIFY(getTable(QStringLiteral("items"), 0, 200)
                .data.firstChildElement(QStringLiteral("TABLE"))
                .attributes()
                .isEmpty());
}

void TestServer::greetingPageChildrenAreThePackedElements()
{
    const Answer a = get(QStringLiteral("action=get_splash"));
    const QDomElement page = a.data.firstChildElement(QStringLiteral("PAGE"));
    QVERIFY(!page.isNull());
    QStringList names, contents;
    for (const QDomElement &e : childElements(page)) {
        names.append(e.tagName());
        contents.append(e.text());
    }
    QStringList expectedNames, expectedContents;
    scanPackedContent(m_expected.meta.value(QStringLiteral("greeting")),
                      [&](QString &name, QString &content) {
                          expectedNames.append(name);
                          expectedContents.append(content);
                      });
    QCOMPARE(names, (QStringList{QStringLiteral("HTML"), QStringLiteral("LOGO")}));
    QCOMPARE(names, expectedNames);
    QCOMPARE(contents, expectedContents);

    // No greeting page: DATA without PAGE. A packed element whose name is no XML name is left out.
    ContentDatabase db(m_contentPath);
    db.setMeta(QStringLiteral("greeting"), QStringLiteral("<HTML>PHA+</HTML><1BAD>AAAA</1BAD><OK>AAAA</OK>"));
    const QDomElement filtered =
        readEnvelope(m_api->answer({{QStringLiteral("action"), QStringLiteral("get_splash")}}))
            .data.firstChildElement(QStringLiteral("PAGE"));
    QCOMPARE(childElements(filtered).size(), 2);
    QCOMPARE(childElements(filtered).at(1).tagName(), QStringLiteral("OK"));
    db.setMeta(QStringLiteral("greeting"), std::nullopt);
    const Answer none =
        readEnvelope(m_api->answer({{QStringLiteral("action"), QStringLiteral("get_splash")}}));
    QVERIFY(!none.data.isNull());
    QVERIFY(!none.data.hasChildNodes());
    db.setMeta(QStringLiteral("greeting"), m_expected.meta.value(QStringLiteral("greeting")));
}

void TestServer::checkUpdateOffersOnlyWhatIsSet()
{
    const auto offered = [](ServerApi &api) {
        QStringList out;
        const Answer a =
            readEnvelope(api.answer({{QStringLiteral("action"), QStringLiteral("check_update")}}));
        for (const QDomElement &e : childElements(a.data))
            out.append(e.tagName() + QLatin1Char('=') + e.text());
        return out;
    };
    QCOMPARE(offered(*m_api), QStringList());
    {
        ContentDatabase db(m_contentPath);
        db.setMeta(QStringLiteral("program_version"), QStringLiteral("1.2"));
        db.setMeta(QStringLiteral("about_url"), QStringLiteral("http://example.org/?a=1&b=2"));
    }
    QCOMPARE(offered(*m_api), (QStringList{QStringLiteral("VERSION=1.2"),
                                           QStringLiteral("ABOUT_URL=http://example.org/?a=1&b=2")}));
    ServerOffer offer;
    offer.version = QStringLiteral("2.0");
    offer.downloadLink = QStringLiteral("http://127.0.0.1/download/setup.exe");
    offer.downloadSha256 = QStringLiteral("ab12");
    offer.about = QStringLiteral("Новая версия <лучше>");
    ServerApi withOffer(m_contentPath, offer);
    QCOMPARE(offered(withOffer),
             (QStringList{QStringLiteral("VERSION=2.0"),
                          QStringLiteral("DL_LINK=http://127.0.0.1/download/setup.exe"),
                          QStringLiteral("DL_SHA256=ab12"), QStringLiteral("ABOUT=Новая версия <лучше>"),
                          QStringLiteral("ABOUT_URL=http://example.org/?a=1&b=2")}));
    ContentDatabase db(m_contentPath);
    db.setMeta(QStringLiteral("program_version"), std::nullopt);
    db.setMeta(QStringLiteral("about_url"), std::nullopt);
}

void TestServer::escapingKeepsHostileTextWellFormed()
{
    // Control characters, a broken UTF-8 sequence, an encoded surrogate and U+FFFF: none may
    // make the document unreadable; markup and CR come back as written.
    const QByteArray hostile =
        QByteArray("a\x01<b>&amp;\"q\"\r\n\tz ") + "\xC3\x28" + "\xED\xA0\x80" + "\xEF\xBF\xBF" + "\xD0\x81";
    QByteArray doc = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><r a=\"";
    ServerApi::appendEscaped(doc, hostile, true);
    doc += "\">";
    ServerApi::appendEscaped(doc, hostile);
    doc += "</r>";
    QDomDocument parsed;
    QVERIFY2(bool(parsed.setContent(doc)), doc.constData());
    const QString expected = QStringLiteral("a<b>&amp;\"q\"\r\n\tz ") + QChar(0xFFFD) + QStringLiteral("(") +
                             QChar(0xFFFD) + QChar(0xFFFD) + QChar(0xFFFD) + QChar(0xFFFD) + QChar(0xFFFD) +
                             QChar(0xFFFD) + QChar(0x0401);
    QCOMPARE(parsed.documentElement().text(), expected);
    QCOMPARE(parsed.documentElement().attribute(QStringLiteral("a")), expected);
    // The odd vendor name of the fixture travels unchanged, spaces, quotes and CR included.
    const QList<QDomElement> vendors = childElements(
        getTable(QStringLiteral("vendors"), 0, 200).data.firstChildElement(QStringLiteral("TABLE")));
    QCOMPARE(vendors.at(2).firstChildElement(QStringLiteral("name")).text(),
             QStringLiteral(" A&B <\"Ко\"> 'x'\r\nконец "));
}

void TestServer::manyClientsAtOnce()
{
    const QByteArray reference = getTable(QStringLiteral("items_to_vendors"), 0, 200).body;
    std::atomic<int> good{0}, bad{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 12; ++t) {
        threads.emplace_back([&, t] {
            httplib::Client client("127.0.0.1", m_server->port());
            client.set_read_timeout(20);
            for (int i = 0; i < 25; ++i) {
                // Alternate keep-alive and fresh connections, as different clients do.
                client.set_keep_alive(t % 2 == 0);
                const auto res =
                    client.Get("/api.php?table=items_to_vendors&action=get_table&start=0&limit=200&date=0");
                if (res && res->status == 200 && QByteArray::fromStdString(res->body) == reference)
                    ++good;
                else
                    ++bad;
            }
        });
    }
    for (auto &th : threads)
        th.join();
    QCOMPARE(bad.load(), 0);
    QCOMPARE(good.load(), 300);
}

void TestServer::otherPathsAndTheOfferedFile()
{
    ServerOptions options;
    options.port = 0;
    options.log = false;
    options.downloadName = QStringLiteral("setup-1.2.exe");
    options.downloadBytes = QByteArray("MZ\0installer", 12);
    ContentServer server(*m_api, options);
    const int port = server.start();
    httplib::Client client("127.0.0.1", port);
    const auto file = client.Get("/download/setup-1.2.exe");
    QVERIFY(file);
    QCOMPARE(file->status, 200);
    QCOMPARE(QByteArray::fromStdString(file->body), options.downloadBytes);
    QCOMPARE(client.Get("/download/other.exe")->status, 404);
    QCOMPARE(client.Get("/index.php")->status, 404);
    QCOMPARE(client.Post("/api.php", "action=get_splash", "application/x-www-form-urlencoded")->status, 404);
    // The served API is the same on this listener.
    QVERIFY(!get(QStringLiteral("action=get_splash"), &server).data.isNull());
    server.stop();
    QVERIFY(!client.Get("/download/setup-1.2.exe"));
}

void TestServer::cachedPagesFollowEveryChange()
{
    const QString path = m_dir.filePath(QStringLiteral("cached.sqlite"));
    ContentDatabase::create(path, loadDemoContent(qEnvironmentVariable("RAMUX_SOURCE_DIR") +
                                                  QStringLiteral("/tests/content/fixture")));
    ServerApi api(path, {}, 1024 * 1024);
    const auto page = [&](const QString &table) {
        return api.answer({{QStringLiteral("action"), QStringLiteral("get_table")},
                           {QStringLiteral("table"), table},
                           {QStringLiteral("date"), QStringLiteral("0")},
                           {QStringLiteral("limit"), QStringLiteral("200")}});
    };
    const QByteArray before = page(QStringLiteral("vendors"));
    QCOMPARE(page(QStringLiteral("vendors")), before);
    ContentDatabase db(path);
    db.upsertRow(QStringLiteral("vendors"), 2, {{QStringLiteral("name"), QStringLiteral("Переименован")}});
    const QByteArray renamed = page(QStringLiteral("vendors"));
    QVERIFY(renamed != before);
    QVERIFY(renamed.contains("<name>Переименован</name>"));
    db.deleteRow(QStringLiteral("vendors"), 1);
    QVERIFY(page(QStringLiteral("vendors"))
                .contains("<ROW id=\"1\" last_update=\"" +
                          QByteArray::number(db.highestStamp(QStringLiteral("vendors"))) +
                          "\" action=\"DELETE\"/>"));
    // Another table's change leaves this table's answer as it was; details changes show at once.
    const QByteArray items = page(QStringLiteral("items"));
    db.setMeta(QStringLiteral("update_details_url"), QStringLiteral("http://example.org/n"));
    QVERIFY(page(QStringLiteral("items")) != items);
    QVERIFY(page(QStringLiteral("items")).contains("update_details_url=\"http://example.org/n\""));
    // An answer bigger than a quarter of the cache is not kept, and still correct.
    ServerApi tiny(path, {}, 64);
    QCOMPARE(tiny.answer({{QStringLiteral("action"), QStringLiteral("get_table")},
                          {QStringLiteral("table"), QStringLiteral("items")},
                          {QStringLiteral("date"), QStringLiteral("0")},
                          {QStringLiteral("limit"), QStringLiteral("200")}}),
             page(QStringLiteral("items")));
}

QTEST_GUILESS_MAIN(TestServer)
#include "tst_server.moc"
