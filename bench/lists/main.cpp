// bench_lists: the group tree built and put into a tree widget for 1,500 and 6,000 groups (five
// levels, as the synthetic reference has), and the product tree for 10,000 products.
#include "db/browselists.h"
#include "db/snapshot.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>

namespace {

ReferenceSnapshot groups(int count)
{
    ReferenceSnapshot s;
    QRandomGenerator rng(7);
    for (int id = 1; id <= count; ++id) {
        // A fifth of the groups at the top, the rest under an earlier group: up to five levels.
        const qint64 parent = id <= count / 5 ? 0 : rng.bounded(qint64(1), qint64(id));
        s.sections.rows.push_back(SectionRow{id, parent, QStringLiteral("Группа %1").arg(id)});
    }
    std::stable_sort(s.sections.rows.begin(), s.sections.rows.end(),
                     [](const SectionRow &a, const SectionRow &b) {
                         const qint64 pa = a.parentId.value_or(0), pb = b.parentId.value_or(0);
                         return pa != pb ? pa < pb : a.id < b.id;
                     });
    return s;
}

void fill(QTreeWidget &tree, const QVector<BrowseNode> &nodes)
{
    tree.setUpdatesEnabled(false);
    tree.clear();
    std::function<QTreeWidgetItem *(const BrowseNode &)> make = [&](const BrowseNode &n) {
        auto *item = new QTreeWidgetItem(QStringList{n.text});
        item->setData(0, Qt::UserRole, n.id);
        for (const BrowseNode &c : n.children)
            item->addChild(make(c));
        return item;
    };
    QList<QTreeWidgetItem *> top;
    for (const BrowseNode &n : nodes)
        top << make(n);
    tree.addTopLevelItems(top);
    tree.setUpdatesEnabled(true);
}

double median(QVector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    if (qgetenv("QT_QPA_PLATFORM").isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTreeWidget tree;
    for (int count : {1500, 6000, 24000}) {
        const ReferenceSnapshot s = groups(count);
        QVector<double> build, total;
        int calls = 0;
        for (int i = 0; i < 7; ++i) {
            QElapsedTimer t;
            t.start();
            const QVector<BrowseNode> nodes = buildSectionTree(s, [&] { ++calls; });
            build << t.nsecsElapsed() / 1e6;
            fill(tree, nodes);
            total << t.nsecsElapsed() / 1e6;
        }
        std::printf("groups %6d: tree built %.2f ms, with widget %.2f ms (%.2f us per group)\n", count,
                    median(build), median(total), median(total) * 1000 / count);
    }
    ReferenceSnapshot items;
    for (int i = 0; i < 10000; ++i)
        items.items.rows.push_back(ItemRow{i + 1,
                                           QStringLiteral("Препарат %1 раствор").arg((i * 7919) % 10000),
                                           QStringLiteral("Praeparatum %1").arg((i * 104729) % 10000)});
    QVector<double> lists, tree1;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer t;
        t.start();
        const NameLists names = buildNameLists(items);
        lists << t.nsecsElapsed() / 1e6;
        fill(tree, buildProductTree(names));
        tree1 << t.nsecsElapsed() / 1e6;
    }
    std::printf("products 10000+10000: name lists sorted %.1f ms, with tree widget %.1f ms\n", median(lists),
                median(tree1));
    return 0;
}
