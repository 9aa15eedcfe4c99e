// Forgiving name matching over a set of names (products in both alphabets, groups, makers):
// the text as typed, then its other keyboard layout, its transliteration and one slip per
// long word. Keys are prepared once per set, so a query costs only comparisons.
#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

namespace namematch {

// The readings in the order they are tried; a name found by an earlier one is not reported
// again by a later one.
enum class Reading { AsTyped, Layout, Translit, Typo };

struct Entry
{
    qint64 id = 0;
    int list = 0;        // which list of the set the name came from (0: Russian, 1: Latin)
    QString folded;      // the name folded
    QString sound;       // its transliteration key
    QStringList words;   // its folded words
};

struct Match
{
    qint64 id = 0;
    int list = 0;
    Reading reading = Reading::AsTyped;
    int rank = 0;        // 0: the name begins with the text, 1: a word does, 2: inside a word
    int position = 0;    // the entry's place in its catalogue (the lists' own order)
    QString correction;  // Typo: the name's words that the slipped words stand for, joined
};

class Catalog
{
public:
    // Names are added in their lists' order; that order breaks ties between equal ranks.
    void add(qint64 id, int list, const QString &name);
    int size() const { return int(m_entries.size()); }
    const QVector<Entry> &entries() const { return m_entries; }

private:
    QVector<Entry> m_entries;
};

// The query prepared once for every catalogue it is matched against.
struct Query
{
    QString text;        // the cleaned text as typed
    QString folded;
    QString swapped;     // the other layout, folded; empty when it does not apply
    QString sound;       // transliteration key
    QStringList words;   // folded words
    bool searchable() const;
};
Query prepare(const QString &typed);

// The names one reading finds, each entry at most once, best first (rank, then catalogue order).
QVector<Match> match(const Catalog &catalog, const Query &query, Reading reading);

// The readings after the text as typed, in the order they are tried: a Russian text is read
// with a slip corrected before it is transliterated (a Russian word misspelt is likelier than
// a Latin name spelt in Russian letters); any other text the other way round.
QVector<Reading> forgivingReadings(const Query &query);

// Every reading in order; an id found by an earlier reading is left out of the later ones.
QVector<Match> matchAll(const Catalog &catalog, const Query &query);

} // namespace namematch
