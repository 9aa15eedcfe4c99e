// What building the text index and searching it share: the table's name, a stored row read
// back term by term, and the items column a field comes from.
#pragma once

#include "db/sqlitedb.h"
#include "search/textindex.h"

#include <QString>
#include <QStringView>

namespace textindex::detail {

inline QString indexTable()
{
    return QStringLiteral("search_text");
}

// The column of items a field comes from, as the table spells it; NULL when it has none.
inline QString itemColumnSql(Database &db, const QString &field)
{
    const std::optional<QString> real = db.findColumn(QStringLiteral("items"), field);
    return real ? quoteIdentifier(*real) : QStringLiteral("NULL");
}

// Calls `f(term, mask)` for every term of a stored row. False when the two columns disagree
// (a damaged row): what was read before the fault has been passed on.
template <typename F> bool forEachStoredTerm(QStringView terms, QStringView fields, F &&f)
{
    qsizetype at = 0, fieldAt = 0;
    const qsizetype n = terms.size();
    while (at < n) {
        qsizetype end = terms.indexOf(u' ', at);
        if (end < 0)
            end = n;
        if (end > at) {
            if (fieldAt >= fields.size())
                return false;
            const char16_t lead = fields[fieldAt].unicode();
            if (lead < u'a' || lead > u'i')
                return false;
            FieldMask mask = FieldMask(1u << (lead - u'a'));
            for (++fieldAt; fieldAt < fields.size(); ++fieldAt) {
                const char16_t c = fields[fieldAt].unicode();
                if (c < u'A' || c > u'I')
                    break;
                mask |= FieldMask(1u << (c - u'A'));
            }
            f(terms.mid(at, end - at), mask);
        }
        at = end + 1;
    }
    return fieldAt == fields.size();
}

// What ranks a product, from its stored row: the fields holding each term and each pair.
RankedMatch rankRow(qint64 id, QStringView terms, QStringView fields, const TermQuery &query);

} // namespace textindex::detail
