#include "search/finder.h"

#include "db/snapshot.h"
#include "db/sqlitedb.h"
#include "text/packedcontent.h"

#include <QSet>
#include <algorithm>

namespace finder {

QString howText(const ProductHit &hit)
{
    switch (hit.how) {
    case How::Name: return QStringLiteral("name");
    case How::NameLatin: return QStringLiteral("name-latin");
    case How::Layout: return QStringLiteral("layout");
    case How::Translit: return QStringLiteral("translit");
    case How::Typo: return QStringLiteral("typo");
    case How::Text: break;
    }
    const QStringList &columns = textindex::fieldColumns();
    return QStringLiteral("text:")
           + (hit.text.field >= 0 && hit.text.field < columns.size() ? columns.at(hit.text.field) : QString());
}

How howOf(const namematch::Match &match)
{
    switch (match.reading) {
    case namematch::Reading::AsTyped: return match.list == 0 ? How::Name : How::NameLatin;
    case namematch::Reading::Layout: return How::Layout;
    case namematch::Reading::Translit: return How::Translit;
    case namematch::Reading::Typo: return How::Typo;
    }
    return How::Name;
}

ProductCatalog buildProductCatalog(const NameList &russian, const NameList &latin)
{
    ProductCatalog catalog;
    int place = 0;
    for (const NameEntry &e : russian) {
        catalog.names.add(e.id, 0, e.key);
        if (!catalog.order.contains(e.id))
            catalog.order.insert(e.id, place++);
    }
    for (const NameEntry &e : latin) {
        catalog.names.add(e.id, 1, e.key);
        if (!catalog.order.contains(e.id))
            catalog.order.insert(e.id, place++);
    }
    return catalog;
}

QString productName(const ReferenceSnapshot &snapshot, qint64 id)
{
    const ItemRow *row = snapshot.items.locate(id);
    if (!row)
        return QString();
    const QString russian = row->name ? trimControl(*row->name) : QString();
    if (!russian.isEmpty())
        return russian;
    return row->nameLat ? trimControl(*row->nameLat) : QString();
}

TextSearch searchTexts(Database &db, const ProductCatalog &catalog, const QString &text, int limit,
                       const QSet<qint64> &exclude, Stemmer &stemmer)
{
    TextSearch result;
    if (limit <= 0 || !textindex::isUsable(db))
        return result;
    const textindex::TermQuery query = textindex::prepareTerms(text, stemmer);
    if (query.isEmpty()) {
        result.searched = true;
        return result;
    }
    QVector<qint64> ids;
    try {
        ids = textindex::matchingProducts(db, query);
    } catch (const DbError &) {
        return result; // a damaged index answers nothing; the worker rebuilds it
    }
    result.searched = true;
    ids.erase(std::remove_if(ids.begin(), ids.end(),
                             [&](qint64 id) { return exclude.contains(id) || !catalog.order.contains(id); }),
              ids.end());
    std::sort(ids.begin(), ids.end(),
              [&](qint64 a, qint64 b) { return catalog.order.value(a) < catalog.order.value(b); });
    if (ids.size() > limit)
        ids.resize(limit);
    textindex::HitDescriber describer(db);
    for (qint64 id : ids) {
        ProductHit hit;
        hit.id = id;
        hit.how = How::Text;
        try {
            hit.text = describer.describe(id, query, stemmer);
        } catch (const DbError &) {
            hit.text.id = id;
        }
        if (hit.text.field < 0)
            continue; // the stored terms and the text disagree; nothing to show
        result.hits.push_back(std::move(hit));
    }
    std::stable_sort(result.hits.begin(), result.hits.end(), [](const ProductHit &a, const ProductHit &b) {
        return a.text.fieldsWithAll > b.text.fieldsWithAll;
    });
    return result;
}

QVector<ProductHit> findProducts(Database &db, const ProductCatalog &catalog, const QString &typed,
                                 bool *textsSearched)
{
    QVector<ProductHit> hits;
    QSet<qint64> seen;
    const namematch::Query query = namematch::prepare(typed);
    for (const namematch::Match &m : namematch::matchAll(catalog.names, query)) {
        if (hits.size() >= kMaxResults)
            break;
        if (seen.contains(m.id))
            continue;
        seen.insert(m.id);
        ProductHit hit;
        hit.id = m.id;
        hit.how = howOf(m);
        hit.reading = m.reading;
        hit.correction = m.correction;
        hits.push_back(hit);
    }
    Stemmer stemmer;
    const TextSearch texts = searchTexts(db, catalog, query.text, kMaxResults - int(hits.size()), seen, stemmer);
    if (textsSearched)
        *textsSearched = texts.searched;
    hits += texts.hits;
    return hits;
}

} // namespace finder
