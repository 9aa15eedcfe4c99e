#include "search/stemming.h"

#include "search/textfold.h"

#include <libstemmer.h>

namespace {
// Enough for every real text; a hostile text of distinct words cannot grow it without end.
constexpr int kCacheLimit = 200000;
// Longer "words" are no words (Base64 runs, serial numbers); they are cut to this length.
constexpr int kMaxTermChars = 40;
// Russian stems are stored one byte a letter, а-я as a-z and 0-5 (the index is kept in UTF-8,
// where each Cyrillic letter would take two bytes); every other word is marked by a leading
// "9" and every number by a leading "8", which no stem spells, so the kinds never meet. The
// index's tokenizer keeps only letters and digits together: a decimal comma is stored as "p",
// and a number's word follows it after an "x" ("10 мл" is "810xml").
constexpr char16_t kOtherMark = u'9';
constexpr char16_t kNumberMark = u'8';
constexpr char16_t kDecimalMark = u'p';
constexpr char16_t kPairMark = u'x';

QString numberTerm(QStringView number)
{
    QString out;
    out.reserve(number.size() + 1);
    out += QChar(kNumberMark);
    for (QChar c : number.left(kMaxTermChars))
        out += (c == u',' || c == u'.') ? QChar(kDecimalMark) : c;
    return out;
}

QString compact(const QString &stem)
{
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz012345";
    QString out;
    out.reserve(stem.size());
    for (QChar c : stem) {
        const int at = int(c.unicode()) - 0x0430;
        out += (at >= 0 && at < 32) ? QChar(QLatin1Char(kLetters[at])) : c;
    }
    return out;
}

} // namespace

Stemmer::Stemmer() : m_stemmer(sb_stemmer_new("russian", "UTF_8")) {}

Stemmer::~Stemmer()
{
    if (m_stemmer)
        sb_stemmer_delete(m_stemmer);
}

QString Stemmer::term(const QString &foldedWord, bool keepLetter)
{
    if (foldedWord.isEmpty())
        return QString();
    if (foldedWord.front().unicode() >= u'0' && foldedWord.front().unicode() <= u'9')
        return numberTerm(foldedWord);
    if (foldedWord.size() < 2) {
        if (!keepLetter)
            return QString();
        return textfold::hasCyrillic(foldedWord) ? compact(foldedWord) : QChar(kOtherMark) + foldedWord;
    }
    const QString word = foldedWord.left(kMaxTermChars);
    if (!textfold::hasCyrillic(word))
        return QChar(kOtherMark) + word;
    auto it = m_cache.constFind(word);
    if (it != m_cache.constEnd())
        return *it;
    QString stem = word;
    if (m_stemmer) {
        const QByteArray utf8 = word.toUtf8();
        const sb_symbol *out =
            sb_stemmer_stem(m_stemmer, reinterpret_cast<const sb_symbol *>(utf8.constData()), int(utf8.size()));
        if (out)
            stem = QString::fromUtf8(reinterpret_cast<const char *>(out), sb_stemmer_length(m_stemmer));
        if (stem.size() < 2)
            stem = word;
    }
    stem = compact(stem);
    if (m_cache.size() < kCacheLimit)
        m_cache.insert(word, stem);
    return stem;
}

namespace stemming {
bool isPrefixTerm(QStringView term)
{
    return term.startsWith(kOtherMark);
}

bool isNumberTerm(QStringView term)
{
    return term.startsWith(kNumberMark);
}

bool isStemTerm(QStringView term)
{
    return !term.isEmpty() && !isPrefixTerm(term) && !isNumberTerm(term);
}

QString pairTerm(const QString &numberTerm, const QString &wordTerm)
{
    if (numberTerm.isEmpty() || wordTerm.isEmpty())
        return QString();
    return numberTerm + QChar(kPairMark) + wordTerm;
}
} // namespace stemming
