// The results page of the search box: names, groups and makers, and page texts, with the
// forgiving reading shown when nothing matched the text as typed.
#pragma once

#include "pages/productpage.h"
#include "search/finder.h"

#include <QHash>

struct AnimalFilter;

// What the page searches: the product names of both lists, the groups and the makers. Built
// once per loaded reference; a query costs only comparisons.
struct SearchCatalogs
{
    finder::ProductCatalog products;
    namematch::Catalog groups;
    namematch::Catalog makers;
};
SearchCatalogs buildSearchCatalogs(const PageSources &sources);

// Where a text hit's link leads on the product page: the section and the word to show.
struct SearchTarget
{
    int field = -1;
    QString word;
};

struct SearchPage
{
    ComposedPage page;
    QHash<qint64, SearchTarget> targets; // products listed under their texts
    int found = 0;
    bool textsPending = false; // the index was not complete: names only
};

// "Результаты поиска" for what was typed. Never throws: a failing part is left out.
// With a filter only the products of its species are listed (groups and makers as ever), and
// the page says how many products it found without structured data; the catalogue should then
// hold the names namesKeptOrWithout() leaves, so that those are found and counted.
SearchPage composeSearchPage(const PageSources &sources, const SearchCatalogs &catalogs, const QString &typed,
                             const AnimalFilter *filter = nullptr);
