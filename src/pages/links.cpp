#include "pages/links.h"

#include "text/packedcontent.h"

#include <limits>

namespace {

// Only the Latin letters change: the link scheme is ASCII, and locale rules must not turn
// other characters into something that parses.
QString upperLatin(QStringView text)
{
    QString out = text.toString();
    for (QChar &ch : out) {
        const char16_t c = ch.unicode();
        if (c >= u'a' && c <= u'z')
            ch = QChar(char16_t(c - (u'a' - u'A')));
    }
    return out;
}

// Optional sign and decimal digits only, within qint64. The length is not bounded: leading
// zeros are still a number, and the overflow test alone keeps the value in range.
std::optional<qint64> strictInteger(QStringView text)
{
    if (text.isEmpty())
        return std::nullopt;
    qsizetype i = 0;
    const bool negative = text[0] == u'-';
    if (text[0] == u'-' || text[0] == u'+')
        ++i;
    if (i == text.size())
        return std::nullopt;
    quint64 value = 0;
    const quint64 limit = negative ? quint64(std::numeric_limits<qint64>::max()) + 1
                                   : quint64(std::numeric_limits<qint64>::max());
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        const quint64 digit = c - u'0';
        if (value > (limit - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    return negative ? qint64(0 - value) : qint64(value);
}

} // namespace

QString linkPrefix(LinkTarget target)
{
    switch (target) {
    case LinkTarget::Section:
        return QStringLiteral("SECT:");
    case LinkTarget::Item:
        return QStringLiteral("ITEM:");
    case LinkTarget::Vendor:
        return QStringLiteral("VEND:");
    case LinkTarget::Dealer:
        return QStringLiteral("DEAL:");
    case LinkTarget::Distributor:
        return QStringLiteral("DIST:");
    }
    return QString();
}

std::optional<InternalLink> parseInternalLink(QStringView text)
{
    static const LinkTarget order[] = {LinkTarget::Section, LinkTarget::Item, LinkTarget::Vendor,
                                       LinkTarget::Dealer, LinkTarget::Distributor};
    QString upper = upperLatin(text);
    for (LinkTarget target : order) {
        const QString prefix = linkPrefix(target);
        if (!upper.startsWith(prefix))
            continue;
        upper.remove(prefix); // every occurrence, in one linear pass
        const std::optional<qint64> id = strictInteger(trimControl(upper));
        if (!id)
            return std::nullopt;
        return InternalLink{target, *id};
    }
    return std::nullopt;
}

bool isShellLink(QStringView text)
{
    const QString upper = trimControl(text).toUpper();
    return upper.startsWith(QLatin1String("HTTP")) || upper.startsWith(QLatin1String("FTP")) ||
           upper.startsWith(QLatin1String("MAILTO"));
}
