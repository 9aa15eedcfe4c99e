// The shipped demo content: its size and shapes, and its integrity (links name existing
// records except the deliberate orphan group, every image a page refers to is attached).
#include "contenttesthelpers.h"

#include "content/content.h"
#include "content/sourcereader.h"
#include "text/cp1251.h"

#include <QSet>
#include <QtTest>

class TestDemoContent : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void hasTheSizeOfAReference();
    void linkRowsNameExistingRecords();
    void onlyTheDeliberateOrphanLacksItsParent();
    void everyReferredImageIsAttached();
    void namesSurviveTheEightBitCodePage();
    void hasTheAwkwardShapesOfRealData();

private:
    const ContentTable &table(const char *name) const { return *m_set.findTable(QString::fromLatin1(name)); }
    QSet<qint64> idsOf(const char *name) const
    {
        QSet<qint64> ids;
        for (const ContentRow &row : table(name).rows)
            ids.insert(row.id);
        return ids;
    }
    QList<FieldValue> column(const char *tableName, const char *columnName) const
    {
        const ContentTable &t = table(tableName);
        const int at = t.columnIndex(QString::fromLatin1(columnName));
        QList<FieldValue> values;
        for (const ContentRow &row : t.rows)
            values.append(row.values.at(at));
        return values;
    }

    ContentSet m_set;
};

void TestDemoContent::initTestCase()
{
    const QString dir = qEnvironmentVariable("RAMUX_SOURCE_DIR") + QStringLiteral("/data/demo");
    if (!QFileInfo::exists(dir + QStringLiteral("/sections.tsv")))
        QSKIP("no demo content in this tree");
    m_set = loadDemoContent(dir);
}

void TestDemoContent::hasTheSizeOfAReference()
{
    QVERIFY(table("items").rows.size() >= 150);
    QVERIFY(table("sections").rows.size() >= 40);
    QVERIFY(table("vendors").rows.size() >= 25);
    QVERIFY(table("distributors").rows.size() >= 10);
    QVERIFY(table("dealers").rows.size() >= 10);

    // Most of the eight headed sections are filled.
    const char *const sections[] = {"form",
                                    "effect",
                                    "prescriptions",
                                    "dose",
                                    "side_effects",
                                    "CONTRA_INDICATION",
                                    "special_conditions",
                                    "storage_instructions"};
    int filled = 0, total = 0;
    for (const char *s : sections) {
        for (const FieldValue &v : column("items", s)) {
            ++total;
            filled += v ? 1 : 0;
        }
    }
    QVERIFY2(filled * 10 >= total * 7, qPrintable(QStringLiteral("%1 of %2").arg(filled).arg(total)));

    // Groups in three or more levels.
    const ContentTable &groups = table("sections");
    QHash<qint64, qint64> parent;
    for (const ContentRow &row : groups.rows)
        parent.insert(row.id, row.values.at(groups.columnIndex(QStringLiteral("parent_id")))->toLongLong());
    int deepest = 0;
    for (auto it = parent.constBegin(); it != parent.constEnd(); ++it) {
        int depth = 1;
        for (qint64 p = it.value(); parent.contains(p) && depth < 100; p = parent.value(p))
            ++depth;
        deepest = std::max(deepest, depth);
    }
    QVERIFY(deepest >= 3);

    // Products linked to several groups and makers.
    QHash<QString, int> perItem;
    for (const ContentRow &row : table("items_to_sections").rows)
        ++perItem[*row.values.at(0)];
    QVERIFY(std::any_of(perItem.begin(), perItem.end(), [](int n) { return n > 1; }));
    perItem.clear();
    for (const ContentRow &row : table("items_to_vendors").rows)
        ++perItem[*row.values.at(0)];
    QVERIFY(std::any_of(perItem.begin(), perItem.end(), [](int n) { return n > 1; }));
}

