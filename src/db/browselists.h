// The three browse lists as plain trees, built from the reference snapshot. The window fills its
// tree widgets from these, and ramuxctl prints them, so both show exactly the same lists.
#pragma once

#include <QString>
#include <QVector>
#include <functional>

struct ReferenceSnapshot;

// One product name in a search list: the key (trimmed, capitalised name) and the items.id.
struct NameEntry
{
    QString key;
    qint64 id = 0;
};
using NameList = QVector<NameEntry>;

// Trims characters 0-32 at both ends and capitalises a-z, а-я and ё only; every other
// character stays as it is.
QString nameKey(const QString &name);

struct NameLists
{
    NameList russian; // keys of items.name
    NameList latin;   // keys of items.name_lat
};

// Rows without an id and names that are NULL or empty after trimming add nothing. Both lists
// come out sorted by compareNames (snapshot.h); entries with equal keys are all kept.
NameLists buildNameLists(const ReferenceSnapshot &snapshot);
// Sorts a list by compareNames, keeping the order of equal keys.
void sortNameList(NameList &list);

struct BrowseNode
{
    QString text;
    qint64 id = 0; // the record id; 0 on the product tree's roots and letters
    QVector<BrowseNode> children;
};

// The root texts of the product tree, in tree order.
QString russianRootText();
QString latinRootText();
// The letter a key is listed under: its first capital А-Я or Ё (Cyrillic) / A-Z (Latin), else "*".
QString cyrillicLetterOf(const QString &key);
QString latinLetterOf(const QString &key);

// The child of `root` whose text equals `letter` exactly; a new last child when there is none.
BrowseNode &FindLetterNode(BrowseNode &root, const QString &letter);

// Two roots ("Русское название", "Латинское название"), under each the letters in alphabet
// order and "*" last, under each letter its products in list order; letters without products
// are left out.
QVector<BrowseNode> buildProductTree(const NameLists &names);

// The group tree: top level = parent_id 0 or NULL, siblings by ascending id, any depth.
// Groups whose parent does not exist are absent with their subgroups; a group is placed at
// most once, which cuts parent loops. Linear in the number of groups.
// `onGroupLevel` runs once for the top level and once per placed group (the loader's status).
QVector<BrowseNode> buildSectionTree(const ReferenceSnapshot &snapshot,
                                     const std::function<void()> &onGroupLevel = {});

// One node per vendors row, in the snapshot's name order, text as stored.
QVector<BrowseNode> buildVendorList(const ReferenceSnapshot &snapshot);

// The first node in tree order (node, its children, then its next sibling) with that id.
// Returns the path of child indexes from the top level, empty when not found.
QVector<int> findNodePath(const QVector<BrowseNode> &tree, qint64 id);

// "  " per level, text, TAB, id; one node a line (ramuxctl tree).
QString formatTree(const QVector<BrowseNode> &tree);
