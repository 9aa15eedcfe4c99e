#include "search/namematch.h"

#include "search/textfold.h"
#include "search/translit.h"
#include "search/typo.h"

#include <QSet>
#include <algorithm>

namespace namematch {

namespace {

// Where `needle` stands in `hay`: the rank of the best place, or -1 when it is not there.
int substringRank(const QString &hay, const QString &needle)
{
    if (needle.isEmpty())
        return -1;
    qsizetype at = hay.indexOf(needle);
    if (at < 0)
        return -1;
    int best = 2;
    while (at >= 0) {
        if (at == 0)
            return 0;
        if (!hay[at - 1].isLetterOrNumber())
            best = 1;
        at = hay.indexOf(needle, at + 1);
    }
    return best;
}

// One slip per long word: every typed word must be in the name, words of kMinimumWordLength
// letters or more also with one slip; at least one must need the slip.
bool typoMatch(const Entry &entry, const QStringList &typedWords, QString &correction)
{
    bool slipped = false;
    QStringList corrected;
    for (const QString &word : typedWords) {
        if (entry.folded.contains(word)) {
            corrected << word;
            continue;
        }
        if (word.size() < typo::kMinimumWordLength)
            return false;
        const auto found = std::find_if(entry.words.cbegin(), entry.words.cend(),
                                        [&](const QString &w) { return typo::matchesWordStart(word, w); });
        if (found == entry.words.cend())
            return false;
        // The correction is the part of the name word the typed word stands for.
        QString fix = *found;
        for (qsizetype len = word.size() - 1; len <= word.size() + 1; ++len) {
            if (len > 0 && len <= found->size() && typo::withinOneSlip(word, QStringView(*found).left(len))) {
                fix = found->left(len);
                break;
            }
        }
        if (found->size() - fix.size() <= 1)
            fix = *found; // a whole word but for one letter: suggest the whole word
        corrected << fix;
        slipped = true;
    }
    if (slipped)
        correction = corrected.join(QLatin1Char(' '));
    return slipped;
}

} // namespace

void Catalog::add(qint64 id, int list, const QString &name)
{
    Entry e;
    e.id = id;
    e.list = list;
    e.folded = textfold::fold(name.trimmed());
    e.sound = translit::key(name);
    e.words = textfold::words(name);
    m_entries.push_back(std::move(e));
}

bool Query::searchable() const
{
    return folded.size() >= 3;
}

Query prepare(const QString &typed)
{
    Query q;
    q.text = textfold::cleanQuery(typed);
    q.folded = textfold::fold(q.text);
    q.swapped = textfold::swapLayout(q.text);
    q.sound = translit::key(q.text);
    q.words = textfold::words(q.text).mid(0, textfold::kMaxQueryWords);
    return q;
}

QVector<Match> match(const Catalog &catalog, const Query &query, Reading reading)
{
    QVector<Match> out;
    if (!query.searchable())
        return out;
    const QVector<Entry> &entries = catalog.entries();
    for (int i = 0; i < entries.size(); ++i) {
        const Entry &e = entries[i];
        int rank = -1;
        QString correction;
        switch (reading) {
        case Reading::AsTyped:
            rank = substringRank(e.folded, query.folded);
            break;
        case Reading::Layout:
            rank = substringRank(e.folded, query.swapped);
            break;
        case Reading::Translit:
            if (query.sound.size() >= 3)
                rank = substringRank(e.sound, query.sound);
            break;
        case Reading::Typo:
            if (typoMatch(e, query.words, correction))
                rank = 2;
            break;
        }
        if (rank < 0)
            continue;
        out.push_back(Match{e.id, e.list, reading, rank, i, correction});
    }
    // As typed, the Russian names come first: a Latin hit is a reading of its own.
    const bool byList = reading == Reading::AsTyped;
    std::stable_sort(out.begin(), out.end(), [byList](const Match &a, const Match &b) {
        if (byList && a.list != b.list)
            return a.list < b.list;
        return a.rank < b.rank;
    });
    return out;
}

QVector<Reading> forgivingReadings(const Query &query)
{
    if (textfold::hasCyrillic(query.folded))
        return {Reading::Layout, Reading::Typo, Reading::Translit};
    return {Reading::Layout, Reading::Translit, Reading::Typo};
}

QVector<Match> matchAll(const Catalog &catalog, const Query &query)
{
    QVector<Match> out;
    QSet<qint64> seen;
    for (Reading reading : QVector<Reading>{Reading::AsTyped} + forgivingReadings(query)) {
        for (const Match &m : match(catalog, query, reading)) {
            if (seen.contains(m.id))
                continue;
            seen.insert(m.id);
            out.push_back(m);
        }
    }
    return out;
}

} // namespace namematch
