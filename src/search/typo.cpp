#include "search/typo.h"

namespace typo {

bool withinOneSlip(QStringView a, QStringView b)
{
    const qsizetype la = a.size(), lb = b.size();
    if (la - lb > 1 || lb - la > 1)
        return false;
    qsizetype i = 0;
    while (i < la && i < lb && a[i] == b[i])
        ++i;
    if (i == la || i == lb)
        return true; // equal, or one extra letter at the end
    if (la == lb) {
        // A wrong letter, or two neighbours swapped.
        if (a.mid(i + 1) == b.mid(i + 1))
            return true;
        return i + 1 < la && a[i] == b[i + 1] && a[i + 1] == b[i] && a.mid(i + 2) == b.mid(i + 2);
    }
    return la > lb ? a.mid(i + 1) == b.mid(i) : a.mid(i) == b.mid(i + 1);
}

bool matchesWordStart(QStringView typed, QStringView word)
{
    const qsizetype n = typed.size();
    for (qsizetype len = n - 1; len <= n + 1; ++len) {
        if (len <= 0 || len > word.size())
            continue;
        if (withinOneSlip(typed, word.left(len)))
            return true;
    }
    return false;
}

} // namespace typo
