// The name search over a sorted name list: substring match of the typed text in capitals.
#pragma once

#include "db/browselists.h"

namespace namesearch {
// Texts this long or shorter search nothing.
constexpr int kMinimumLength = 3;
// The drop-down opens by itself only for this many results or fewer.
constexpr int kDropDownRows = 8;
} // namespace namesearch

// The search text for what is in the box: the locale's upper-case form, not trimmed.
QString searchTextOf(const QString &typed);
// Every entry whose key contains the search text of `typed`, in the list's order;
// nothing when that text has fewer than kMinimumLength characters.
NameList searchNames(const NameList &list, const QString &typed);
// Whether a result of that size opens the drop-down.
inline bool opensDropDown(int resultCount)
{
    return resultCount <= namesearch::kDropDownRows;
}
