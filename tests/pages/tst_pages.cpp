// Page composers and link parsing on core data: exact HTML for the edge cases.
#include "fixture.h"

#include "pages/grouppage.h"
#include "pages/linkpage.h"
#include "pages/links.h"

#include <QFile>
#include <QProcess>
#include <QTest>

using fixture::pack;
using fixture::page;
using fixture::PageDb;

namespace {
const QString kItemsToVendors = QStringLiteral("items_to_vendors");
const QString kItemsToSections = QStringLiteral("items_to_sections");
const QString kItemsToDistributors = QStringLiteral("items_to_distributors");
const QString kItemsToDealers = QStringLiteral("items_to_dealers");
const QString kArrow = QStringLiteral(" <FONT face=\"Times New Roman\">&rarr;</FONT> ");

QString sect(qint64 id, const QString &name)
{
    return QStringLiteral("<A HREF=\"SECT:%1\">%2</A>").arg(id).arg(name);
}
} // namespace

class TestPages : public QObject
{
    Q_OBJECT

private slots:
    void productWithOnlyANameIsTitleAlone();
    void productSectionsFollowPresenceRules();
    void productListsChooseSingularOrPlural();
    void productGroupPathsAndMissingAncestors();
    void productStopsAtInvalidBase64AndClosesThePage();
    void productWithoutRowIsEmptyPage();
    void hugeDescriptionComposes();
    void ramuxctlPrintsWhatALinkOpens();
    void sectionPathCutsParentLoops();
    void groupPageListsSubgroupsAndSortedProducts();
    void groupAndVendorPagesWithoutRowOrProducts();
    void partnerPagesCarryBackLinkAndNotice();
    void linkParsing_data();
    void linkParsing();
    void hugeLinksParseInLinearTime();
    void shellLinks();
    void linkTargetsFollowTheTrees();
};

void TestPages::productWithOnlyANameIsTitleAlone()
{
    PageDb d;
    d.item(1, QStringLiteral("  Ивермек \r\n"));
    const ComposedPage p = composeProductPage(d.sources(), 1);
    QVERIFY(!p.error);
    QCOMPARE(p.body, page(QStringLiteral("<H3>Ивермек</H3><BR/>")));
    // The document the view loads is the same body, packed.
    QVERIFY(p.document.startsWith(QStringLiteral("<HTML>")));
    QVERIFY(p.document.endsWith(QStringLiteral("</HTML>")));
}

void TestPages::productSectionsFollowPresenceRules()
{
    PageDb d;
    d.item(1, QStringLiteral("Имя"), QStringLiteral(" Nomen "));
    d.setField(QStringLiteral("items"), 1, QStringLiteral("description"),
               QStringLiteral("\r\n ") +
                   pack(QStringLiteral("<p>top</p>"), QStringLiteral("<LOGO>AAEC</LOGO>")));
    d.setField(QStringLiteral("items"), 1, QStringLiteral("form"), QStringLiteral("  \r\n  ")); // blank
    d.setField(QStringLiteral("items"), 1, QStringLiteral("effect"),
               QStringLiteral("plain text, not packed"));
    d.setField(QStringLiteral("items"), 1, QStringLiteral("dose"), pack(QStringLiteral("<p>dose</p>")));
    d.setField(QStringLiteral("items"), 1, QStringLiteral("CONTRA_INDICATION"),
               QStringLiteral("<b>plain html</b>"));
    d.setField(QStringLiteral("items"), 1, QStringLiteral("storage_instructions"),
               pack(QStringLiteral("<p>cold</p>")));
    const ComposedPage p = composeProductPage(d.sources(), 1);
    QVERIFY(!p.error);
    QCOMPARE(p.body, page(QStringLiteral("<p>top</p><BR/><H3>Имя</H3><BR/><B>Латинское название:</B><BR>Nomen"
                                         "<BR><BR><B>Фармакологические свойства:</B><BR>"
                                         "<BR><BR><B>Дозы и способ применения:</B><BR><p>dose</p>"
                                         "<BR><BR><B>Противопоказания:</B><BR>"
                                         "<BR><BR><B>Условия хранения:</B><BR><p>cold</p>")));
    // The description's image travels with the page; the plain HTML field's tags do too.
    QVERIFY(p.document.contains(QStringLiteral("<LOGO>AAEC</LOGO>")));
}

