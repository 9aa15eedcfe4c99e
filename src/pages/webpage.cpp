#include "pages/webpage.h"

#include "pages/productpage.h"
#include "text/packedcontent.h"

#include <QRegularExpression>
#include <QUrl>

namespace webpage {

namespace {

const QString kTableBoxOpen =
    QStringLiteral("<div class=\"table-scroll\" tabindex=\"0\" role=\"region\" aria-label=\"Таблица\">");
const QString kTableBoxClose = QStringLiteral("</div>");

// One attribute of a tag's attribute text: its name, and where its value (quotes included) is.
struct Attribute
{
    qsizetype valueStart = -1;
    qsizetype valueLength = 0;
    QString value; // without quotes
};

std::optional<Attribute> findAttribute(const QString &attributes, const QString &name)
{
    static const QRegularExpression pattern(
        QStringLiteral("(?:^|\\s)([A-Za-z][A-Za-z0-9_:-]*)\\s*=\\s*(\"[^\"]*\"|'[^']*'|[^\\s\"'>]+)"));
    auto it = pattern.globalMatch(attributes);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        if (m.captured(1).compare(name, Qt::CaseInsensitive) != 0)
            continue;
        Attribute a;
        a.valueStart = m.capturedStart(2);
        a.valueLength = m.capturedLength(2);
        QString v = m.captured(2);
        if (v.startsWith(QLatin1Char('"')) || v.startsWith(QLatin1Char('\'')))
            v = v.mid(1, v.size() - 2);
        a.value = v;
        return a;
    }
    return std::nullopt;
}

bool hasBareAttribute(const QString &attributes, const QString &name)
{
    const QRegularExpression pattern(QStringLiteral("(?:^|\\s)%1(?:\\s*=|\\s|/|$)").arg(name),
                                     QRegularExpression::CaseInsensitiveOption);
    return pattern.match(attributes).hasMatch();
}

QString withValue(const QString &attributes, const Attribute &a, const QString &value)
{
    QString out = attributes;
    out.replace(a.valueStart, a.valueLength, QLatin1Char('"') + escape(value) + QLatin1Char('"'));
    return out;
}

QString rewriteLink(const QString &attributes, const WebContext &context)
{
    const std::optional<Attribute> href = findAttribute(attributes, QStringLiteral("href"));
    if (!href)
        return attributes;
    const std::optional<InternalLink> link = parseInternalLink(href->value);
    if (!link)
        return attributes;
    QString path = recordPath(link->target, link->id);
    const bool partner = link->target == LinkTarget::Distributor || link->target == LinkTarget::Dealer;
    if (partner && context.fromItem)
        path += QStringLiteral("?from=") + QString::number(*context.fromItem);
    return withValue(attributes, *href, path);
}

QString rewriteImage(QString attributes, const WebContext &context, const QSet<QString> &upperImages)
{
    if (const std::optional<Attribute> src = findAttribute(attributes, QStringLiteral("src"))) {
        const QString name = trimControl(src->value);
        if (upperImages.contains(name.toUpper()))
            attributes = withValue(attributes, *src,
                                   context.imageBase + QString::fromLatin1(QUrl::toPercentEncoding(name)));
    }
    if (!hasBareAttribute(attributes, QStringLiteral("alt"))) {
        // Before a self-closing slash, if the tag has one.
        qsizetype end = attributes.size();
        while (end > 0 && attributes.at(end - 1).isSpace())
            --end;
        if (end > 0 && attributes.at(end - 1) == QLatin1Char('/'))
            --end;
        attributes.insert(end, QStringLiteral(" alt=\"\""));
    }
    return attributes;
}

QString innerBody(const QString &body)
{
    QStringView inner(body);
    const QString opening = pageskeleton::opening();
    const QString closing = pageskeleton::closing();
    if (inner.startsWith(opening))
        inner = inner.mid(opening.size());
    if (inner.endsWith(closing))
        inner.chop(closing.size());
    return inner.toString();
}

} // namespace

QString escape(QStringView text)
{
    QString out;
    out.reserve(text.size() + text.size() / 8);
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'&':
            out += QLatin1String("&amp;");
            break;
        case u'<':
            out += QLatin1String("&lt;");
            break;
        case u'>':
            out += QLatin1String("&gt;");
            break;
        case u'"':
            out += QLatin1String("&quot;");
            break;
        case u'\'':
            out += QLatin1String("&#39;");
            break;
        default:
            out += c;
        }
    }
    return out;
}

QString recordPath(LinkTarget target, qint64 id)
{
    const char *kind = "item";
    switch (target) {
    case LinkTarget::Item:
        kind = "item";
        break;
    case LinkTarget::Section:
        kind = "group";
        break;
    case LinkTarget::Vendor:
        kind = "maker";
        break;
    case LinkTarget::Distributor:
        kind = "distributor";
        break;
    case LinkTarget::Dealer:
        kind = "dealer";
        break;
    }
    return QLatin1Char('/') + QLatin1String(kind) + QLatin1Char('/') + QString::number(id);
}

QSet<QString> attachmentNames(const QString &document)
{
    QSet<QString> names;
    scanPackedContent(document, [&names](QString &name, QString &) {
        const QString trimmed = trimControl(name);
        if (trimmed.compare(QLatin1String("HTML"), Qt::CaseInsensitive) != 0)
            names.insert(trimmed);
    });
    return names;
}

QString forWeb(const QString &composedBody, const WebContext &context)
{
    QSet<QString> upperImages;
    for (const QString &name : context.images)
        upperImages.insert(name.toUpper());
    static const QRegularExpression tag(QStringLiteral("<(/?)([A-Za-z][A-Za-z0-9]*)([^>]*)>"));
    const QString body = innerBody(composedBody);
    QString out;
    out.reserve(body.size() + body.size() / 8);
    qsizetype at = 0;
    int tableDepth = 0;
    auto it = tag.globalMatch(body);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        out += QStringView(body).mid(at, m.capturedStart() - at);
        at = m.capturedEnd();
        const bool closing = !m.capturedView(1).isEmpty();
        const QString name = m.captured(2).toLower();
        QString attributes = m.captured(3);
        if (name == QLatin1String("table")) {
            if (!closing && tableDepth++ == 0)
                out += kTableBoxOpen;
            out += m.capturedView();
            if (closing && tableDepth > 0 && --tableDepth == 0)
                out += kTableBoxClose;
            continue;
        }
        if (!closing && name == QLatin1String("a"))
            attributes = rewriteLink(attributes, context);
        else if (!closing && name == QLatin1String("img"))
            attributes = rewriteImage(attributes, context, upperImages);
        else {
            out += m.capturedView();
            continue;
        }
        out += QLatin1Char('<') + m.captured(2) + attributes + QLatin1Char('>');
    }
    out += QStringView(body).mid(at);
    if (tableDepth > 0)
        out += kTableBoxClose; // a table the publisher left open still ends its box
    return out;
}

QByteArray imageType(const QByteArray &data)
{
    if (data.startsWith("\x89PNG\r\n\x1a\n"))
        return "image/png";
    if (data.startsWith("GIF87a") || data.startsWith("GIF89a"))
        return "image/gif";
    if (data.startsWith("\xFF\xD8\xFF"))
        return "image/jpeg";
    if (data.size() >= 12 && data.startsWith("RIFF") && data.mid(8, 4) == "WEBP")
        return "image/webp";
    if (data.startsWith("BM") && data.size() > 26)
        return "image/bmp";
    return QByteArray();
}

} // namespace webpage
