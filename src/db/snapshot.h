// The reference tables as the window reads them: rows in memory, in their browse orderings,
// located by id. Long packed fields stay on disk and are read by id when a page is composed.
#pragma once

#include <QHash>
#include <QString>
#include <QVector>
#include <functional>
#include <optional>

class Database;

struct ItemRow
{
    std::optional<qint64> id;
    std::optional<QString> name;
    std::optional<QString> nameLat;
};

// How deep groups nest before the rest of a chain is left out. Real group trees are a few
// levels deep; the bound keeps a hostile chain of thousands of parents from exhausting the stack
// in the tree widget and from making group paths grow without end.
constexpr int kMaxGroupDepth = 256;

struct SectionRow
{
    qint64 id = 0;
    std::optional<qint64> parentId;
    std::optional<QString> name;
};

// vendors, distributors and dealers
struct NamedRow
{
    qint64 id = 0;
    std::optional<QString> name;
    bool descriptionIsNull = true;
};

struct LinkRow
{
    std::optional<qint64> id;
    std::optional<qint64> itemId;
    std::optional<qint64> targetId;
};

template <typename Row>
struct RowTable
{
    bool open = false;
    QVector<Row> rows;
    QHash<qint64, int> byId; // first row of each id

    const Row *locate(qint64 id) const
    {
        auto it = byId.constFind(id);
        return it == byId.constEnd() ? nullptr : &rows[*it];
    }
};

struct ReferenceSnapshot
{
    RowTable<SectionRow> sections;         // by parent_id, then id
    RowTable<NamedRow> distributors;       // stored order
    RowTable<NamedRow> vendors;            // by name
    RowTable<NamedRow> dealers;            // stored order
    RowTable<ItemRow> items;               // by name
    RowTable<LinkRow> itemsToSections;     // stored order; link tables have no byId
    RowTable<LinkRow> itemsToVendors;
    RowTable<LinkRow> itemsToDealers;
    RowTable<LinkRow> itemsToDistributors;

    void clear() { *this = ReferenceSnapshot(); }
};

// Opens the nine reference tables in their fixed order (sections, distributors, vendors,
// dealers, items, then the four link tables). A table that cannot be read throws; the tables
// before it stay open, the rest stay closed. `beforeTable`, when set, runs before each table.
void loadReferenceTables(Database &db, ReferenceSnapshot &snapshot,
                         const std::function<void(const QString &table)> &beforeTable = {});

// The nine packed text fields of a product page, NULL kept apart from empty.
struct ItemTexts
{
    std::optional<QString> description, form, effect, prescriptions, dose, sideEffects, contraIndication,
        specialConditions, storageInstructions;
};
// Reads a product's packed fields; columns the table lacks read as NULL. No row: all NULL.
ItemTexts readItemTexts(Database &db, qint64 itemId);
// The description of a group, maker, distributor or dealer (table must be one of those four).
std::optional<QString> readDescription(Database &db, const QString &table, qint64 id);

// Locale-aware, case-insensitive ordering used by every sorted list of names.
int compareNames(const QString &a, const QString &b);
