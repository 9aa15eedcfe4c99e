// Text hits ranked before they are cut: every matching product is weighed from its stored term
// row (which fields hold which terms), so the best of thousands is never lost to the name order.
#include "search/indexrow.h"
#include "search/textindex.h"

#include <QVarLengthArray>

namespace textindex {

namespace detail {

RankedMatch rankRow(qint64 id, QStringView terms, QStringView fields, const TermQuery &query)
{
    RankedMatch match;
    match.id = id;
    const int n = int(query.terms.size());
    QVarLengthArray<FieldMask, 16> holding(n);
    std::fill(holding.begin(), holding.end(), FieldMask(0));
    FieldMask pairFields = 0;
    const bool pairs = !query.pairs.isEmpty();
    forEachStoredTerm(terms, fields, [&](QStringView term, FieldMask mask) {
        for (int i = 0; i < n; ++i)
            if (query.matches(i, term))
                holding[i] |= mask;
        if (pairs && stemming::isNumberTerm(term)) {
            for (int i = 0; i < query.pairs.size(); ++i)
                if (query.matchesPair(i, term))
                    pairFields |= mask;
        }
    });
    match.sideBySide = pairFields != 0;
    // The field shown: one holding a typed number with its word, else the first holding most.
    int bestScore = 0;
    for (int f = 0; f < fieldCount(); ++f) {
        const FieldMask bit = FieldMask(1u << f);
        int count = 0;
        for (FieldMask mask : holding)
            if (mask & bit)
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

} // namespace detail

QVector<RankedMatch> rankedMatches(Database &db, const TermQuery &query)
{
    QVector<RankedMatch> out;
    if (query.isEmpty())
        return out;
    // Terms hold only letters and digits, in lower case, so nothing in them is query syntax.
    QStringList parts;
    for (int i = 0; i < query.terms.size(); ++i)
        parts << query.terms.at(i) + (query.prefix.at(i) ? QStringLiteral("*") : QString());
    Statement st = db.prepare(
        QStringLiteral("SELECT docid, terms, fields FROM %1 WHERE %1 MATCH ?1").arg(detail::indexTable()));
    st.bind(1, parts.join(QLatin1Char(' ')));
    while (st.step())
        out.push_back(detail::rankRow(st.int64(0), st.text(1), st.text(2), query));
    return out;
}

} // namespace textindex
