#include "pages/searchpage.h"

#include "answers/animalfilter.h"
#include "db/snapshot.h"
#include "pages/htmljoiner.h"
#include "search/textfold.h"
#include "search/translit.h"
#include "text/packedcontent.h"

#include <QLocale>
#include <QSet>
#include <algorithm>

namespace {

using namematch::Reading;

QString escaped(const QString &text)
{
    return text.toHtmlEscaped();
}

QString upper(const QString &text)
{
    return QLocale(QLocale::Russian, QLocale::Russia).toUpper(text);
}

struct Found
{
    QVector<finder::ProductHit> names;
    QVector<namematch::Match> groups;
    QVector<namematch::Match> makers;
    QVector<finder::ProductHit> texts;
    QString correctedText; // Typo: the text as its texts were searched
    int count() const { return int(names.size() + groups.size() + makers.size() + texts.size()); }
};

// What one reading finds, at most finder::kMaxResults in all, names first.
Found findBy(const PageSources &sources, const SearchCatalogs &catalogs, const namematch::Query &query,
             Reading reading, const QString &textQuery, bool searchTexts, Stemmer &stemmer)
{
    Found found;
    int room = finder::kMaxResults;
    QSet<qint64> seen;
    for (const namematch::Match &m : namematch::match(catalogs.products.names, query, reading)) {
        if (room == 0)
            break;
        if (seen.contains(m.id))
            continue;
        seen.insert(m.id);
        finder::ProductHit hit;
        hit.id = m.id;
        hit.how = finder::howOf(m);
        hit.reading = reading;
        hit.correction = m.correction;
        found.names.push_back(hit);
        --room;
    }
    for (const auto &[catalog, out] :
         {std::pair{&catalogs.groups, &found.groups}, std::pair{&catalogs.makers, &found.makers}}) {
        for (const namematch::Match &m : namematch::match(*catalog, query, reading)) {
            if (room == 0)
                break;
            out->push_back(m);
            --room;
        }
    }
    if (searchTexts && room > 0 && reading == Reading::Typo) {
        finder::TextSearch texts =
            finder::searchCorrectedTexts(sources.db, catalogs.products, query.text, room, seen, stemmer);
        found.texts = std::move(texts.hits);
        found.correctedText = std::move(texts.corrected);
    } else if (searchTexts && room > 0 && !textQuery.isEmpty()) {
        found.texts = finder::searchTexts(sources.db, catalogs.products, textQuery, room, seen, stemmer).hits;
    }
    return found;
}

// Leaves out the products the filter does not keep; returns how many distinct ones of those
// have no structured data.
int narrow(Found &found, const AnimalFilter &filter)
{
    QSet<qint64> without;
    for (QVector<finder::ProductHit> *hits : {&found.names, &found.texts}) {
        hits->erase(std::remove_if(hits->begin(), hits->end(),
                                   [&](const finder::ProductHit &hit) {
                                       if (filter.keeps(hit.id))
                                           return false;
                                       if (filter.lacksAnswers(hit.id))
                                           without.insert(hit.id);
                                       return true;
                                   }),
                    hits->end());
    }
    return int(without.size());
}

QString readingNotice(const namematch::Query &query, Reading reading, const Found &found)
{
    switch (reading) {
    case Reading::AsTyped:
        return QString();
    case Reading::Layout:
        return QStringLiteral("Показаны результаты для «%1» (набрано в %2 раскладке)")
            .arg(escaped(upper(query.swapped)),
                 textfold::hasLatin(query.text) ? QStringLiteral("английской") : QStringLiteral("русской"));
    case Reading::Translit:
        return QStringLiteral("Показаны результаты для «%1» (транслитерация)")
            .arg(escaped(upper(translit::otherAlphabet(query.text))));
    case Reading::Typo: {
        // As the texts write the word, when they were searched with it; else as the names do.
        QString correction = found.correctedText;
        for (const finder::ProductHit &hit : found.names) {
            if (correction.isEmpty() && !hit.correction.isEmpty())
                correction = hit.correction;
        }
        return QStringLiteral("Показаны результаты для «%1» (исправлена опечатка)").arg(escaped(correction));
    }
    }
    return QString();
}

QString itemLink(const PageSources &sources, qint64 id)
{
    return QStringLiteral("<A HREF=\"ITEM:%1\">%2</A>")
        .arg(id)
        .arg(escaped(finder::productName(sources.snapshot, id)));
}

QString markedFragment(const textindex::TextHit &hit)
{
    QString html;
    int at = 0;
    for (const auto &[start, length] : hit.marks) {
        if (start < at)
            continue;
        html += escaped(hit.fragment.mid(at, start - at)) + QStringLiteral("<B>") +
                escaped(hit.fragment.mid(start, length)) + QStringLiteral("</B>");
        at = start + length;
    }
    return html + escaped(hit.fragment.mid(at));
}

void appendSections(THTMLJoiner &joiner, const PageSources &sources, const Found &found, SearchPage &page)
{
    if (!found.names.isEmpty()) {
        joiner.AddHTML(QStringLiteral("<BR><B>В названиях</B><UL>"));
        for (const finder::ProductHit &hit : found.names) {
            QString line = itemLink(sources, hit.id);
            const ItemRow *row = sources.snapshot.items.locate(hit.id);
            if (row && row->name && row->nameLat && !trimControl(*row->name).isEmpty() &&
                !trimControl(*row->nameLat).isEmpty())
                line += QStringLiteral(" <I>(%1)</I>").arg(escaped(trimControl(*row->nameLat)));
            joiner.AddHTML(QStringLiteral("<LI>") + line + QStringLiteral("</LI>"));
        }
        joiner.AddHTML(QStringLiteral("</UL>"));
    }
    if (!found.groups.isEmpty() || !found.makers.isEmpty()) {
        joiner.AddHTML(QStringLiteral("<BR><B>В группах и у производителей</B><UL>"));
        for (const namematch::Match &m : found.groups) {
            const SectionRow *row = sources.snapshot.sections.locate(m.id);
            joiner.AddHTML(QStringLiteral("<LI>Группа: <A HREF=\"SECT:%1\">%2</A></LI>")
                               .arg(m.id)
                               .arg(escaped(row && row->name ? trimControl(*row->name) : QString())));
        }
        for (const namematch::Match &m : found.makers) {
            const NamedRow *row = sources.snapshot.vendors.locate(m.id);
            joiner.AddHTML(QStringLiteral("<LI>Производитель: <A HREF=\"VEND:%1\">%2</A></LI>")
                               .arg(m.id)
                               .arg(escaped(row && row->name ? trimControl(*row->name) : QString())));
        }
        joiner.AddHTML(QStringLiteral("</UL>"));
    }
    if (!found.texts.isEmpty()) {
        joiner.AddHTML(QStringLiteral("<BR><B>В описаниях</B><UL>"));
        for (const finder::ProductHit &hit : found.texts) {
            joiner.AddHTML(QStringLiteral("<LI>%1<BR><I>%2</I> %3</LI>")
                               .arg(itemLink(sources, hit.id),
                                    escaped(textindex::fieldHeading(hit.text.field)),
                                    markedFragment(hit.text)));
            page.targets.insert(hit.id, SearchTarget{hit.text.field, hit.text.firstWord});
        }
        joiner.AddHTML(QStringLiteral("</UL>"));
    }
}

} // namespace

