// Browse-list building on the core: name keys, letter nodes, the group tree and its hostile data.
#include "db/browselists.h"
#include "db/snapshot.h"

#include <QtTest>

namespace {

ItemRow item(std::optional<qint64> id, std::optional<QString> name, std::optional<QString> lat = std::nullopt)
{
    return ItemRow{id, std::move(name), std::move(lat)};
}

SectionRow section(qint64 id, std::optional<qint64> parent, const QString &name)
{
    return SectionRow{id, parent, name};
}

// Sections in the snapshot's own ordering (parent, then id), as loadReferenceTables leaves them.
ReferenceSnapshot withSections(QVector<SectionRow> rows)
{
    std::stable_sort(rows.begin(), rows.end(), [](const SectionRow &a, const SectionRow &b) {
        const qint64 pa = a.parentId.value_or(0), pb = b.parentId.value_or(0);
        return pa != pb ? pa < pb : a.id < b.id;
    });
    ReferenceSnapshot s;
    s.sections.rows = rows;
    return s;
}

QStringList texts(const QVector<BrowseNode> &nodes)
{
    QStringList out;
    for (const BrowseNode &n : nodes)
        out << n.text;
    return out;
}

QString cyr(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

} // namespace

class TestBrowseLists : public QObject
{
    Q_OBJECT

private slots:
    void nameKeyTrimsControlsAndCapitalisesOnlyBasicLetters()
    {
        QCOMPARE(nameKey(cyr("\t 2-вгд \r\n")), cyr("2-ВГД"));
        QCOMPARE(nameKey(cyr("ёлка abc")), cyr("ЁЛКА ABC"));
        // Letters outside a-z, а-я and ё stay as they are.
        QCOMPARE(nameKey(cyr("éß ї µ")), cyr("éß ї µ"));
        QCOMPARE(nameKey(QString(QChar(0x01)) + QStringLiteral(" x") + QChar(0x1F)), QStringLiteral("X"));
        QCOMPARE(nameKey(QStringLiteral(" \t ")), QString());
    }

    void nameListsSkipMissingIdsAndEmptyNamesAndKeepDuplicates()
    {
        ReferenceSnapshot s;
        s.items.rows = {item(1, cyr("бета"), QStringLiteral("beta")),
                        item(std::nullopt, cyr("без id"), QStringLiteral("noid")),
                        item(2, std::nullopt, QStringLiteral("  ")),
                        item(3, QStringLiteral("   "), std::nullopt),
                        item(4, cyr("альфа"), std::nullopt),
                        item(5, cyr("Бета"), QStringLiteral("alpha"))};
        const NameLists lists = buildNameLists(s);
        QCOMPARE(lists.russian.size(), 3);
        QCOMPARE(lists.russian[0].key, cyr("АЛЬФА"));
        QCOMPARE(lists.russian[0].id, 4);
        QCOMPARE(lists.russian[1].key, cyr("БЕТА"));
        QCOMPARE(lists.russian[2].key, cyr("БЕТА"));
        QCOMPARE(QSet<qint64>({lists.russian[1].id, lists.russian[2].id}), QSet<qint64>({1, 5}));
        QCOMPARE(lists.latin.size(), 2);
        QCOMPARE(lists.latin[0].key, QStringLiteral("ALPHA"));
        QCOMPARE(lists.latin[1].key, QStringLiteral("BETA"));
    }

    void sortingIsCaseInsensitiveRussianCollation()
    {
        NameList list{{cyr("ЯБЛОКО"), 1},
                      {cyr("ЕЛЬ"), 3},
                      {cyr("ЖУК"), 4},
                      {QStringLiteral("123"), 5},
                      {QStringLiteral("ZED"), 6}};
        sortNameList(list);
        QVector<qint64> ids;
        for (const NameEntry &e : list)
            ids << e.id;
        // Russian collation: digits, then Cyrillic, then Latin.
        QCOMPARE(ids, (QVector<qint64>{5, 3, 4, 1, 6}));
        for (int i = 1; i < list.size(); ++i)
            QVERIFY(compareNames(list[i - 1].key, list[i].key) <= 0);
    }

    void productTreeKeepsOnlyUsedLettersWithYoInPlace()
    {
        ReferenceSnapshot s;
        s.items.rows = {item(1, cyr("2-вгд"), QStringLiteral("Vgd")),
                        item(2, QStringLiteral("123"), QStringLiteral("4-5")),
                        item(3, cyr("ёрш"), std::nullopt),
                        item(4, cyr("ель"), std::nullopt),
                        item(5, cyr("жук"), std::nullopt),
                        item(6, cyr("жук"), std::nullopt)};
        const QVector<BrowseNode> tree = buildProductTree(buildNameLists(s));
        QCOMPARE(texts(tree), (QStringList{cyr("Русское название"), cyr("Латинское название")}));
        QCOMPARE(tree[0].id, 0);
        QCOMPARE(texts(tree[0].children),
                 (QStringList{cyr("В"), cyr("Е"), cyr("Ё"), cyr("Ж"), QStringLiteral("*")}));
        for (const BrowseNode &letter : tree[0].children)
            QCOMPARE(letter.id, 0);
        QCOMPARE(tree[0].children[0].children[0].text, cyr("2-ВГД"));
        QCOMPARE(tree[0].children[0].children[0].id, 1);
        QCOMPARE(tree[0].children[3].children.size(), 2); // both products of the same name
        QCOMPARE(tree[0].children[4].children[0].text, QStringLiteral("123"));
        QCOMPARE(texts(tree[1].children), (QStringList{QStringLiteral("V"), QStringLiteral("*")}));
        QCOMPARE(tree[1].children[1].children[0].text, QStringLiteral("4-5"));

        // Without any Ё key there is no Ё letter; with no items only the two roots remain.
        s.items.rows.remove(2);
        QVERIFY(!texts(buildProductTree(buildNameLists(s))[0].children).contains(cyr("Ё")));
        const QVector<BrowseNode> empty = buildProductTree(NameLists());
        QCOMPARE(empty.size(), 2);
        QVERIFY(empty[0].children.isEmpty() && empty[1].children.isEmpty());
    }