void TestPages::productListsChooseSingularOrPlural()
{
    PageDb d;
    d.item(1, QStringLiteral("Один"));
    d.item(2, QStringLiteral("Два"));
    d.named(QStringLiteral("vendors"), 10, QStringLiteral(" Завод "));
    d.named(QStringLiteral("vendors"), 11, QStringLiteral("Фабрика"));
    d.link(kItemsToVendors, 1, 10);
    d.link(kItemsToVendors, 1, 99); // no such vendor: skipped, not counted
    d.link(kItemsToVendors, 2, 11);
    d.link(kItemsToVendors, 2, 11); // the same vendor twice: two entries
    d.named(QStringLiteral("distributors"), 20, QStringLiteral("Без описания")); // NULL description
    d.named(QStringLiteral("distributors"), 21, QStringLiteral("Пустое"), QStringLiteral("  "));
    d.link(kItemsToDistributors, 1, 20);
    d.link(kItemsToDistributors, 2, 20);
    d.link(kItemsToDistributors, 2, 21);
    d.named(QStringLiteral("dealers"), 30, QStringLiteral("Аптека"), pack(QStringLiteral("x")));
    d.link(kItemsToDealers, 1, 30);
    d.link(kItemsToDealers, 2, 30);
    d.link(kItemsToDealers, 2, 30);
    const PageSources s = d.sources();

    QCOMPARE(composeProductPage(s, 1).body,
             page(QStringLiteral("<H3>Один</H3><BR/>"
                                 "<B>Производитель:</B><UL><LI><A HREF=\"VEND:10\"> Завод </A></LI></UL>"
                                 "<B>Поставщик:</B><UL><LI>Без описания</LI></UL>"
                                 "<B>Продавец:</B><UL><LI><A HREF=\"DEAL:30\">Аптека</A></LI></UL>")));
    QCOMPARE(composeProductPage(s, 2).body,
             page(QStringLiteral("<H3>Два</H3><BR/>"
                                 "<B>Производители:</B><UL><LI><A HREF=\"VEND:11\">Фабрика</A></LI>"
                                 "<LI><A HREF=\"VEND:11\">Фабрика</A></LI></UL>"
                                 "<B>Поставщики:</B><UL><LI>Без описания</LI>"
                                 "<LI><A HREF=\"DIST:21\">Пустое</A></LI></UL>"
                                 "<B>Продавцы:</B><UL><LI><A HREF=\"DEAL:30\">Аптека</A></LI>"
                                 "<LI><A HREF=\"DEAL:30\">Аптека</A></LI></UL>")));
}

void TestPages::productGroupPathsAndMissingAncestors()
{
    PageDb d;
    d.item(1, QStringLiteral("П"));
    d.item(2, QStringLiteral("Сирота"));
    d.section(1, 0, QStringLiteral("A"));
    d.section(2, 1, QStringLiteral("B"));
    d.section(3, 2, QStringLiteral("C"));
    d.section(5, 404, QStringLiteral("D")); // parent does not exist
    d.section(6, 5, QStringLiteral("E"));
    d.section(7, 0, QVariant()); // NULL name
    d.section(8, 7, QStringLiteral("F"));
    d.link(kItemsToSections, 1, 3);
    d.link(kItemsToSections, 1, 6);
    d.link(kItemsToSections, 1, 8);
    d.link(kItemsToSections, 2, 404);
    d.link(kItemsToSections, 2, 7);
    const PageSources s = d.sources();

    QCOMPARE(composeProductPage(s, 1).body,
             page(QStringLiteral("<H3>П</H3><BR/><BR><BR><B>Препарат входит в следующие группы:</B><UL>") + //
                  QStringLiteral("<LI>") + sect(1, QStringLiteral("A")) + kArrow +
                  sect(2, QStringLiteral("B")) + kArrow + sect(3, QStringLiteral("C")) +
                  QStringLiteral("</LI>") + //
                  QStringLiteral("<LI>") + sect(5, QStringLiteral("D")) + kArrow +
                  sect(6, QStringLiteral("E")) + QStringLiteral("</LI>") + //
                  QStringLiteral("<LI>") + sect(8, QStringLiteral("F")) + QStringLiteral("</LI></UL>")));
    // Only groups that do not exist (or have no name): no heading and no list end.
    QCOMPARE(composeProductPage(s, 2).body, page(QStringLiteral("<H3>Сирота</H3><BR/>")));
}

