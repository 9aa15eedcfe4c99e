#include "search/textfold.h"

#include <QHash>

namespace textfold {

namespace {

// The main keys of both layouts, in the same order.
const char16_t kLatinKeys[] = u"`qwertyuiop[]asdfghjkl;'zxcvbnm,./";
const char16_t kCyrillicKeys[] = u"ёйцукенгшщзхъфывапролджэячсмитьбю.";

struct LayoutTables
{
    QHash<char16_t, char16_t> toCyrillic;
    QHash<char16_t, char16_t> toLatin;
    LayoutTables()
    {
        constexpr int n = int(sizeof(kLatinKeys) / sizeof(char16_t)) - 1;
        for (int i = 0; i < n; ++i) {
            toCyrillic.insert(kLatinKeys[i], kCyrillicKeys[i]);
            toLatin.insert(kCyrillicKeys[i], kLatinKeys[i]);
        }
        // Shifted punctuation keys carry the same letters as their plain ones.
        toCyrillic.insert(u'~', u'ё');
        toCyrillic.insert(u'{', u'х');
        toCyrillic.insert(u'}', u'ъ');
        toCyrillic.insert(u':', u'ж');
        toCyrillic.insert(u'"', u'э');
        toCyrillic.insert(u'<', u'б');
        toCyrillic.insert(u'>', u'ю');
        toLatin.remove(u'.'); // the full stop sits on the same key in both
        toCyrillic.remove(u'.');
        toCyrillic.remove(u'/'); // "/" is "." there, which is no letter; keep it
    }
};

const LayoutTables &layouts()
{
    static const LayoutTables tables;
    return tables;
}

bool isCyrillic(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 0x0410 && u <= 0x044F) || u == 0x0401 || u == 0x0451;
}

bool isLatin(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z');
}

} // namespace

QChar foldChar(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 128)
        return (u >= 'A' && u <= 'Z') ? QChar(char16_t(u + 32)) : c;
    if (u == 0x0401 || u == 0x0451)
        return QChar(char16_t(0x0435));
    if (u >= 0x0410 && u <= 0x042F)
        return QChar(char16_t(u + 0x20));
    if (u >= 0x0430 && u <= 0x044F)
        return c;
    return c.toLower();
}

QString fold(QStringView text)
{
    QString out(text.size(), Qt::Uninitialized);
    QChar *o = out.data();
    for (QChar c : text)
        *o++ = foldChar(c);
    return out;
}

QVector<Token> tokenize(QStringView text)
{
    QVector<Token> tokens;
    forEachWord(text, [&](qsizetype start, qsizetype length) {
        tokens.push_back(Token{int(start), int(length), fold(text.mid(start, length))});
    });
    return tokens;
}

QStringList words(QStringView text)
{
    QStringList out;
    for (const Token &t : tokenize(text))
        out << t.folded;
    return out;
}

bool hasCyrillic(QStringView text)
{
    for (QChar c : text)
        if (isCyrillic(c))
            return true;
    return false;
}

bool hasLatin(QStringView text)
{
    for (QChar c : text)
        if (isLatin(c))
            return true;
    return false;
}

QString swapLayout(QStringView text)
{
    const LayoutTables &t = layouts();
    const QString folded = fold(text);
    const bool latin = hasLatin(folded), cyrillic = hasCyrillic(folded);
    if (latin == cyrillic)
        return QString(); // nothing to swap, or a mixed text: no single layout explains it
    const QHash<char16_t, char16_t> &table = latin ? t.toCyrillic : t.toLatin;
    QString out = folded;
    for (QChar &c : out) {
        auto to = table.constFind(c.unicode());
        if (to != table.constEnd())
            c = foldChar(QChar(*to));
    }
    return out;
}

QString cleanQuery(QStringView typed)
{
    QString out = typed.left(kMaxQueryChars).toString();
    for (QChar &c : out)
        if (c.unicode() < 32 || c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            c = QLatin1Char(' ');
    return out.simplified();
}

} // namespace textfold