void TestDemoContent::linkRowsNameExistingRecords()
{
    const QSet<qint64> items = idsOf("items");
    const std::pair<const char *, const char *> links[] = {{"items_to_sections", "sections"},
                                                           {"items_to_vendors", "vendors"},
                                                           {"items_to_distributors", "distributors"},
                                                           {"items_to_dealers", "dealers"}};
    for (const auto &[link, target] : links) {
        const QSet<qint64> targets = idsOf(target);
        QVERIFY(!table(link).rows.empty());
        for (const ContentRow &row : table(link).rows) {
            QVERIFY2(items.contains(row.values.at(0)->toLongLong()),
                     qPrintable(QStringLiteral("%1 row %2").arg(link).arg(row.id)));
            QVERIFY2(targets.contains(row.values.at(1)->toLongLong()),
                     qPrintable(QStringLiteral("%1 row %2").arg(link).arg(row.id)));
        }
    }
}

void TestDemoContent::onlyTheDeliberateOrphanLacksItsParent()
{
    const QSet<qint64> groups = idsOf("sections");
    QList<qint64> orphans;
    const ContentTable &t = table("sections");
    for (const ContentRow &row : t.rows) {
        const qint64 parent = row.values.at(t.columnIndex(QStringLiteral("parent_id")))->toLongLong();
        if (parent != 0 && !groups.contains(parent))
            orphans.append(row.id);
    }
    QCOMPARE(orphans.size(), 1);
}

void TestDemoContent::everyReferredImageIsAttached()
{
    QSet<QString> used;
    int pages = 0;
    for (const ContentTable &t : m_set.tables) {
        const int description = t.columnIndex(QStringLiteral("description"));
        for (const ContentRow &row : t.rows) {
            for (int c = 0; c < t.columns.size(); ++c) {
                const FieldValue &v = row.values.at(c);
                if (!v || (c != description && t.name != QLatin1String("items")) ||
                    !v->startsWith(QLatin1String("<HTML>")))
                    continue;
                const Unpacked u = unpack(*v);
                const QStringList referred = referencedImages(u.html);
                ++pages;
                for (const QString &name : referred) {
                    QVERIFY2(u.attachments.contains(name),
                             qPrintable(QStringLiteral("%1 %2: %3").arg(t.name).arg(row.id).arg(name)));
                    used.insert(name);
                }
                QCOMPARE(u.attachments.size(),
                         referred.size()); // nothing attached that the page does not show
            }
        }
    }
    QVERIFY(pages > 500);
    QVERIFY2(used.size() >= 10, qPrintable(QString::number(used.size())));
    const Unpacked greeting = unpack(m_set.meta.value(QStringLiteral("greeting")));
    QVERIFY(!greeting.attachments.isEmpty());
    for (const QString &name : referencedImages(greeting.html))
        QVERIFY(greeting.attachments.contains(name));
}

void TestDemoContent::namesSurviveTheEightBitCodePage()
{
    for (const ContentTable &t : m_set.tables) {
        for (const char *col : {"name", "name_lat"}) {
            const int at = t.columnIndex(QString::fromLatin1(col));
            if (at < 0)
                continue;
            for (const ContentRow &row : t.rows) {
                if (row.values.at(at))
                    QVERIFY2(fitsCp1251(*row.values.at(at)), qPrintable(*row.values.at(at)));
            }
        }
    }
}

void TestDemoContent::hasTheAwkwardShapesOfRealData()
{
    const QList<FieldValue> names = column("items", "name");
    const QList<FieldValue> latin = column("items", "name_lat");
    bool latinOnly = false, digit = false, yo = false, spaced = false, duplicate = false;
    QSet<QString> seen;
    for (int i = 0; i < names.size(); ++i) {
        if (!names[i]) {
            latinOnly = latinOnly || latin[i].has_value();
            continue;
        }
        const QString &n = *names[i];
        digit = digit || n.trimmed().front().isDigit();
        yo = yo || n.trimmed().startsWith(QChar(0x0401));
        spaced = spaced || n != n.trimmed();
        duplicate = duplicate || seen.contains(n.trimmed());
        seen.insert(n.trimmed());
    }
    QVERIFY(latinOnly);
    QVERIFY(digit);
    QVERIFY(yo);
    QVERIFY(spaced);
    QVERIFY(duplicate);
    // Some makers and groups come without a description.
    QVERIFY(column("distributors", "description").contains(std::nullopt));
    QVERIFY(column("dealers", "description").contains(std::nullopt));
}

QTEST_GUILESS_MAIN(TestDemoContent)
#include "tst_democontent.moc"