void TestPages::productStopsAtInvalidBase64AndClosesThePage()
{
    PageDb d;
    d.item(1, QStringLiteral("Имя"));
    d.setField(QStringLiteral("items"), 1, QStringLiteral("form"), pack(QStringLiteral("<p>ok</p>")));
    d.setField(QStringLiteral("items"), 1, QStringLiteral("effect"),
               QStringLiteral("<HTML>QUJD\tREVG</HTML>"));
    d.setField(QStringLiteral("items"), 1, QStringLiteral("dose"), pack(QStringLiteral("<p>never</p>")));
    d.named(QStringLiteral("vendors"), 1, QStringLiteral("V"));
    d.link(kItemsToVendors, 1, 1);
    const ComposedPage p = composeProductPage(d.sources(), 1);
    QCOMPARE(p.error.value_or(QString()), QStringLiteral("Invalid Base64 Character"));
    QCOMPARE(p.body, page(QStringLiteral("<H3>Имя</H3><BR/><BR><BR><B>Форма выпуска:</B><BR><p>ok</p>"
                                         "<BR><BR><B>Фармакологические свойства:</B><BR>")));
}

void TestPages::productWithoutRowIsEmptyPage()
{
    PageDb d;
    d.item(1, QStringLiteral("Имя"));
    const PageSources s = d.sources();
    QCOMPARE(composeProductPage(s, 0).body, page(QString()));
    QCOMPARE(composeProductPage(s, 2).body, page(QString()));
    QVERIFY(!composeProductPage(s, 2).error);
}

void TestPages::hugeDescriptionComposes()
{
    PageDb d;
    d.item(1, QStringLiteral("Имя"));
    const QString paragraph = QStringLiteral("<p>Очень длинное описание препарата, абзац за абзацем.</p>");
    const QString big = paragraph.repeated(int(5 * 1024 * 1024 / (paragraph.size() * 2)));
    d.setField(QStringLiteral("items"), 1, QStringLiteral("description"), pack(big));
    const ComposedPage p = composeProductPage(d.sources(), 1);
    QVERIFY(!p.error);
    QCOMPARE(p.body, page(big + QStringLiteral("<BR/><H3>Имя</H3><BR/>")));
}

