#include "db/namesearch.h"

#include <QLocale>

QString searchTextOf(const QString &typed)
{
    return QLocale(QLocale::Russian, QLocale::Russia).toUpper(typed);
}

NameList searchNames(const NameList &list, const QString &typed)
{
    const QString text = searchTextOf(typed);
    NameList found;
    if (text.size() < namesearch::kMinimumLength)
        return found;
    for (const NameEntry &entry : list) {
        if (entry.key.contains(text, Qt::CaseSensitive))
            found.push_back(entry);
    }
    return found;
}
