#include "db/browselists.h"

#include "db/snapshot.h"
#include "text/packedcontent.h"

#include <QCollator>
#include <QCollatorSortKey>
#include <QHash>
#include <QLocale>
#include <QSet>
#include <algorithm>
#include <numeric>

namespace {

constexpr char16_t kCyrA = 0x0410, kCyrYa = 0x042F, kCyrYo = 0x0401;
constexpr char16_t kCyrSmallA = 0x0430, kCyrSmallYa = 0x044F, kCyrSmallYo = 0x0451;

bool isCyrillicCapital(QChar c)
{
    return (c.unicode() >= kCyrA && c.unicode() <= kCyrYa) || c.unicode() == kCyrYo;
}

bool isLatinCapital(QChar c)
{
    return c.unicode() >= 'A' && c.unicode() <= 'Z';
}

// Letter nodes in the order the tree shows them, "*" last.
QStringList cyrillicLetters()
{
    QStringList letters;
    for (char16_t c = kCyrA; c <= kCyrYa; ++c) {
        letters << QString(QChar(c));
        if (c == kCyrA + 5) // Ё follows Е
            letters << QString(QChar(kCyrYo));
    }
    letters << QStringLiteral("*");
    return letters;
}

QStringList latinLetters()
{
    QStringList letters;
    for (char c = 'A'; c <= 'Z'; ++c)
        letters << QString(QLatin1Char(c));
    letters << QStringLiteral("*");
    return letters;
}

BrowseNode lettersRoot(const QString &rootText, const QStringList &letters, const NameList &names,
                       QString (*letterOf)(const QString &))
{
    BrowseNode root{rootText, 0, {}};
    for (const QString &letter : letters)
        root.children.push_back(BrowseNode{letter, 0, {}});
    for (const NameEntry &entry : names)
        FindLetterNode(root, letterOf(entry.key)).children.push_back(BrowseNode{entry.key, entry.id, {}});
    root.children.erase(std::remove_if(root.children.begin(), root.children.end(),
                                       [](const BrowseNode &n) { return n.children.isEmpty(); }),
                        root.children.end());
    return root;
}

} // namespace

QString nameKey(const QString &name)
{
    QString key = trimControl(name);
    QChar *it = key.data();
    for (QChar *end = it + key.size(); it != end; ++it) {
        const char16_t c = it->unicode();
        if (c >= 'a' && c <= 'z')
            *it = QChar(char16_t(c - 'a' + 'A'));
        else if (c >= kCyrSmallA && c <= kCyrSmallYa)
            *it = QChar(char16_t(c - kCyrSmallA + kCyrA));
        else if (c == kCyrSmallYo)
            *it = QChar(kCyrYo);
    }
    return key;
}

void sortNameList(NameList &list)
{
    // The same collation as compareNames, with the sort key of each entry computed once.
    QCollator collator{QLocale(QLocale::Russian, QLocale::Russia)};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    QVector<QCollatorSortKey> keys;
    keys.reserve(list.size());
    for (const NameEntry &e : list)
        keys.push_back(collator.sortKey(e.key));
    QVector<int> order(list.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return keys[a].compare(keys[b]) < 0; });
    NameList sorted;
    sorted.reserve(list.size());
    for (int i : order)
        sorted.push_back(std::move(list[i]));
    list = std::move(sorted);
}

NameLists buildNameLists(const ReferenceSnapshot &snapshot)
{
    NameLists lists;
    lists.russian.reserve(snapshot.items.rows.size());
    lists.latin.reserve(snapshot.items.rows.size());
    for (const ItemRow &row : snapshot.items.rows) {
        if (!row.id)
            continue;
        if (row.name) {
            QString key = nameKey(*row.name);
            if (!key.isEmpty())
                lists.russian.push_back(NameEntry{std::move(key), *row.id});
        }
        if (row.nameLat) {
            QString key = nameKey(*row.nameLat);
            if (!key.isEmpty())
                lists.latin.push_back(NameEntry{std::move(key), *row.id});
        }
    }
    // Items come in name order already, and a key differs from its name only by case and by
    // trimmed ends, so the Russian list is usually sorted: one pass checks, a sort only if not.
    for (NameList *list : {&lists.russian, &lists.latin}) {
        const bool sorted =
            std::is_sorted(list->cbegin(), list->cend(), [](const NameEntry &a, const NameEntry &b) {
                return compareNames(a.key, b.key) < 0;
            });
        if (!sorted)
            sortNameList(*list);
    }
    return lists;
}

BrowseNode &FindLetterNode(BrowseNode &root, const QString &letter)
{
    for (BrowseNode &child : root.children) {
        if (child.text == letter)
            return child;
    }
    root.children.push_back(BrowseNode{letter, 0, {}});
    return root.children.last();
}

QString russianRootText()
{
    return QStringLiteral("Русское название");
}

QString latinRootText()
{
    return QStringLiteral("Латинское название");
}

QString cyrillicLetterOf(const QString &key)
{
    for (QChar c : key) {
        if (isCyrillicCapital(c))
            return QString(c);
    }
    return QStringLiteral("*");
}