void TestPages::ramuxctlPrintsWhatALinkOpens()
{
    PageDb d;
    d.item(1, QStringLiteral("Имя"));
    d.item(2, QStringLiteral("Второй"));
    d.named(QStringLiteral("dealers"), 4, QStringLiteral("Аптека"));
    d.db.close();
    const QString tool = qEnvironmentVariable("RAMUX_BIN_DIR") + QStringLiteral("/ramuxctl");
    if (!QFile::exists(tool))
        QSKIP("ramuxctl is not built");
    auto run = [&](const QStringList &args, int expectedCode) {
        QProcess process;
        process.start(tool, QStringList{QStringLiteral("page")} + args +
                                QStringList{QStringLiteral("--db"), d.path});
        [&] {
            QVERIFY(process.waitForFinished(30000));
            QCOMPARE(process.exitCode(), expectedCode);
        }();
        return QString::fromUtf8(process.readAllStandardOutput());
    };
    QCOMPARE(run({QStringLiteral("item:1")}, 0),
             page(QStringLiteral("<H3>Имя</H3><BR/>")) + QLatin1Char('\n'));
    QVERIFY(
        run({QStringLiteral("ITEM:1"), QStringLiteral("--packed")}, 0).startsWith(QStringLiteral("<HTML>")));
    QCOMPARE(run({QStringLiteral("ITEM:7")}, 3), QString());
    QCOMPARE(run({QStringLiteral("ITEM:1x")}, 3), QString());
    // The back link leads to --item, or to the first product in name order.
    QVERIFY(run({QStringLiteral("DEAL:4"), QStringLiteral("--item"), QStringLiteral("1")}, 0)
                .contains(QStringLiteral("<A HREF=\"ITEM:1\">Назад</A>")));
    QVERIFY(run({QStringLiteral("DEAL:4")}, 0).contains(QStringLiteral("<A HREF=\"ITEM:2\">Назад</A>")));
}

void TestPages::sectionPathCutsParentLoops()
{
    PageDb d;
    d.section(1, 2, QStringLiteral("A"));
    d.section(2, 1, QStringLiteral("B"));
    d.section(3, 3, QStringLiteral("Self"));
    d.section(4, 0, QStringLiteral(" T "));
    d.sources();
    QCOMPARE(GetSectionPath(d.snapshot.sections, 1, QString()),
             sect(2, QStringLiteral("B")) + kArrow + sect(1, QStringLiteral("A")));
    QCOMPARE(GetSectionPath(d.snapshot.sections, 3, QString()), sect(3, QStringLiteral("Self")));
    // The name goes in as stored; a blank tail adds no arrow, a real one follows the arrow.
    QCOMPARE(GetSectionPath(d.snapshot.sections, 4, QStringLiteral(" \r\n")), sect(4, QStringLiteral(" T ")));
    QCOMPARE(GetSectionPath(d.snapshot.sections, 4, QStringLiteral("tail")),
             sect(4, QStringLiteral(" T ")) + kArrow + QStringLiteral("tail"));
    QCOMPARE(GetSectionPath(d.snapshot.sections, 404, QStringLiteral("tail")), QStringLiteral("tail"));

    // A chain of 100,000 parents gives the nearest groups up to the depth bound, at once.
    RowTable<SectionRow> chain;
    for (int i = 1; i <= 100000; ++i)
        chain.rows.push_back(SectionRow{i, i - 1, QStringLiteral("g")});
    for (int i = 0; i < chain.rows.size(); ++i)
        chain.byId.insert(chain.rows[i].id, i);
    const QString path = GetSectionPath(chain, 100000, QString());
    QCOMPARE(path.count(QStringLiteral("<A HREF=")), kMaxGroupDepth);
    QVERIFY(path.endsWith(QStringLiteral("<A HREF=\"SECT:100000\">g</A>")));
}

