#include "search/plaintext.h"

#include "text/packedcontent.h"

#include <QHash>

namespace {

QString decodeEntity(QStringView name)
{
    if (name.startsWith(u'#')) {
        bool ok = false;
        const uint code = (name.size() > 1 && (name[1] == u'x' || name[1] == u'X')) ? name.mid(2).toUInt(&ok, 16)
                                                                                     : name.mid(1).toUInt(&ok, 10);
        if (!ok || code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return QString();
        const char32_t c = char32_t(code);
        return QString::fromUcs4(&c, 1);
    }
    static const QHash<QString, QString> named = {
        {QStringLiteral("amp"), QStringLiteral("&")},      {QStringLiteral("lt"), QStringLiteral("<")},
        {QStringLiteral("gt"), QStringLiteral(">")},       {QStringLiteral("quot"), QStringLiteral("\"")},
        {QStringLiteral("apos"), QStringLiteral("'")},     {QStringLiteral("nbsp"), QStringLiteral(" ")},
        {QStringLiteral("laquo"), QStringLiteral("«")},    {QStringLiteral("raquo"), QStringLiteral("»")},
        {QStringLiteral("mdash"), QStringLiteral("—")},    {QStringLiteral("ndash"), QStringLiteral("–")},
        {QStringLiteral("hellip"), QStringLiteral("…")},   {QStringLiteral("deg"), QStringLiteral("°")},
        {QStringLiteral("plusmn"), QStringLiteral("±")},   {QStringLiteral("micro"), QStringLiteral("µ")},
        {QStringLiteral("times"), QStringLiteral("×")},    {QStringLiteral("rarr"), QStringLiteral("→")},
        {QStringLiteral("bull"), QStringLiteral("•")},     {QStringLiteral("middot"), QStringLiteral("·")},
        {QStringLiteral("copy"), QStringLiteral("©")},     {QStringLiteral("reg"), QStringLiteral("®")},
        {QStringLiteral("trade"), QStringLiteral("™")},    {QStringLiteral("le"), QStringLiteral("≤")},
        {QStringLiteral("ge"), QStringLiteral("≥")},       {QStringLiteral("sup2"), QStringLiteral("²")},
        {QStringLiteral("sup3"), QStringLiteral("³")},     {QStringLiteral("frac12"), QStringLiteral("½")},
    };
    return named.value(name.toString().toLower());
}

// QChar::isSpace without the Unicode tables for the letters the texts are made of.
bool isBlank(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 0x80)
        return u == u' ' || (u >= 0x09 && u <= 0x0D);
    if (u >= 0x0400 && u <= 0x04FF)
        return false;
    return c.isSpace();
}

bool nameIs(QStringView tag, const char *name)
{
    return tag.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
}

} // namespace

QString htmlToPlainText(QStringView html)
{
    // Written through a pointer: no character of the source gives more than one of the output
    // (an entity is longer than what it stands for), so the source's length is room enough.
    QString out(html.size(), Qt::Uninitialized);
    QChar *const begin = out.data();
    QChar *o = begin;
    bool space = true; // collapse blanks, none at the start
    const auto putSpace = [&] {
        if (!space) {
            *o++ = QLatin1Char(' ');
            space = true;
        }
    };
    const qsizetype n = html.size();
    for (qsizetype i = 0; i < n;) {
        const QChar c = html[i];
        if (c == u'<' && html.mid(i, 4) == QLatin1String("<!--")) {
            // A comment ends at "-->", whatever ">" it holds; the page never shows it.
            const qsizetype stop = html.indexOf(QLatin1String("-->"), i + 4);
            i = stop < 0 ? n : stop + 3;
            continue;
        }
        if (c == u'<') {
            const qsizetype close = html.indexOf(u'>', i + 1);
            if (close < 0)
                break; // an unclosed tag hides the rest, as in a browser
            QStringView tag = html.mid(i + 1, close - i - 1).trimmed();
            const bool closing = tag.startsWith(u'/');
            if (closing)
                tag = tag.mid(1);
            qsizetype end = 0;
            while (end < tag.size() && tag[end].isLetterOrNumber())
                ++end;
            const QStringView name = tag.left(end);
            i = close + 1;
            if (!closing && (nameIs(name, "script") || nameIs(name, "style"))) {
                // Their content is no text, even a "</b>" inside it; skip to their own closing tag.
                const QString closing = QStringLiteral("</") + name.toString();
                const qsizetype stop = html.indexOf(closing, i, Qt::CaseInsensitive);
                const qsizetype stopEnd = stop < 0 ? -1 : html.indexOf(u'>', stop);
                i = stopEnd < 0 ? n : stopEnd + 1;
            }
            // Inline tags join words; every other tag separates them.
            if (!(nameIs(name, "b") || nameIs(name, "i") || nameIs(name, "u") || nameIs(name, "sup") ||
                  nameIs(name, "sub") || nameIs(name, "span") || nameIs(name, "font") || nameIs(name, "a") ||
                  nameIs(name, "strong") || nameIs(name, "em")))
                putSpace();
            continue;
        }
        if (c == u'&') {
            const qsizetype semi = html.indexOf(u';', i + 1);
            if (semi > i + 1 && semi - i <= 10) {
                const QString decoded = decodeEntity(html.mid(i + 1, semi - i - 1));
                if (!decoded.isNull()) {
                    for (QChar d : decoded) {
                        if (isBlank(d))
                            putSpace();
                        else {
                            *o++ = d;
                            space = false;
                        }
                    }
                    i = semi + 1;
                    continue;
                }
            }
        }
        if (c.unicode() < 32 || isBlank(c)) {
            putSpace();
        } else {
            *o++ = c;
            space = false;
        }
        ++i;
    }
    if (o > begin && space)
        --o; // the blank after the last word
    out.truncate(o - begin);
    return out;
}

QString packedToPlainText(QStringView packed)
{
    return htmlToPlainText(packedHtml(packed));
}
