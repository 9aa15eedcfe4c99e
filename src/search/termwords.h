// The words the text index is made of: runs of letters, and numbers apart from the letters
// that touch them ("10мл" is "10" and "мл"), a decimal number one word ("2,5" as "2.5"). A
// number is matched as that number, so a dose of 30 never meets one of 300.
#pragma once

#include "search/textfold.h"

#include <QStringView>

namespace termwords {

enum class Kind { Letters, Number };

inline bool isDigit(QChar c)
{
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

// Calls `f(start, length, kind)` for each word of a text, in order: a run of letters, or a run
// of digits with at most one decimal part (a comma or a full stop between digits).
template <typename F> void forEach(QStringView text, F &&f)
{
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        while (i < n && !textfold::isWordChar(text[i]))
            ++i;
        if (i == n)
            break;
        const qsizetype start = i;
        if (isDigit(text[i])) {
            while (i < n && isDigit(text[i]))
                ++i;
            if (i + 1 < n && (text[i] == u',' || text[i] == u'.') && isDigit(text[i + 1])) {
                for (++i; i < n && isDigit(text[i]);)
                    ++i;
            }
            f(start, i - start, Kind::Number);
        } else {
            while (i < n && textfold::isWordChar(text[i]) && !isDigit(text[i]))
                ++i;
            f(start, i - start, Kind::Letters);
        }
    }
}

// Whether two words stand side by side: nothing but blanks between them ("10 мл", "10мл").
inline bool sideBySide(QStringView text, qsizetype firstEnd, qsizetype secondStart)
{
    for (qsizetype i = firstEnd; i < secondStart; ++i)
        if (!text[i].isSpace())
            return false;
    return true;
}

} // namespace termwords
