#include "search/translit.h"

#include "search/textfold.h"

namespace translit {

namespace {

// The sound alphabet: plain Latin letters, plus capitals for sounds Latin writes with two
// letters (C = ч, S = ш/щ, J = ж).
QString cyrillicSound(QChar c)
{
    switch (c.unicode()) {
    case u'а': return QStringLiteral("a");
    case u'б': return QStringLiteral("b");
    case u'в': return QStringLiteral("v");
    case u'г': return QStringLiteral("g");
    case u'д': return QStringLiteral("d");
    case u'е': return QStringLiteral("e");
    case u'ж': return QStringLiteral("J");
    case u'з': return QStringLiteral("s");
    case u'и': return QStringLiteral("i");
    case u'й': return QStringLiteral("i");
    case u'к': return QStringLiteral("k");
    case u'л': return QStringLiteral("l");
    case u'м': return QStringLiteral("m");
    case u'н': return QStringLiteral("n");
    case u'о': return QStringLiteral("o");
    case u'п': return QStringLiteral("p");
    case u'р': return QStringLiteral("r");
    case u'с': return QStringLiteral("s");
    case u'т': return QStringLiteral("t");
    case u'у': return QStringLiteral("u");
    case u'ф': return QStringLiteral("f");
    case u'х': return QStringLiteral("g");
    case u'ц': return QStringLiteral("c");
    case u'ч': return QStringLiteral("C");
    case u'ш': return QStringLiteral("S");
    case u'щ': return QStringLiteral("S");
    case u'ъ': return QString();
    case u'ы': return QStringLiteral("i");
    case u'ь': return QString();
    case u'э': return QStringLiteral("e");
    case u'ю': return QStringLiteral("iu");
    case u'я': return QStringLiteral("ia");
    default: return QString();
    }
}

bool isSoftening(QChar c)
{
    return c == QLatin1Char('e') || c == QLatin1Char('i') || c == QLatin1Char('y');
}

// Latin spelling to sounds; `w` is folded text, `i` the position, returns letters consumed.
int latinSound(const QString &w, qsizetype i, QString &out)
{
    const QChar c = w[i];
    const QChar next = i + 1 < w.size() ? w[i + 1] : QChar();
    const QChar after = i + 2 < w.size() ? w[i + 2] : QChar();
    const auto is = [](QChar a, char b) { return a == QLatin1Char(b); };
    switch (c.toLatin1()) {
    case 'a': out += QLatin1Char('a'); return 1;
    case 'b': out += QLatin1Char('b'); return 1;
    case 'c':
        if (is(next, 'h')) {
            // "ch" before a consonant is the Greek х (chlor-, chrom-), otherwise ч.
            const bool greek = after.isLetter() && QStringLiteral("aeiouy").indexOf(after) < 0;
            out += QLatin1Char(greek ? 'g' : 'C');
            return 2;
        }
        if (is(next, 'k')) { out += QLatin1Char('k'); return 2; }
        if (is(next, 'z')) { out += QLatin1Char('c'); return 2; }
        out += QLatin1Char(isSoftening(next) ? 'c' : 'k');
        return 1;
    case 'd': out += QLatin1Char('d'); return 1;
    case 'e': out += QLatin1Char('e'); return 1;
    case 'f': out += QLatin1Char('f'); return 1;
    case 'g': out += QLatin1Char('g'); return 1;
    case 'h': out += QLatin1Char('g'); return 1;
    case 'i': out += QLatin1Char('i'); return 1;
    case 'j': out += QLatin1Char('i'); return 1;
    case 'k':
        if (is(next, 'h')) { out += QLatin1Char('g'); return 2; }
        out += QLatin1Char('k');
        return 1;
    case 'l': out += QLatin1Char('l'); return 1;
    case 'm': out += QLatin1Char('m'); return 1;
    case 'n': out += QLatin1Char('n'); return 1;
    case 'o': out += QLatin1Char('o'); return 1;
    case 'p':
        if (is(next, 'h')) { out += QLatin1Char('f'); return 2; }
        out += QLatin1Char('p');
        return 1;
    case 'q':
        if (is(next, 'u')) { out += QStringLiteral("kv"); return 2; }
        out += QLatin1Char('k');
        return 1;
    case 'r':
        out += QLatin1Char('r');
        return is(next, 'h') ? 2 : 1;
    case 's':
        if (is(next, 'h')) {
            if (is(after, 'c') && i + 3 < w.size() && is(w[i + 3], 'h'))
                return out += QLatin1Char('S'), 4; // shch
            return out += QLatin1Char('S'), 2;
        }
        if (is(next, 'c') && is(after, 'h'))
            return out += QLatin1Char('S'), 3; // sch
        out += QLatin1Char('s');
        return 1;
    case 't':
        if (is(next, 's') || is(next, 'z')) { out += QLatin1Char('c'); return 2; }
        if (is(next, 'c') && is(after, 'h')) { out += QLatin1Char('C'); return 3; }
        if (is(next, 'h')) { out += QLatin1Char('t'); return 2; }
        out += QLatin1Char('t');
        return 1;
    case 'u': out += QLatin1Char('u'); return 1;
    case 'v': out += QLatin1Char('v'); return 1;
    case 'w': out += QLatin1Char('v'); return 1;
    case 'x': out += QStringLiteral("ks"); return 1;
    case 'y': out += QLatin1Char('i'); return 1;
    case 'z':
        if (is(next, 'h')) { out += QLatin1Char('J'); return 2; }
        out += QLatin1Char('s');
        return 1;
    default: return 0;
    }
}

} // namespace

QString key(QStringView text)
{
    const QString w = textfold::fold(text);
    QString sounds;
    sounds.reserve(w.size() + 8);
    for (qsizetype i = 0; i < w.size();) {
        const QChar c = w[i];
        if (c.unicode() < 128 && c.isLetter()) {
            QString part;
            const int used = latinSound(w, i, part);
            sounds += part;
            i += qMax(1, used);
            continue;
        }
        if (c.isDigit()) {
            sounds += c;
        } else if (c.isLetter()) {
            const QString part = cyrillicSound(c);
            if (!part.isEmpty())
                sounds += part;
            else if (c != u'ь' && c != u'ъ')
                sounds += QLatin1Char(' '); // a letter of neither alphabet separates
        } else {
            sounds += QLatin1Char(' ');
        }
        ++i;
    }
    // Spelling variants that survive letter by letter: "ie"/"ye"/"je" for е after a vowel or
    // a soft sign, and every doubled sound.
    QString out;
    out.reserve(sounds.size());
    for (qsizetype i = 0; i < sounds.size(); ++i) {
        const QChar c = sounds[i];
        if (c == QLatin1Char('i') && i + 1 < sounds.size() && sounds[i + 1] == QLatin1Char('e'))
            continue;
        if (!out.isEmpty() && out.back() == c && (c.isLetter() || c == QLatin1Char(' ')))
            continue;
        out += c;
    }
    return out.trimmed();
}

} // namespace translit