QString latinLetterOf(const QString &key)
{
    for (QChar c : key) {
        if (isLatinCapital(c))
            return QString(c);
    }
    return QStringLiteral("*");
}

QVector<BrowseNode> buildProductTree(const NameLists &names)
{
    QVector<BrowseNode> tree;
    tree.push_back(lettersRoot(russianRootText(), cyrillicLetters(), names.russian, &cyrillicLetterOf));
    tree.push_back(lettersRoot(latinRootText(), latinLetters(), names.latin, &latinLetterOf));
    return tree;
}

QVector<BrowseNode> buildSectionTree(const ReferenceSnapshot &snapshot,
                                     const std::function<void()> &onGroupLevel)
{
    const QVector<SectionRow> &rows = snapshot.sections.rows;
    // Children of each parent id in ascending id; one pass instead of one scan per group.
    QHash<qint64, QVector<int>> children;
    children.reserve(rows.size());
    for (int i = 0; i < rows.size(); ++i)
        children[rows[i].parentId.value_or(0)].push_back(i);
    for (auto it = children.begin(); it != children.end(); ++it) {
        std::stable_sort(it->begin(), it->end(), [&](int a, int b) { return rows[a].id < rows[b].id; });
    }

    QVector<BrowseNode> tree;
    QSet<qint64> placed;
    placed.reserve(rows.size());

    // Depth-first without recursion, so a deep chain of groups cannot exhaust the stack. Only the
    // deepest open node's children grow, so the pointers to its ancestors stay valid.
    struct Level
    {
        QVector<BrowseNode> *siblings;
        const QVector<int> *rows;
        int next;
    };
    static const QVector<int> none;
    auto childRows = [&](qint64 parent) -> const QVector<int> * {
        auto it = children.constFind(parent);
        return it == children.constEnd() ? &none : &*it;
    };
    if (onGroupLevel)
        onGroupLevel();
    QVector<Level> stack;
    stack.push_back(Level{&tree, childRows(0), 0});
    tree.reserve(stack.last().rows->size());
    while (!stack.isEmpty()) {
        Level &level = stack.last();
        if (level.next >= level.rows->size()) {
            stack.pop_back();
            continue;
        }
        const SectionRow &row = rows[level.rows->at(level.next++)];
        if (placed.contains(row.id))
            continue; // a parent loop (or a group that is its own parent) would come back here
        placed.insert(row.id);
        level.siblings->push_back(BrowseNode{row.name.value_or(QString()), row.id, {}});
        BrowseNode &node = level.siblings->last();
        if (onGroupLevel)
            onGroupLevel();
        // Every other group is placed once, so only a group with id 0 could meet its own list of
        // subgroups again: the top level, which it would otherwise hold inside itself.
        // Below kMaxGroupDepth levels a chain is cut, as a missing parent would cut it.
        const QVector<int> *sub = (row.id == 0 || stack.size() >= kMaxGroupDepth) ? &none : childRows(row.id);
        node.children.reserve(sub->size());
        stack.push_back(Level{&node.children, sub, 0});
    }
    return tree;
}

QVector<BrowseNode> buildVendorList(const ReferenceSnapshot &snapshot)
{
    QVector<BrowseNode> list;
    list.reserve(snapshot.vendors.rows.size());
    for (const NamedRow &row : snapshot.vendors.rows)
        list.push_back(BrowseNode{row.name.value_or(QString()), row.id, {}});
    return list;
}

namespace {

// Visits nodes in tree order until `visit` returns false; the path leads to the current node.
template <typename Visit> void walkTree(const QVector<BrowseNode> &tree, Visit visit)
{
    struct Level
    {
        const QVector<BrowseNode> *nodes;
        int index;
    };
    QVector<Level> stack{{&tree, 0}};
    QVector<int> path;
    while (!stack.isEmpty()) {
        Level &level = stack.last();
        if (level.index >= level.nodes->size()) {
            stack.pop_back();
            if (!path.isEmpty())
                path.pop_back();
            continue;
        }
        const int index = level.index++;
        const BrowseNode &node = level.nodes->at(index);
        path.push_back(index);
        if (!visit(node, path, stack.size() - 1))
            return;
        if (node.children.isEmpty())
            path.pop_back();
        else
            stack.push_back(Level{&node.children, 0});
    }
}

} // namespace

QVector<int> findNodePath(const QVector<BrowseNode> &tree, qint64 id)
{
    QVector<int> found;
    walkTree(tree, [&](const BrowseNode &node, const QVector<int> &path, int) {
        if (node.id != id)
            return true;
        found = path;
        return false;
    });
    return found;
}

QString formatTree(const QVector<BrowseNode> &tree)
{
    QString out;
    walkTree(tree, [&](const BrowseNode &node, const QVector<int> &, int depth) {
        out += QString(depth * 2, QLatin1Char(' '));
        out += node.text;
        out += QLatin1Char('\t');
        out += QString::number(node.id);
        out += QLatin1Char('\n');
        return true;
    });
    return out;
}
