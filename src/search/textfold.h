// Letter folding shared by every forgiving reading: case and "ё" never matter, words are runs
// of letters and digits, and a text typed in the wrong keyboard layout has a counterpart.
#pragma once

#include <QString>
#include <QStringView>
#include <QVector>

namespace textfold {

// Queries longer than this are cut: the search stays bounded whatever is pasted into the box.
constexpr int kMaxQueryChars = 200;
// Words of a query beyond this many are ignored.
constexpr int kMaxQueryWords = 12;

// Lower case, "ё" as "е"; every other character unchanged, one for one.
QString fold(QStringView text);
QChar foldChar(QChar c);

// QChar::isLetterOrNumber, answered without the Unicode tables for Latin and Russian letters:
// the texts are megabytes of them.
inline bool isWordChar(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 0x80)
        return (u >= u'0' && u <= u'9') || ((u | 0x20) >= u'a' && (u | 0x20) <= u'z');
    if ((u >= 0x0410 && u <= 0x044F) || u == 0x0401 || u == 0x0451)
        return true;
    return c.isLetterOrNumber();
}

// Calls `f(start, length)` for each run of letters and digits of a text, in order.
template <typename F> void forEachWord(QStringView text, F &&f)
{
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        while (i < n && !isWordChar(text[i]))
            ++i;
        const qsizetype start = i;
        while (i < n && isWordChar(text[i]))
            ++i;
        if (i > start)
            f(start, i - start);
    }
}

struct Token
{
    int start = 0;  // in the original text
    int length = 0;
    QString folded;
};
// The runs of letters and digits, folded.
QVector<Token> tokenize(QStringView text);
// Just the folded words.
QStringList words(QStringView text);

bool hasCyrillic(QStringView text);
bool hasLatin(QStringView text);

// The text as if typed with the other layout (ЙЦУКЕН <-> QWERTY): Latin keys become the
// Cyrillic letters on them and the other way round. Folded on the way. Characters without a
// key on the other layout stay. Empty when nothing changed.
QString swapLayout(QStringView text);

// The query as searched: control characters as spaces, cut to kMaxQueryChars, trimmed.
QString cleanQuery(QStringView typed);

} // namespace textfold
