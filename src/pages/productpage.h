// The product page, the page skeleton every composed page shares, and the group path.
#pragma once

#include "db/browselists.h"

#include <QString>
#include <optional>

class Database;
struct ReferenceSnapshot;
struct SectionRow;
template <typename Row> struct RowTable;

// What the composers read: the window's connection (long packed fields are read by id), the
// tables in memory and the two name lists.
struct PageSources
{
    Database &db;
    const ReferenceSnapshot &snapshot;
    const NameList &russianNames;
    const NameList &latinNames;
};

// A finished composition: the packed document the view loads, the joined HTML body, and the
// error that stopped the composition part-way (the page is still closed and complete).
struct ComposedPage
{
    QString document;
    QString body;
    std::optional<QString> error;
};

namespace pageskeleton {
QString opening();
QString closing();
} // namespace pageskeleton

// The group's path as "SECT:" links from the top-level group down, joined by the arrow
// separator, followed by `tail`. A missing ancestor (no row, or a NULL name) ends the chain
// there; a parent loop is cut at the first group seen twice.
QString GetSectionPath(const RowTable<SectionRow> &sections, qint64 sectionId, const QString &tail);

// TreeView1Change: the page of the product whose items.id is `itemId`. An id without a row
// gives the empty page (opening, closing). Never throws: an error ends the composition, the
// page is closed, and the error text is returned beside it.
ComposedPage composeProductPage(const PageSources &sources, qint64 itemId);
