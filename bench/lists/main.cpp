// bench_lists: the group tree built and put into a tree widget for 1,500 and 6,000 groups (five
// levels, as the synthetic reference has), and the product tree for 10,000 products, also as
// the window loads it (letters opened on demand) and narrowed to a species' third of them.
// With --db PATH (the large synthetic reference) also the real window on it: the product tree
// loaded with and without a species chosen, and switching the species.
#include "app/mainform.h"
#include "app/productletters.h"
#include "db/browselists.h"
#include "db/snapshot.h"

#include <QApplication>
#include <QComboBox>
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

// The species box's first species, and the real window's loads and switches on the file.
void benchWindow(const QString &path)
{
    TKalmedaRamuxMainForm w({}, path);
    if (w.SpeciesBox->count() < 2) {
        std::printf("window: no species in %s\n", qPrintable(path));
        return;
    }
    const QString code = w.SpeciesBox->itemData(1).toString();
    QVector<double> loadAll, loadNarrowed, toSpecies, toAll;
    for (int i = 0; i < 7; ++i) {
        QElapsedTimer t;
        w.SetAnimalChoice(QString());
        t.start();
        w.LoadItemsTree();
        loadAll << t.nsecsElapsed() / 1e6;
        w.SetAnimalChoice(code);
        t.restart();
        w.LoadItemsTree();
        loadNarrowed << t.nsecsElapsed() / 1e6;
        for (int r = 0; r < w.TreeView1->topLevelItemCount(); ++r)
            openProductLetter(w.TreeView1->topLevelItem(r)->child(0));
        t.restart();
        w.SetAnimalChoice(QString());
        toAll << t.nsecsElapsed() / 1e6;
        t.restart();
        w.SetAnimalChoice(code);
        toSpecies << t.nsecsElapsed() / 1e6;
    }
    std::printf(
        "window: product tree loaded %.1f ms (all), %.1f ms (narrowed to %s); switching to %s %.1f ms, "
        "back to all %.1f ms\n",
        median(loadAll), median(loadNarrowed), qPrintable(code), qPrintable(code), median(toSpecies),
        median(toAll));
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

    // The window's tree: letters keep their products until opened; a species narrows it by
    // hiding, two letters opened as a user would have them.
    const NameLists names = buildNameLists(items);
    auto keep = std::make_shared<QSet<qint64>>();
    for (qint64 id = 1; id <= 10000; id += 3)
        keep->insert(id);
    const auto narrow = [&](std::shared_ptr<const QSet<qint64>> set) {
        for (int r = 0; r < tree.topLevelItemCount(); ++r) {
            QTreeWidgetItem *root = tree.topLevelItem(r);
            for (int l = 0; l < root->childCount(); ++l) {
                const bool shown = narrowProductLetter(root->child(l), set) > 0;
                root->child(l)->setHidden(set && !shown);
            }
        }
    };
    QVector<double> load, narrowed, whole;
    for (int i = 0; i < 7; ++i) {
        tree.clear();
        QElapsedTimer t;
        t.start();
        tree.addTopLevelItems(makeProductTreeItems(buildProductTree(names)));
        load << t.nsecsElapsed() / 1e6;
        for (int r = 0; r < tree.topLevelItemCount(); ++r)
            openProductLetter(tree.topLevelItem(r)->child(0));
        t.restart();
        narrow(keep);
        narrowed << t.nsecsElapsed() / 1e6;
        t.restart();
        narrow(nullptr);
        whole << t.nsecsElapsed() / 1e6;
    }
    std::printf(
        "product tree as the window loads it %.1f ms; narrowed to a third %.2f ms, back to all %.2f ms\n",
        median(load), median(narrowed), median(whole));
    const int db = QCoreApplication::arguments().indexOf(QStringLiteral("--db"));
    if (db > 0 && db + 1 < QCoreApplication::arguments().size())
        benchWindow(QCoreApplication::arguments().at(db + 1));
    return 0;
}