    void letterIsFirstCapitalOfItsAlphabet()
    {
        QCOMPARE(cyrillicLetterOf(QStringLiteral("ABC-") + cyr("Ж")), cyr("Ж"));
        QCOMPARE(latinLetterOf(cyr("ЖБ-7x")), QStringLiteral("*")); // lower-case x is no capital
        QCOMPARE(latinLetterOf(cyr("1Ж-Q")), QStringLiteral("Q"));
        BrowseNode root{QStringLiteral("r"), 0, {{QStringLiteral("A"), 0, {}}}};
        QCOMPARE(&FindLetterNode(root, QStringLiteral("A")), &root.children[0]);
        FindLetterNode(root, QStringLiteral("a"));
        QCOMPARE(texts(root.children), (QStringList{QStringLiteral("A"), QStringLiteral("a")}));
    }

    void largeSameLetterListKeepsSortedOrder()
    {
        ReferenceSnapshot s;
        for (int i = 0; i < 50000; ++i)
            s.items.rows.push_back(
                item(i + 1, cyr("Аа") + QString::number(49999 - i).rightJustified(5, QLatin1Char('0'))));
        const QVector<BrowseNode> tree = buildProductTree(buildNameLists(s));
        QCOMPARE(tree[0].children.size(), 1);
        const QVector<BrowseNode> &products = tree[0].children[0].children;
        QCOMPARE(products.size(), 50000);
        QCOMPARE(products.first().id, 50000);
        QCOMPARE(products.last().id, 1);
    }

    void sectionTreeNestsBySiblingIdAndDropsOrphans()
    {
        const ReferenceSnapshot s = withSections(
            {section(5, 0, QStringLiteral("five")), section(2, std::nullopt, QStringLiteral("two")),
             section(7, 2, QStringLiteral("seven")), section(3, 2, QStringLiteral("three")),
             section(9, 3, QStringLiteral("nine")), section(11, 99, QStringLiteral("orphan")),
             section(12, 11, QStringLiteral("orphan child"))});
        int levels = 0;
        const QVector<BrowseNode> tree = buildSectionTree(s, [&] { ++levels; });
        QCOMPARE(formatTree(tree), QStringLiteral("two\t2\n  three\t3\n    nine\t9\n  seven\t7\nfive\t5\n"));
        QCOMPARE(levels, 1 + 5); // the top level and every placed group
    }

    void sectionTreeCutsParentLoops()
    {
        const ReferenceSnapshot s =
            withSections({section(1, 0, QStringLiteral("top")), section(4, 4, QStringLiteral("self")),
                          section(5, 6, QStringLiteral("loop a")), section(6, 5, QStringLiteral("loop b")),
                          section(0, 0, QStringLiteral("zero")), section(8, 0, QStringLiteral("eight"))});
        // id 0 under parent 0 would list the top level inside itself forever.
        QCOMPARE(formatTree(buildSectionTree(s)), QStringLiteral("zero\t0\ntop\t1\neight\t8\n"));
    }

    void sectionTreeSurvivesDeepChainsAndGrowsLinearly()
    {
        QVector<SectionRow> rows;
        for (int i = 1; i <= 100000; ++i)
            rows.push_back(section(i, i - 1, QStringLiteral("g%1").arg(i)));
        const QVector<BrowseNode> tree = buildSectionTree(withSections(rows));
        QCOMPARE(tree.size(), 1);
        // The chain is cut at the depth bound, like a chain with a missing parent.
        QCOMPARE(findNodePath(tree, kMaxGroupDepth).size(), kMaxGroupDepth);
        QVERIFY(findNodePath(tree, kMaxGroupDepth + 1).isEmpty());
        QVERIFY(findNodePath(tree, 100000).isEmpty());
    }

    void vendorListKeepsSnapshotOrder()
    {
        ReferenceSnapshot s;
        s.vendors.rows = {NamedRow{3, QStringLiteral("Alpha"), true}, NamedRow{1, std::nullopt, true},
                          NamedRow{2, QStringLiteral("Beta"), false}};
        QCOMPARE(formatTree(buildVendorList(s)), QStringLiteral("Alpha\t3\n\t1\nBeta\t2\n"));
    }

    void findNodePathFollowsTreeOrder()
    {
        const QVector<BrowseNode> tree{
            {QStringLiteral("r1"), 0, {{QStringLiteral("a"), 0, {{QStringLiteral("x"), 7, {}}}}}},
            {QStringLiteral("r2"), 0, {{QStringLiteral("b"), 0, {{QStringLiteral("y"), 7, {}}}}}}};
        QCOMPARE(findNodePath(tree, 0), QVector<int>{0});         // the first root
        QCOMPARE(findNodePath(tree, 7), (QVector<int>{0, 0, 0})); // under the first root first
        QVERIFY(findNodePath(tree, 8).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestBrowseLists)
#include "tst_browselists.moc"
