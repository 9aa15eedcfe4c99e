// Text hits ranked before they are cut: every matching product is weighed by which fields hold
// which terms, so the best of thousands is never lost to the name order. The term index answers
// that itself (one column per field), so ranking thousands of matches reads no product's row.
#include "search/indexrow.h"
#include "search/textindex.h"

#include <QHash>

#include <QByteArrayView>
#include <QVarLengthArray>
#include <cstring>
#include <sqlcipher/sqlite3.h>

namespace textindex {

namespace {

struct Utf8Terms
{
    QVector<QByteArray> terms, pairs;
    QVector<bool> prefix, pairPrefix;
    explicit Utf8Terms(const TermQuery &query) : prefix(query.prefix), pairPrefix(query.pairPrefix)
    {
        for (const QString &term : query.terms)
            terms << term.toUtf8();
        for (const QString &pair : query.pairs)
            pairs << pair.toUtf8();
    }
};

bool matches(QByteArrayView stored, const QByteArray &term, bool prefix)
{
    if (prefix ? stored.size() < term.size() : stored.size() != term.size())
        return false;
    return std::memcmp(stored.data(), term.constData(), size_t(term.size())) == 0;
}

// Calls `f(term, mask)` for every term of a stored row (see detail::forEachStoredTerm); stops
// at a damaged row.
template <typename F> void forEachStoredTermUtf8(QByteArrayView terms, QByteArrayView fields, F &&f)
{
    qsizetype at = 0, fieldAt = 0;
    const qsizetype n = terms.size();
    while (at < n) {
        const void *space = std::memchr(terms.data() + at, ' ', size_t(n - at));
        const qsizetype end = space ? static_cast<const char *>(space) - terms.data() : n;
        if (end > at) {
            if (fieldAt >= fields.size())
                return;
            const char lead = fields[fieldAt];
            if (lead < 'a' || lead > 'i')
                return;
            FieldMask mask = FieldMask(1u << (lead - 'a'));
            for (++fieldAt; fieldAt < fields.size(); ++fieldAt) {
                const char c = fields[fieldAt];
                if (c < 'A' || c > 'I')
                    break;
                mask |= FieldMask(1u << (c - 'A'));
            }
            f(terms.sliced(at, end - at), mask);
        }
        at = end + 1;
    }
}

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

RankedMatch rankUtf8(qint64 id, QByteArrayView terms, QByteArrayView fields, const Utf8Terms &query)
{
    const int n = int(query.terms.size());
    QVarLengthArray<FieldMask, 16> holding(n);
    std::fill(holding.begin(), holding.end(), FieldMask(0));
    FieldMask pairFields = 0;
    const bool pairs = !query.pairs.isEmpty();
    forEachStoredTermUtf8(terms, fields, [&](QByteArrayView term, FieldMask mask) {
        for (int i = 0; i < n; ++i)
            if (matches(term, query.terms.at(i), query.prefix.at(i)))
                holding[i] |= mask;
        if (pairs && term.front() == '8') {
            for (int i = 0; i < query.pairs.size(); ++i)
                if (matches(term, query.pairs.at(i), query.pairPrefix.at(i)))
                    pairFields |= mask;
        }
    });
    return rankMasks(id, holding.constData(), n, pairFields);
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
    return rankUtf8(id, terms.toUtf8(), fields.toUtf8(), Utf8Terms(query));
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
