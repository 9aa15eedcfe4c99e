#include "search/stemming.h"

#include "search/textfold.h"

#include <libstemmer.h>

namespace {
// Enough for every real text; a hostile text of distinct words cannot grow it without end.
constexpr int kCacheLimit = 200000;
// Longer "words" are no words (Base64 runs, serial numbers); they are cut to this length.
constexpr int kMaxTermChars = 40;
// Russian stems are stored one byte a letter: a marker no Latin word has, then а-я as a-z and
// digits. The index is kept in UTF-8, where each Cyrillic letter would take two bytes.
QString compact(const QString &stem)
{
    static const char16_t marker = u'ъ';
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz012345";
    QString out;
    out.reserve(stem.size() + 1);
    out += QChar(marker);
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

QString Stemmer::term(const QString &foldedWord)
{
    if (foldedWord.size() < 2)
        return QString();
    const QString word = foldedWord.left(kMaxTermChars);
    if (!textfold::hasCyrillic(word))
        return word;
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
    return !textfold::hasCyrillic(term);
}
} // namespace stemming
