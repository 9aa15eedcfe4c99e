// A product's stored term row: its terms, each once, and which of the nine fields hold each,
// kept compressed in a plain table. The full-text table indexes the same terms one column per
// field, so a query learns from the term index alone which fields hold a word; it reads its
// column texts, when it must (to forget a product's old terms), through a view that unpacks
// this row.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

class Database;
class Statement;

namespace textindex::detail {

// The plain table of packed rows and the view the full-text table reads its columns from.
QString termsTable();
QString fieldsView();

struct StoredRow
{
    QString terms;  // space-separated
    QString fields; // one mask per term: the first field lower-case, the others upper-case
};

QByteArray packRow(const StoredRow &row);
// Nullopt for bytes that do not unpack (a damaged row).
std::optional<StoredRow> unpackRow(const QByteArray &packed);
// The terms of each field (one entry per field), space-separated, in the row's order.
std::vector<QString> allFieldTerms(const StoredRow &row);

// Registers the view's SQL function on the connection; every connection that writes the index
// needs it (reading and matching do not). A damaged row reads as no terms: its old terms stay in
// the term index, so the writer that meets one marks the index for a rebuild.
void registerViewFunction(Database &db);

// The stored row of one product (a prepared `SELECT row FROM termsTable() WHERE docid = ?1`,
// bound and stepped here); nullopt when it is missing or damaged (`damaged` tells which).
std::optional<StoredRow> readRow(Statement &select, qint64 itemId, bool *damaged = nullptr);

} // namespace textindex::detail
