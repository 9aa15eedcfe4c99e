// Text hits ranked before they are cut: every matching product is weighed by which fields hold
// which terms, so the best of thousands is never lost to the name order. The term index answers
// that itself (one column per field), so ranking thousands of matches reads no product's row.
#include "search/indexrow.h"
#include "search/textindex.h"

#include <QHash>
#include <QVarLengthArray>
#include <cstring>
#include <sqlcipher/sqlite3.h>

namespace textindex {

namespace {

// What ranks a product: the fields holding each query term and the fields holding a typed
// number with its word.
RankedMatch rankMasks(qint64 id, const FieldMask *holding, int n, FieldMask pairFields)
{
    RankedMatch match;
    match.id = id;
    match.sideBySide = pairFields != 0;
    // The field shown: one holding a typed number with its word, else the first holding most.
    int bestScore = 0;
    for (int f = 0; f < fieldCount(); ++f) {
        const FieldMask bit = FieldMask(1u << f);
        int count = 0;
        for (int i = 0; i < n; ++i)
            if (holding[i] & bit)
                ++count;
        if (count == n && n > 0)
            ++match.fieldsWithAll;
        const int score = count + ((pairFields & bit) ? n + 1 : 0);
        if (count > 0 && score > bestScore) {
            match.field = f;
            bestScore = score;
        }
    }
    return match;
}

// The query string of terms that must all match, or (`any`) of which one must.
QString matchText(const QStringList &terms, const QVector<bool> &prefix, bool any)
{
    QStringList parts;
    for (int i = 0; i < terms.size(); ++i)
        parts << terms.at(i) + (prefix.at(i) ? QStringLiteral("*") : QString());
    return parts.join(any ? QStringLiteral(" OR ") : QStringLiteral(" "));
}

// Runs a MATCH and calls `f(docid, masks, phrases)` with matchinfo's column bits per phrase
// (nine columns fit one word). A row whose answer is short of the phrases is passed no masks.
template <typename F> void forEachMatch(Database &db, const QString &match, int phrases, F &&f)
{
    Statement st = db.prepare(QStringLiteral("SELECT docid, matchinfo(%1, 'b') FROM %1 WHERE %1 MATCH ?1")
                                  .arg(detail::indexTable()));
    st.bind(1, match);
    QVarLengthArray<FieldMask, 16> masks(phrases);
    while (st.step()) {
        const int bytes = sqlite3_column_bytes(st.handle(), 1);
        const auto *words = static_cast<const quint32 *>(sqlite3_column_blob(st.handle(), 1));
        const bool whole = words && bytes >= phrases * int(sizeof(quint32));
        for (int i = 0; i < phrases; ++i) {
            quint32 word = 0;
            if (whole)
                std::memcpy(&word, words + i, sizeof word);
            masks[i] = FieldMask(word & kAllFields);
        }
        f(st.int64(0), masks.constData());
    }
}

} // namespace

namespace detail {

RankedMatch rankRow(qint64 id, QStringView terms, QStringView fields, const TermQuery &query)
{
    const int n = int(query.terms.size());
    QVarLengthArray<FieldMask, 16> holding(n);
    std::fill(holding.begin(), holding.end(), FieldMask(0));
    FieldMask pairFields = 0;
    forEachStoredTerm(terms, fields, [&](QStringView term, FieldMask mask) {
        for (int i = 0; i < n; ++i)
            if (query.matches(i, term))
                holding[i] |= mask;
        for (int i = 0; i < query.pairs.size(); ++i)
            if (query.matchesPair(i, term))
                pairFields |= mask;
    });
    return rankMasks(id, holding.constData(), n, pairFields);
}

} // namespace detail

QVector<RankedMatch> rankedMatches(Database &db, const TermQuery &query)
{
    QVector<RankedMatch> out;
    if (query.isEmpty())
        return out;
    // Terms hold only letters and digits, in lower case, so nothing in them is query syntax.
    QHash<qint64, FieldMask> pairFields;
    if (!query.pairs.isEmpty()) {
        const int n = int(query.pairs.size());
        forEachMatch(db, matchText(query.pairs, query.pairPrefix, true), n,
                     [&](qint64 id, const FieldMask *masks) {
                         FieldMask any = 0;
                         for (int i = 0; i < n; ++i)
                             any |= masks[i];
                         pairFields.insert(id, any);
                     });
    }
    const int n = int(query.terms.size());
    forEachMatch(db, matchText(query.terms, query.prefix, false), n, [&](qint64 id, const FieldMask *masks) {
        out.push_back(rankMasks(id, masks, n, pairFields.value(id)));
    });
    return out;
}

} // namespace textindex
