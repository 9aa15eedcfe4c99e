#include "search/finder.h"

#include "db/snapshot.h"
#include "db/sqlitedb.h"
#include "search/termwords.h"
#include "search/textfold.h"
#include "search/typo.h"
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
    return QString::fromLatin1(hit.reading == namematch::Reading::Typo ? "typo-text:" : "text:") +
           (hit.text.field >= 0 && hit.text.field < columns.size() ? columns.at(hit.text.field) : QString());
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

namespace {

// The ranked matches of a prepared query, cut to `limit`, their fragments decoded.
TextSearch runTextSearch(Database &db, const ProductCatalog &catalog, const textindex::TermQuery &query,
                         int limit, const QSet<qint64> &exclude, Stemmer &stemmer, namematch::Reading reading)
{
    TextSearch result;
    QVector<textindex::RankedMatch> ranked;
    try {
        ranked = textindex::rankedMatches(db, query);
    } catch (const DbError &) {
        return result; // a damaged index answers nothing; the worker rebuilds it
    }
    result.searched = true;
    ranked.erase(std::remove_if(ranked.begin(), ranked.end(),
                                [&](const textindex::RankedMatch &m) {
                                    return m.field < 0 || exclude.contains(m.id) ||
                                           !catalog.order.contains(m.id);
                                }),
                 ranked.end());
    const auto better = [&](const textindex::RankedMatch &a, const textindex::RankedMatch &b) {
        if (a.sideBySide != b.sideBySide)
            return a.sideBySide;
        if (a.fieldsWithAll != b.fieldsWithAll)
            return a.fieldsWithAll > b.fieldsWithAll;
        return catalog.order.value(a.id) < catalog.order.value(b.id);
    };
    if (ranked.size() > limit) {
        std::partial_sort(ranked.begin(), ranked.begin() + limit, ranked.end(), better);
        ranked.resize(limit);
    } else {
        std::sort(ranked.begin(), ranked.end(), better);
    }
    textindex::HitDescriber describer(db);
    for (const textindex::RankedMatch &match : ranked) {
        ProductHit hit;
        hit.id = match.id;
        hit.how = How::Text;
        hit.reading = reading;
        try {
            hit.text = describer.describe(match, query, stemmer);
        } catch (const DbError &) {
            hit.text.id = match.id;
            hit.text.field = match.field;
        }
        result.hits.push_back(std::move(hit));
    }
    return result;
}

// A corrected word as the text writes it: of the best hit's words for the term, the one
// nearest the typed word, in small letters.
QString writtenForm(const textindex::TextHit &hit, int term, const QString &typed)
{
    const QStringList forms = hit.forms.value(term);
    if (forms.isEmpty())
        return QString();
    for (const QString &form : forms)
        if (typo::withinOneSlip(typed, textfold::fold(form)))
            return form.toLower();
    return forms.first().toLower();
}

// The text as searched: each corrected word replaced by its written form.
QString correctedText(const QString &text, const textindex::TermQuery &query, const textindex::TextHit &best)
{
    const QString cleaned = textfold::cleanQuery(text);
    QString out;
    qsizetype at = 0;
    termwords::forEach(cleaned, [&](qsizetype start, qsizetype length, termwords::Kind) {
        const QString folded = textfold::fold(QStringView(cleaned).mid(start, length));
        const qsizetype term = query.words.indexOf(folded);
        if (term < 0 || !query.corrected.at(term))
            return;
        const QString form = writtenForm(best, int(term), folded);
        if (form.isEmpty())
            return;
        out += cleaned.mid(at, start - at) + form;
        at = start + length;
    });
    return out + cleaned.mid(at);
}

} // namespace

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
    return runTextSearch(db, catalog, query, limit, exclude, stemmer, namematch::Reading::AsTyped);
}

TextSearch searchCorrectedTexts(Database &db, const ProductCatalog &catalog, const QString &text, int limit,
                                const QSet<qint64> &exclude, Stemmer &stemmer)
{
    TextSearch result;
    if (limit <= 0 || !textindex::isUsable(db))
        return result;
    const textindex::TermQuery typed = textindex::prepareTerms(text, stemmer);
    std::optional<textindex::TermQuery> query;
    try {
        if (!typed.isEmpty())
            query = textindex::correctTerms(db, typed);
    } catch (const DbError &) {
        return result;
    }
    result.searched = true;
    if (!query)
        return result;
    result = runTextSearch(db, catalog, *query, limit, exclude, stemmer, namematch::Reading::Typo);
    if (!result.hits.isEmpty())
        result.corrected = correctedText(text, *query, result.hits.first().text);
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
    if (texts.searched && texts.hits.isEmpty())
        hits +=
            searchCorrectedTexts(db, catalog, query.text, kMaxResults - int(hits.size()), seen, stemmer).hits;
    return hits;
}

} // namespace finder