void TestPages::groupPageListsSubgroupsAndSortedProducts()
{
    PageDb d;
    d.section(1, 0, QStringLiteral(" Группа "), QStringLiteral(" ") + pack(QStringLiteral("<p>about</p>")));
    d.item(1, QStringLiteral("яблоко"), QStringLiteral("Malus"));
    d.item(2, QVariant(), QStringLiteral("abcd")); // Latin only
    d.item(3, QStringLiteral("Банан"));
    d.item(4, QVariant(), QVariant()); // in neither list
    for (qint64 item : {1, 2, 3, 4, 3})
        d.link(kItemsToSections, item, 1);
    d.link(kItemsToSections, 1, 2); // another group: not listed
    const PageSources s = d.sources();
    // Subgroups come in the order given (the tree's), not sorted.
    const QVector<ChildNode> children{{9, QStringLiteral("Я-подгруппа")}, {5, QStringLiteral("А-подгруппа")}};
    const std::optional<ComposedPage> p = composeGroupPage(s, 1, children);
    QVERIFY(p);
    QCOMPARE(p->body, page(QStringLiteral("<H3>Группа</H3><BR/>"
                                          "<BR/><B>Подгруппы:</B><UL>"
                                          "<LI><A HREF=\"SECT:9\">Я-подгруппа</A></LI>"
                                          "<LI><A HREF=\"SECT:5\">А-подгруппа</A></LI></UL>"
                                          "<BR/><B>Описание группы:</B><BR/><p>about</p>"
                                          "<BR/><B>Препараты, входящие в группу:</B><UL>"
                                          "<LI><A HREF=\"ITEM:2\"> (ABCD)</A></LI>"
                                          "<LI><A HREF=\"ITEM:3\">БАНАН</A></LI>"
                                          "<LI><A HREF=\"ITEM:3\">БАНАН</A></LI>"
                                          "<LI><A HREF=\"ITEM:1\">ЯБЛОКО (MALUS)</A></LI></UL>")));

    const std::optional<ComposedPage> subgroupsOnly = composeGroupPage(s, 1, children);
    d.section(2, 1, QStringLiteral("Пустая"));
    const PageSources s2 = d.sources();
    QCOMPARE(composeGroupPage(s2, 2, {})->body,
             page(QStringLiteral("<H3>Пустая</H3><BR/><BR/><B>Препараты, входящие в группу:</B><UL>"
                                 "<LI><A HREF=\"ITEM:1\">ЯБЛОКО (MALUS)</A></LI></UL>")));
}

void TestPages::groupAndVendorPagesWithoutRowOrProducts()
{
    PageDb d;
    d.section(1, 0, QStringLiteral("Верх"));
    d.named(QStringLiteral("vendors"), 7, QStringLiteral("Завод"), pack(QStringLiteral("<p>info</p>")));
    d.named(QStringLiteral("vendors"), 8, QStringLiteral("  "), QStringLiteral("\r\n"));
    d.item(1, QStringLiteral("Б"), QStringLiteral("B"));
    d.item(2, QStringLiteral("А"));
    d.link(kItemsToVendors, 1, 8);
    d.link(kItemsToVendors, 2, 8);
    const PageSources s = d.sources();
    QVERIFY(!composeGroupPage(s, 2, {}));
    QVERIFY(!composeVendorPage(s, 9));
    QCOMPARE(composeGroupPage(s, 1, {{2, QStringLiteral("Низ")}})->body,
             page(QStringLiteral("<H3>Верх</H3><BR/><BR/><B>Подгруппы:</B><UL>"
                                 "<LI><A HREF=\"SECT:2\">Низ</A></LI></UL>")));
    QCOMPARE(composeVendorPage(s, 7)->body,
             page(QStringLiteral("<H3>Завод</H3><BR/><BR/><B>Информация о поставщике:</B><BR/><p>info</p>")));
    QCOMPARE(
        composeVendorPage(s, 8)->body,
        page(QStringLiteral("<BR/><B>Производимые препараты:</B><UL>"
                            "<LI><A HREF=\"ITEM:2\">А</A></LI><LI><A HREF=\"ITEM:1\">Б (B)</A></LI></UL>")));

    // A broken description stops the page: nothing is handed over, the error is thrown.
    d.setField(QStringLiteral("vendors"), 7, QStringLiteral("description"),
               QStringLiteral("<HTML>*AAA</HTML>"));
    try {
        composeVendorPage(s, 7);
        QFAIL("expected an error");
    } catch (const RamuxError &e) {
        QCOMPARE(e.message(), QStringLiteral("Invalid Base64 Character"));
    }
}

