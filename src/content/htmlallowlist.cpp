// The allow-list of publisher HTML.
#include "content/htmlallowlist.h"

#include "text/base64.h"
#include "text/cp1251.h"
#include "text/packedcontent.h"

#include <exception>

namespace htmlallowlist {

namespace {

bool isOneOf(QStringView name, std::initializer_list<const char *> names)
{
    for (const char *n : names) {
        if (name == QLatin1String(n))
            return true;
    }
    return false;
}

bool keptTag(QStringView name)
{
    return isOneOf(name, {"p",   "br",    "b",     "strong", "i",     "em",    "u",  "sup", "sub",
                          "span", "div",  "ul",    "ol",     "li",    "table", "thead", "tbody", "tfoot",
                          "tr",  "td",    "th",    "caption", "h1",   "h2",    "h3", "h4",  "h5",
                          "h6",  "img",   "a"});
}

bool droppedWithContent(QStringView name)
{
    return isOneOf(name, {"script", "style", "template", "iframe", "object", "svg", "math", "noscript"});
}

bool isSpace(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f';
}

bool allDigits(QStringView v, int maxLength)
{
    if (v.isEmpty() || v.size() > maxLength)
        return false;
    for (QChar c : v) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return true;
}

// A link the page may follow: the web's own schemes and the reference's internal ones. The
// value is read as written: a scheme hidden behind character references or controls is no
// allowed scheme.
bool allowedHref(QStringView v)
{
    for (const char *scheme : {"http:", "https:", "mailto:", "item:", "sect:", "vend:", "dist:", "deal:"}) {
        if (v.startsWith(QLatin1String(scheme), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

bool classValue(QStringView v)
{
    for (QChar c : v) {
        if (!(c.isLetterOrNumber() || c == u' ' || c == u'-' || c == u'_'))
            return false;
    }
    return true;
}

struct Attr
{
    QString name; // lower case
    QString value;
};

// The value for an attribute position: quotes and angle brackets as references, character
// references as the publisher wrote them.
QString quoted(const QString &value)
{
    QString out = value;
    out.replace(QLatin1Char('"'), QLatin1String("&quot;"));
    out.replace(QLatin1Char('<'), QLatin1String("&lt;"));
    out.replace(QLatin1Char('>'), QLatin1String("&gt;"));
    return QLatin1Char('"') + out + QLatin1Char('"');
}

class Cleaner
{
public:
    Cleaner(QStringView html, const QSet<QString> &attachments, QVector<Dropped> *dropped)
        : m_in(html), m_dropped(dropped)
    {
        for (const QString &a : attachments)
            m_attachments.insert(a.trimmed().toUpper());
    }

    QString run()
    {
        m_out.reserve(m_in.size());
        while (m_at < m_in.size()) {
            if (m_in.at(m_at) != u'<') {
                qsizetype next = m_in.indexOf(u'<', m_at);
                if (next < 0)
                    next = m_in.size();
                m_out += m_in.mid(m_at, next - m_at);
                m_at = next;
                continue;
            }
            if (m_in.mid(m_at).startsWith(u"<!--")) {
                const qsizetype end = m_in.indexOf(u"-->", m_at + 4);
                m_at = end < 0 ? m_in.size() : end + 3;
                continue;
            }
            const QChar next = m_at + 1 < m_in.size() ? m_in.at(m_at + 1) : QChar();
            if (next == u'!' || next == u'?') { // a declaration or processing instruction
                const qsizetype end = m_in.indexOf(u'>', m_at);
                m_at = end < 0 ? m_in.size() : end + 1;
                continue;
            }
            const bool closing = next == u'/';
            const qsizetype nameAt = m_at + (closing ? 2 : 1);
            if (nameAt >= m_in.size() || !m_in.at(nameAt).isLetter() || m_in.at(nameAt).unicode() > 127) {
                m_out += QLatin1String("&lt;");
                ++m_at;
                continue;
            }
            tag(closing, nameAt);
        }
        return m_out;
    }

private:
    // Reports come in the order of the text: the line is counted on from the last one.
    int lineAt(qsizetype at)
    {
        for (; m_counted < at; ++m_counted) {
            if (m_in.at(m_counted) == u'\n')
                ++m_line;
        }
        return m_line;
    }

    void report(qsizetype at, const QString &what)
    {
        if (!m_dropped)
            return;
        const int line = lineAt(at);
        for (const Dropped &d : *m_dropped) {
            if (d.line == line && d.what == what)
                return;
        }
        m_dropped->append({line, what});
    }

    // Reads one tag from `nameAt`; a tag without its '>' ends the text there, as a browser ends it.
    void tag(bool closing, qsizetype nameAt)
    {
        const qsizetype start = m_at;
        qsizetype p = nameAt;
        while (p < m_in.size() && !isSpace(m_in.at(p)) && m_in.at(p) != u'/' && m_in.at(p) != u'>')
            ++p;
        const QString name = m_in.mid(nameAt, p - nameAt).toString().toLower();
        QVector<Attr> attrs;
        bool ended = false;
        while (p < m_in.size()) {
            const QChar c = m_in.at(p);
            if (c == u'>') {
                ended = true;
                ++p;
                break;
            }
            if (isSpace(c) || c == u'/') {
                ++p;
                continue;
            }
            const qsizetype an = p;
            while (p < m_in.size() && !isSpace(m_in.at(p)) && m_in.at(p) != u'/' && m_in.at(p) != u'>' &&
                   m_in.at(p) != u'=')
                ++p;
            Attr a{m_in.mid(an, p == an ? 1 : p - an).toString().toLower(), QString()};
            if (p == an)
                ++p; // a lone '=' where a name should be
            while (p < m_in.size() && isSpace(m_in.at(p)))
                ++p;
            if (p < m_in.size() && m_in.at(p) == u'=') {
                ++p;
                while (p < m_in.size() && isSpace(m_in.at(p)))
                    ++p;
                if (p < m_in.size() && (m_in.at(p) == u'"' || m_in.at(p) == u'\'')) {
                    const QChar q = m_in.at(p);
                    const qsizetype end = m_in.indexOf(q, p + 1);
                    const qsizetype stop = end < 0 ? m_in.size() : end;
                    a.value = m_in.mid(p + 1, stop - p - 1).toString();
                    p = end < 0 ? m_in.size() : end + 1;
                } else {
                    const qsizetype v = p;
                    while (p < m_in.size() && !isSpace(m_in.at(p)) && m_in.at(p) != u'>')
                        ++p;
                    a.value = m_in.mid(v, p - v).toString();
                }
            }
            attrs.append(a);
        }
        m_at = p;
        if (!ended)
            return;
        if (closing) {
            if (keptTag(name))
                m_out += QLatin1String("</") + name + QLatin1Char('>');
            return; // the start tag was reported already
        }
        if (droppedWithContent(name)) {
            report(start, QLatin1Char('<') + name + QLatin1Char('>'));
            skipContent(name);
            return;
        }
        if (!keptTag(name)) {
            // Dropped alone (meta, base, link, embed, input, button, select, textarea) or unwrapped
            // (any other): either way the tag goes and what follows it is read on as text.
            report(start, QLatin1Char('<') + name + QLatin1Char('>'));
            return;
        }
        m_out += QLatin1Char('<') + name;
        for (const Attr &a : attrs) {
            if (keepAttribute(name, a))
                m_out += QLatin1Char(' ') + a.name + QLatin1Char('=') + quoted(a.value);
            else
                report(start, QStringLiteral("%1 у <%2>").arg(a.name, name));
        }
        m_out += QLatin1Char('>');
    }

    bool keepAttribute(const QString &tag, const Attr &a) const
    {
        const QString value = a.value.trimmed();
        if (a.name == QLatin1String("class"))
            return classValue(value);
        if (tag == QLatin1String("a"))
            return a.name == QLatin1String("href") && allowedHref(value);
        if (tag == QLatin1String("img")) {
            if (a.name == QLatin1String("src"))
                return m_attachments.contains(value.toUpper());
            if (a.name == QLatin1String("alt"))
                return true;
            return (a.name == QLatin1String("width") || a.name == QLatin1String("height")) && allDigits(value, 5);
        }
        if (tag == QLatin1String("td") || tag == QLatin1String("th"))
            return (a.name == QLatin1String("colspan") || a.name == QLatin1String("rowspan")) && allDigits(value, 3);
        if (tag == QLatin1String("table"))
            return (a.name == QLatin1String("border") || a.name == QLatin1String("cellpadding") ||
                    a.name == QLatin1String("cellspacing")) &&
                   allDigits(value, 3);
        return false;
    }

    // Past the end tag of `name` (the first one, as a browser ends raw text), or to the end.
    void skipContent(const QString &name)
    {
        const QString endTag = QLatin1String("</") + name;
        for (qsizetype at = m_at;;) {
            const qsizetype end = m_in.indexOf(endTag, at, Qt::CaseInsensitive);
            if (end < 0) {
                m_at = m_in.size();
                return;
            }
            const qsizetype after = end + endTag.size();
            if (after < m_in.size() && (isSpace(m_in.at(after)) || m_in.at(after) == u'>' ||
                                         m_in.at(after) == u'/')) {
                const qsizetype close = m_in.indexOf(u'>', after);
                m_at = close < 0 ? m_in.size() : close + 1;
                return;
            }
            at = after;
        }
    }

    QStringView m_in;
    QVector<Dropped> *m_dropped;
    QSet<QString> m_attachments;
    QString m_out;
    qsizetype m_at = 0;
    qsizetype m_counted = 0;
    int m_line = 1;
};

} // namespace

QString clean(QStringView html, const QSet<QString> &attachments, QVector<Dropped> *dropped)
{
    return Cleaner(html, attachments, dropped).run();
}

QString cleanPacked(const QString &packed)
{
    const auto isPage = [](const QString &name) {
        return trimControl(name).compare(QLatin1String("HTML"), Qt::CaseInsensitive) == 0;
    };
    QSet<QString> attachments;
    scanPackedContent(packed, [&](QString &name, QString &) {
        if (!isPage(name))
            attachments.insert(trimControl(name));
    });
    // In the order written; a page element that does not decode is kept as it is and ends the
    // field, as the composer stops at it with its own error.
    struct Stop
    {
    };
    QString out;
    try {
        scanPackedContent(packed, [&](QString &name, QString &content) {
            const QString element = QLatin1Char('<') + name + QLatin1Char('>') + content + QLatin1String("</") +
                                    name + QLatin1Char('>');
            if (!isPage(name)) {
                out += element;
                return;
            }
            const QString data = trimControl(content);
            QByteArray latin(data.size(), Qt::Uninitialized);
            for (qsizetype i = 0; i < data.size(); ++i) {
                const char16_t u = data[i].unicode();
                latin[i] = u < 128 ? static_cast<char>(u) : '\x01'; // rejected by the decoder
            }
            QString page;
            try {
                page = decodeCp1251(base64Decode(latin));
            } catch (const std::exception &) {
                out += element;
                throw Stop();
            }
            out += QLatin1Char('<') + name + QLatin1Char('>') +
                   Base64EncodeString(encodeCp1251Html(clean(page, attachments))) + QLatin1String("</") + name +
                   QLatin1Char('>');
        });
    } catch (const Stop &) {
    }
    return out;
}

} // namespace htmlallowlist