SearchCatalogs buildSearchCatalogs(const PageSources &sources)
{
    SearchCatalogs catalogs;
    catalogs.products = finder::buildProductCatalog(sources.russianNames, sources.latinNames);
    for (const SectionRow &row : sources.snapshot.sections.rows)
        if (row.name && !trimControl(*row.name).isEmpty())
            catalogs.groups.add(row.id, 0, *row.name);
    for (const NamedRow &row : sources.snapshot.vendors.rows)
        if (row.name && !trimControl(*row.name).isEmpty())
            catalogs.makers.add(row.id, 0, *row.name);
    return catalogs;
}

SearchPage composeSearchPage(const PageSources &sources, const SearchCatalogs &catalogs, const QString &typed,
                             const AnimalFilter *filter)
{
    SearchPage page;
    THTMLJoiner joiner;
    joiner.AddHTML(pageskeleton::opening());
    const namematch::Query query = namematch::prepare(typed);
    joiner.AddHTML(QStringLiteral("<H3>Результаты поиска</H3>"));
    joiner.AddHTML(QStringLiteral("<P>Запрос: «%1»</P>").arg(escaped(query.text)));
    try {
        bool textsReady = false;
        try {
            textsReady = textindex::isUsable(sources.db);
        } catch (const std::exception &) {
        }
        page.textsPending = !textsReady;
        Stemmer stemmer;
        Found found;
        Reading shown = Reading::AsTyped;
        if (query.searchable()) {
            found = findBy(sources, catalogs, query, Reading::AsTyped, query.text, textsReady, stemmer);
            // Forgiving readings only when the text as typed finds nothing, first one that finds.
            for (Reading reading : namematch::forgivingReadings(query)) {
                if (found.count() > 0)
                    break;
                if (reading == Reading::Layout && query.swapped.isEmpty())
                    continue;
                found = findBy(sources, catalogs, query, reading,
                               reading == Reading::Layout ? query.swapped : QString(), textsReady, stemmer);
                shown = reading;
            }
        }
        const int without = filter ? narrow(found, *filter) : 0;
        page.found = found.count();
        joiner.AddHTML(page.found > 0 ? QStringLiteral("<P><B>Найдено: %1</B></P>").arg(page.found)
                                      : QStringLiteral("<P><B>Ничего не найдено</B></P>"));
        if (page.found > 0 && shown != Reading::AsTyped)
            joiner.AddHTML(QStringLiteral("<P>%1</P>").arg(readingNotice(query, shown, found)));
        if (page.textsPending && query.searchable())
            joiner.AddHTML(QStringLiteral(
                "<P><I>Описания ещё индексируются — показаны результаты по названиям.</I></P>"));
        if (filter) // after the reading, which tells how the found ones were found
            joiner.AddHTML(QStringLiteral("<P><I>%1</I></P>")
                               .arg(narrowedNotice(escaped(filter->species.name), without)));
        appendSections(joiner, sources, found, page);
    } catch (const std::exception &e) {
        // What was composed stays; the page is closed all the same.
        page.page.error = QString::fromUtf8(e.what());
    }
    joiner.AddHTML(pageskeleton::closing());
    page.page.document = joiner.GetDocument();
    page.page.body = joiner.body();
    return page;
}