namespace translit {

QString otherAlphabet(QStringView text)
{
    const QString w = textfold::fold(text);
    QString out;
    if (textfold::hasCyrillic(w)) {
        static const char *const latin[] = {"a", "b", "v", "g", "d", "e", "zh", "z", "i", "y", "k", "l", "m", "n",
                                            "o", "p", "r", "s", "t", "u", "f", "kh", "ts", "ch", "sh", "shch", "",
                                            "y", "", "e", "yu", "ya"};
        for (QChar c : w) {
            const int at = int(c.unicode()) - 0x0430;
            out += (at >= 0 && at < 32) ? QString::fromLatin1(latin[at]) : QString(c);
        }
        return out;
    }
    static const std::pair<const char *, const char16_t *> pairs[] = {
        {"shch", u"щ"}, {"sch", u"щ"}, {"sh", u"ш"}, {"ch", u"ч"}, {"zh", u"ж"}, {"kh", u"х"}, {"ts", u"ц"},
        {"tz", u"ц"},   {"ph", u"ф"},  {"th", u"т"}, {"ya", u"я"}, {"yu", u"ю"}, {"ja", u"я"}, {"ju", u"ю"},
        {"ck", u"к"},   {"qu", u"кв"}, {"x", u"кс"}, {"a", u"а"},  {"b", u"б"},  {"d", u"д"},  {"e", u"е"},
        {"f", u"ф"},    {"g", u"г"},   {"h", u"х"},  {"i", u"и"},  {"j", u"й"},  {"k", u"к"},  {"l", u"л"},
        {"m", u"м"},    {"n", u"н"},   {"o", u"о"},  {"p", u"п"},  {"q", u"к"},  {"r", u"р"},  {"s", u"с"},
        {"t", u"т"},    {"u", u"у"},   {"v", u"в"},  {"w", u"в"},  {"y", u"и"},  {"z", u"з"}};
    for (qsizetype i = 0; i < w.size();) {
        if (w[i] == QLatin1Char('c')) {
            const QChar next = i + 1 < w.size() ? w[i + 1] : QChar();
            if (next != QLatin1Char('h') && next != QLatin1Char('k')) {
                out += (next == QLatin1Char('e') || next == QLatin1Char('i') || next == QLatin1Char('y'))
                           ? QStringLiteral("ц")
                           : QStringLiteral("к");
                ++i;
                continue;
            }
        }
        bool done = false;
        for (const auto &[from, to] : pairs) {
            const QLatin1String f(from);
            if (QStringView(w).mid(i).startsWith(f)) {
                out += QString::fromUtf16(to);
                i += f.size();
                done = true;
                break;
            }
        }
        if (!done)
            out += w[i++];
    }
    return out;
}

} // namespace translit