void TestPages::partnerPagesCarryBackLinkAndNotice()
{
    PageDb d;
    d.named(QStringLiteral("distributors"), 3, QStringLiteral("Склад"), QStringLiteral("   "));
    d.named(QStringLiteral("dealers"), 4, QStringLiteral("Аптека"),
            QStringLiteral("\n") + pack(QStringLiteral("<p>адрес</p>")));
    d.named(QStringLiteral("dealers"), 5, QStringLiteral("Без"));
    const PageSources s = d.sources();
    const QString notice = QStringLiteral("К сожалению, требуемая информация отсутствует в базе данных");
    QCOMPARE(composePartnerPage(s, PartnerKind::Distributor, 3, 12)->body,
             page(QStringLiteral("<A HREF=\"ITEM:12\">Назад</A><BR><HR>") + notice));
    QCOMPARE(composePartnerPage(s, PartnerKind::Dealer, 4, 12)->body,
             page(QStringLiteral("<A HREF=\"ITEM:12\">Назад</A><BR><HR><p>адрес</p>")));
    QCOMPARE(composePartnerPage(s, PartnerKind::Dealer, 5, std::nullopt)->body,
             page(QStringLiteral("<A HREF=\"ITEM:\">Назад</A><BR><HR>") + notice));
    // Ids are per table: a dealer id is no distributor.
    QVERIFY(!composePartnerPage(s, PartnerKind::Distributor, 4, 12));
    QVERIFY(!composePartnerPage(s, PartnerKind::Dealer, 3, 12));
}

void TestPages::linkParsing_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<int>("target"); // -1: nothing
    QTest::addColumn<qint64>("id");
    const int item = int(LinkTarget::Item);
    QTest::newRow("upper") << QStringLiteral("ITEM:12") << item << qint64(12);
    QTest::newRow("lower") << QStringLiteral("item:12") << item << qint64(12);
    QTest::newRow("mixed") << QStringLiteral("iTeM:12") << item << qint64(12);
    QTest::newRow("spaces") << QStringLiteral("ITEM: 12 ") << item << qint64(12);
    QTest::newRow("control chars") << QStringLiteral("ITEM:\t12\r\n") << item << qint64(12);
    QTest::newRow("zero") << QStringLiteral("ITEM:0") << item << qint64(0);
    QTest::newRow("every prefix removed") << QStringLiteral("ITEM:1item:2") << item << qint64(12);
    QTest::newRow("trailing letter") << QStringLiteral("ITEM:12a") << -1 << qint64(0);
    QTest::newRow("no number") << QStringLiteral("ITEM:") << -1 << qint64(0);
    QTest::newRow("inner space") << QStringLiteral("ITEM:1 2") << -1 << qint64(0);
    QTest::newRow("hex") << QStringLiteral("ITEM:0x10") << -1 << qint64(0);
    QTest::newRow("overflow") << QStringLiteral("ITEM:9223372036854775808") << -1 << qint64(0);
    QTest::newRow("leading zeros past 20 characters")
        << QStringLiteral("DEAL:0000000000000508279137151614") << int(LinkTarget::Dealer) << qint64(508279137151614);
    QTest::newRow("max") << QStringLiteral("ITEM:9223372036854775807") << item
                         << std::numeric_limits<qint64>::max();
    QTest::newRow("full-width digits") << QStringLiteral("ITEM:１２") << -1 << qint64(0);
    // Only a-z change case: a dotless i must not become the I of ITEM.
    QTest::newRow("dotless i") << QStringLiteral("ıtem:12") << -1 << qint64(0);
    QTest::newRow("leading space") << QStringLiteral(" ITEM:12") << -1 << qint64(0);
    QTest::newRow("sect") << QStringLiteral("sect:7") << int(LinkTarget::Section) << qint64(7);
    QTest::newRow("vend") << QStringLiteral("VEND:3") << int(LinkTarget::Vendor) << qint64(3);
    QTest::newRow("deal") << QStringLiteral("Deal:4") << int(LinkTarget::Dealer) << qint64(4);
    QTest::newRow("dist") << QStringLiteral("DIST:5") << int(LinkTarget::Distributor) << qint64(5);
    // The first prefix decides; the other prefix is then part of the number.
    QTest::newRow("first prefix decides") << QStringLiteral("SECT:ITEM:5") << -1 << qint64(0);
    QTest::newRow("unknown") << QStringLiteral("RES:cover_png") << -1 << qint64(0);
    QTest::newRow("empty") << QString() << -1 << qint64(0);
}

