// Text hits ranked before they are cut: every matching product is weighed from its stored term
// row (which fields hold which terms), so the best of thousands is never lost to the name order.
// Thousands of rows are read per query, so they are scanned as the store hands them over
// (UTF-8 bytes), without making strings of them.
#include "search/indexrow.h"
#include "search/textindex.h"

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

RankedMatch rankUtf8(qint64 id, QByteArrayView terms, QByteArrayView fields, const Utf8Terms &query)
{
    RankedMatch match;
    match.id = id;
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

QByteArrayView columnBytes(sqlite3_stmt *st, int column)
{
    const char *text = reinterpret_cast<const char *>(sqlite3_column_text(st, column));
    return text ? QByteArrayView(text, sqlite3_column_bytes(st, column)) : QByteArrayView();
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
    QStringList parts;
    for (int i = 0; i < query.terms.size(); ++i)
        parts << query.terms.at(i) + (query.prefix.at(i) ? QStringLiteral("*") : QString());
    Statement st = db.prepare(
        QStringLiteral("SELECT docid, terms, fields FROM %1 WHERE %1 MATCH ?1").arg(detail::indexTable()));
    st.bind(1, parts.join(QLatin1Char(' ')));
    const Utf8Terms terms(query);
    while (st.step())
        out.push_back(rankUtf8(st.int64(0), columnBytes(st.handle(), 1), columnBytes(st.handle(), 2), terms));
    return out;
}

} // namespace textindex
