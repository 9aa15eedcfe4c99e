// The reader's canonical addresses.
#include "readerrequest.h"

#include <QRegularExpression>
#include <QStringList>
#include <QUrl>

namespace {

// The parameters each route reads, in the order its forms send them (the calculator's and the
// withdrawal form's fields come in this order), so a submitted form is already canonical.
QStringList knownParameters(const QString &path, bool partner)
{
    if (path == QLatin1String("/search"))
        return {QStringLiteral("q")};
    if (path.startsWith(QLatin1String("/item/")) && !path.contains(QLatin1String("/image/")))
        return {QStringLiteral("species"), QStringLiteral("weight"),     QStringLiteral("route"),
                QStringLiteral("indication"), QStringLiteral("form"), QStringLiteral("last")};
    if (partner)
        return {QStringLiteral("from")};
    return {};
}

QString decodeComponent(QByteArray bytes, bool plusIsSpace)
{
    if (plusIsSpace)
        bytes.replace('+', ' ');
    return QUrl::fromPercentEncoding(bytes);
}

// As a browser writes a form field: letters, digits and *-._ as they are, a space as "+",
// every other byte of the UTF-8 as %XX.
QByteArray formEncoded(const QString &value)
{
    QByteArray out;
    static const char hex[] = "0123456789ABCDEF";
    for (const char ch : value.toUtf8()) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '*' ||
            c == '-' || c == '.' || c == '_')
            out += char(c);
        else if (c == ' ')
            out += '+';
        else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

// A path as sent, with what no header or attribute may hold (controls, spaces, quotes, angle
// brackets, bytes past ASCII) written as %XX.
QByteArray printablePath(const QByteArray &raw)
{
    QByteArray out;
    for (const char ch : raw) {
        const auto c = static_cast<unsigned char>(ch);
        if (c > 0x20 && c < 0x7F && c != '"' && c != '<' && c != '>' && c != '\\')
            out += char(c);
        else
            out += '%' + QByteArray::number(c, 16).rightJustified(2, '0').toUpper();
    }
    return out;
}

// The path as the pages write it: record numbers without leading zeros, a letter encoded as
// its links encode it; any other path as it was sent.
QByteArray canonicalPath(const QString &path, const QByteArray &raw, bool *partner)
{
    static const QRegularExpression record(QStringLiteral("^/([a-z]+)/([0-9]{1,10})(/image/.*)?$"));
    const QRegularExpressionMatch m = record.match(path);
    *partner = false;
    if (m.hasMatch()) {
        const QString word = m.captured(1);
        *partner = word == QLatin1String("distributor") || word == QLatin1String("dealer");
        if (m.hasCaptured(3))
            return printablePath(raw); // an image's name is the publisher's; it stays as the page wrote it
        return '/' + word.toLatin1() + '/' + QByteArray::number(m.captured(2).toLongLong());
    }
    if (path.startsWith(QLatin1String("/letter/")))
        return "/letter/" + QUrl::toPercentEncoding(path.mid(8));
    return printablePath(raw);
}

} // namespace

ReaderRequest readReaderRequest(const std::string &target)
{
    const QByteArray whole = QByteArray::fromStdString(target);
    const qsizetype mark = whole.indexOf('?');
    const QByteArray rawPath = mark < 0 ? whole : whole.left(mark);
    const QByteArray query = mark < 0 ? QByteArray() : whole.mid(mark + 1);

    ReaderRequest request;
    request.path = decodeComponent(rawPath, false);
    bool partner = false;
    request.canonical = canonicalPath(request.path, rawPath, &partner);
    const QStringList known = knownParameters(request.path, partner);
    if (!known.isEmpty()) {
        // Bounded by the request head's own limit (16 KiB), so the pairs are few.
        for (const QByteArray &pair : query.split('&')) {
            const qsizetype eq = pair.indexOf('=');
            const QString name = decodeComponent(eq < 0 ? pair : pair.left(eq), true);
            const QString value = eq < 0 ? QString() : decodeComponent(pair.mid(eq + 1), true);
            for (const QString &k : known) {
                if (k.compare(name, Qt::CaseInsensitive) == 0 && !request.parameters.contains(k) &&
                    !value.isEmpty())
                    request.parameters.insert(k, value);
            }
        }
    }
    QByteArray canonicalQuery;
    for (const QString &k : known) {
        if (!request.parameters.contains(k))
            continue;
        canonicalQuery += (canonicalQuery.isEmpty() ? "" : "&") + k.toLatin1() + '=' +
                          formEncoded(request.parameters.value(k));
    }
    if (!canonicalQuery.isEmpty())
        request.canonical += '?' + canonicalQuery;
    return request;
}
