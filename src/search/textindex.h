// The full-text index of the product page texts: an FTS4 table of normalised terms (folded,
// Russian words stemmed) per product and text field, kept beside the reference tables in
// tables the synchronisation never writes from the server's answers.
#pragma once

#include "search/indexstate.h"
#include "search/stemming.h"

#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class Database;
class Statement;

namespace textindex {

// Products indexed per transaction while building, so other writers never wait long.
constexpr int kBatchSize = 200;
// Raised whenever the terms would come out differently (folding, stemming, fields).
constexpr int kFormatVersion = 6; // 6: comments, scripts and styles never count as text

// A set of the nine text fields, bit i for fieldColumns()[i].
using FieldMask = quint16;
constexpr FieldMask kAllFields = 0x1FF;

// The nine text fields of items, lower-case, in page order.
const QStringList &fieldColumns();
int fieldCount();
// The heading of a field's section on the product page ("Показания:"); "Описание" for the
// introduction, which has none.
QString fieldHeading(int field);

// Writes a product's index row from its current items row; removes it when the row is gone.
// Works inside the caller's transaction; statements are prepared once.
class Writer final
{
public:
    explicit Writer(Database &db);
    ~Writer();
    Writer(const Writer &) = delete;
    Writer &operator=(const Writer &) = delete;

    // True when an index of this format exists (a sync keeps only an existing index current).
    bool active() const { return m_active; }
    // Reads the state again: an index may have been built or dropped by another writer since
    // the last look. A sync page asks inside its own transaction, before its rows.
    bool refresh();
    // The text fields that writing `values` (items columns as the table spells them, with their
    // new values) would change; asked before the row is written. A product not yet in items
    // changes them all.
    FieldMask changedFields(qint64 itemId, const std::vector<std::pair<QString, QString>> &values);
    // Re-reads the product and rewrites its row. Fields outside `changed` keep the terms the
    // index holds for them, so an edit of one text decodes that text alone; an empty set
    // leaves the row as it is.
    void reindex(qint64 itemId, FieldMask changed = kAllFields);
    void remove(qint64 itemId);

private:
    Statement &readItem(qint64 itemId);
    Statement &storedRow();
    Database &m_db;
    bool m_active = false;
    Stemmer m_stemmer;
    std::unique_ptr<Statement> m_delete, m_deleteStored, m_insert, m_insertStored, m_read, m_stored;
};

// Builds the index, or goes on with an unfinished build, batch by batch. `progress` gets
// (products done, products in all) before each batch; `stop` is asked between batches. Each
// batch records the items position its rows are current with; products changed between
// batches by a writer that did not keep the index current make it start over.
// Returns the number of products indexed by this call; throws DbError on store errors
// (what was committed stays and the next call goes on from there).
int build(Database &db, const std::function<void(int done, int total)> &progress = {},
          const std::function<bool()> &stop = {});
// Drops the index and builds it anew.
int rebuild(Database &db, const std::function<void(int done, int total)> &progress = {});

// A query's terms: each typed word normalised like the index; prefix terms match longer ones.
struct TermQuery
{
    QStringList terms;
    QVector<bool> prefix;
    QStringList words;       // the folded word each term was made from
    QVector<bool> corrected; // the term replaces a typed word no text holds
    // A number typed with a word right after it ("10 мл"): the hits holding the two side by
    // side rank first. Not required of a hit.
    QStringList pairs;
    QVector<bool> pairPrefix;
    bool isEmpty() const { return terms.isEmpty(); }
    // Whether a stored term satisfies query term `i`.
    bool matches(int i, QStringView stored) const;
    bool matchesPair(int i, QStringView stored) const;
};
TermQuery prepareTerms(const QString &text, Stemmer &stemmer);

// Products whose texts hold every term, in id order. Throws DbError when the table fails.
QVector<qint64> matchingProducts(Database &db, const TermQuery &query);

struct TextHit
{
    qint64 id = 0;
    int field = -1;          // index into fieldColumns()
    QString fragment;        // plain text around the first match, at most kFragmentChars
    QVector<std::pair<int, int>> marks; // matched words in the fragment: start, length
    QString firstWord;                  // the first matched word as the text writes it ("10 мл" for a pair)
    QVector<QStringList> forms;         // per query term, the field's words it matched, as written
    int fieldsWithAll = 0;              // how many fields hold every term (the better hit holds more)
    bool sideBySide = false;            // a typed number and its word stand side by side in the texts
};
constexpr int kFragmentChars = 160;

// A product that matched, with what ranks it, read from its stored terms alone.
struct RankedMatch
{
    qint64 id = 0;
    bool sideBySide = false; // holds a typed number with its word right after it
    int fieldsWithAll = 0;   // fields holding every term
    int field = -1;          // the field to show: one with the pair, else the first holding most
};

// Every product whose texts hold every term, ranked from the stored term rows (nothing is
// decoded), in id order. Throws DbError when the table fails.
QVector<RankedMatch> rankedMatches(Database &db, const TermQuery &query);

// The field and fragment of a product that matched: the first field holding every term (else
// the one holding most), its packed text decoded and the fragment cut around the first match.
TextHit describeHit(Database &db, qint64 itemId, const TermQuery &query, Stemmer &stemmer);

// describeHit for many products: the statements are prepared once.
class HitDescriber final
{
public:
    explicit HitDescriber(Database &db);
    ~HitDescriber();
    HitDescriber(const HitDescriber &) = delete;
    HitDescriber &operator=(const HitDescriber &) = delete;
    TextHit describe(qint64 itemId, const TermQuery &query, Stemmer &stemmer);
    // The fragment of a ranked match: only its field is decoded.
    TextHit describe(const RankedMatch &match, const TermQuery &query, Stemmer &stemmer);

private:
    Database &m_db;
    std::unique_ptr<Statement> m_terms;
    std::unique_ptr<Statement> m_fields[9];
};

// The fragment around the first matched word of a plain text (around a typed number with its
// word, when the text has the two side by side); nullopt when no word matches.
std::optional<TextHit> cutFragment(const QString &plain, const TermQuery &query, Stemmer &stemmer);

// The query with each Russian word that no product's texts hold replaced by the indexed stem
// one slip away that the most products hold; nullopt when no word needed or found one.
// Throws DbError when the table fails.
std::optional<TermQuery> correctTerms(Database &db, const TermQuery &query);

} // namespace textindex