void TestPages::linkParsing()
{
    QFETCH(QString, link);
    QFETCH(int, target);
    QFETCH(qint64, id);
    const std::optional<InternalLink> parsed = parseInternalLink(link);
    QCOMPARE(parsed.has_value(), target >= 0);
    if (parsed) {
        QCOMPARE(int(parsed->target), target);
        QCOMPARE(parsed->id, id);
    }
}

void TestPages::hugeLinksParseInLinearTime()
{
    // 100,000 characters each; a quadratic removal or conversion would take seconds here.
    QString digits = QStringLiteral("ITEM:") + QString(100000, QLatin1Char('7'));
    QVERIFY(!parseInternalLink(digits));
    QString prefixes = QStringLiteral("ITEM:").repeated(20000) + QStringLiteral("42");
    QCOMPARE(parseInternalLink(prefixes)->id, qint64(42));
    QString spaces = QStringLiteral("SECT:") + QString(100000, QLatin1Char(' ')) + QStringLiteral("5");
    QCOMPARE(parseInternalLink(spaces)->id, qint64(5));
    QVERIFY(!isShellLink(QString(100000, QLatin1Char('x'))));
}

void TestPages::shellLinks()
{
    QVERIFY(isShellLink(QStringLiteral("http://example.org")));
    QVERIFY(isShellLink(QStringLiteral("HTTPS://example.org")));
    QVERIFY(isShellLink(QStringLiteral("  Ftp://files")));
    QVERIFY(isShellLink(QStringLiteral("mailto:a@b")));
    QVERIFY(isShellLink(QStringLiteral("\tMAILTO:a@b")));
    QVERIFY(!isShellLink(QStringLiteral("SECT:1")));
    QVERIFY(!isShellLink(QStringLiteral("www.example.org")));
    QVERIFY(!isShellLink(QStringLiteral("file:///etc/passwd")));
}

void TestPages::linkTargetsFollowTheTrees()
{
    PageDb d;
    d.item(1, QStringLiteral("Имя"));
    d.item(2, QVariant(), QVariant()); // no node in the product tree
    d.section(1, 0, QStringLiteral("Верх"));
    d.section(2, 1, QStringLiteral("Низ"));
    d.section(3, 404, QStringLiteral("Потерянная")); // not in the tree
    d.named(QStringLiteral("distributors"), 1, QStringLiteral("Склад"));
    const PageSources s = d.sources();
    const QVector<BrowseNode> products = buildProductTree(d.names);
    const QVector<BrowseNode> groups = buildSectionTree(d.snapshot);
    const QVector<BrowseNode> vendors = buildVendorList(d.snapshot);
    const BrowseTrees trees{products, groups, vendors};

    QCOMPARE(composeLinkTarget(s, trees, QStringLiteral("ITEM:0"), 1)->body, page(QString()));
    QCOMPARE(composeLinkTarget(s, trees, QStringLiteral("item: 1"), 1)->body,
             page(QStringLiteral("<H3>Имя</H3><BR/>")));
    QVERIFY(!composeLinkTarget(s, trees, QStringLiteral("ITEM:2"), 1));
    QVERIFY(!composeLinkTarget(s, trees, QStringLiteral("SECT:3"), 1));
    QVERIFY(!composeLinkTarget(s, trees, QStringLiteral("VEND:1"), 1));
    // The group found in the tree brings its children along.
    QVERIFY(composeLinkTarget(s, trees, QStringLiteral("SECT:1"), 1)
                ->body.contains(QStringLiteral("<LI><A HREF=\"SECT:2\">Низ</A></LI>")));
    QVERIFY(composeLinkTarget(s, trees, QStringLiteral("DIST:1"), 1)
                ->body.contains(QStringLiteral("<A HREF=\"ITEM:1\">Назад</A>")));
}

QTEST_GUILESS_MAIN(TestPages)
#include "tst_pages.moc"
