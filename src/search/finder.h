// The product search for scripts and the results page: every forgiving reading of the names,
// then the page texts through the full-text index, each product once under the first reading
// that found it.
#pragma once

#include "db/browselists.h"
#include "search/namematch.h"
#include "search/textindex.h"

#include <QHash>
#include <QString>
#include <QVector>

class Database;
struct ReferenceSnapshot;

namespace finder {

// Results of a search in all, so the page stays quick to compose and to read.
constexpr int kMaxResults = 200;

enum class How { Name, NameLatin, Layout, Translit, Typo, Text };

struct ProductHit
{
    qint64 id = 0;
    How how = How::Name;
    namematch::Reading reading = namematch::Reading::AsTyped; // Text: Typo when a word was corrected
    QString correction;                                       // Typo: what the name says instead
    textindex::TextHit text;                                  // Text: field and fragment
};

// "name", "name-latin", "layout", "translit", "typo", "text:<column>", "typo-text:<column>".
QString howText(const ProductHit &hit);

// The product names of both lists as one catalogue (list 0 Russian, 1 Latin), and the place
// of every product in the name order, which breaks ties between text hits.
struct ProductCatalog
{
    namematch::Catalog names;
    QHash<qint64, int> order;
};
ProductCatalog buildProductCatalog(const NameList &russian, const NameList &latin);

// The stored Russian name of a product, else its Latin one, trimmed.
QString productName(const ReferenceSnapshot &snapshot, qint64 id);

struct TextSearch
{
    bool searched = false;  // the index was complete and answered
    QVector<ProductHit> hits;
    // searchCorrectedTexts: the text as searched, each corrected word as the best hit's text
    // writes it ("амоксициллин" for "амоксицилин"); empty when nothing was corrected.
    QString corrected;
};

// The products whose texts hold every word of `text`, leaving out `exclude`, at most `limit`:
// those holding a typed number with its word side by side ("10 мл") first, then those with
// more fields holding every word, then in name order. Every match is ranked before the cut. An
// index that is not complete, or fails, searches nothing (searched stays false).
TextSearch searchTexts(Database &db, const ProductCatalog &catalog, const QString &text, int limit,
                       const QSet<qint64> &exclude, Stemmer &stemmer);

// searchTexts with each Russian word that no text holds corrected to the indexed word one slip
// away that the most products hold; no hits when no word needed or found a correction. The
// hits' reading is Typo.
TextSearch searchCorrectedTexts(Database &db, const ProductCatalog &catalog, const QString &text, int limit,
                                const QSet<qint64> &exclude, Stemmer &stemmer);

// Every reading at once, as `ramuxctl find` prints it: names by every reading first, then the
// texts as typed, else with a typing slip corrected; at most kMaxResults. `textsSearched`
// tells whether the index took part.
QVector<ProductHit> findProducts(Database &db, const ProductCatalog &catalog, const QString &typed,
                                 bool *textsSearched = nullptr);

How howOf(const namematch::Match &match);

} // namespace finder
