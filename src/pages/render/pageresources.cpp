#include "pages/render/pageresources.h"

#include "text/base64.h"
#include "text/cp1251.h"
#include "text/packedcontent.h"

#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QTextDocument>
#include <QUrl>

// The resources are compiled into a static library; make sure they are registered.
static void initPageResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(resources);
        return true;
    }();
    Q_UNUSED(done);
}

namespace {

// Base64 text to bytes; any character beyond ASCII is not Base64 and must fail as such.
QByteArray decodePart(const QString &content)
{
    const QString data = trimControl(content);
    QByteArray ascii(data.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < data.size(); ++i) {
        const char16_t u = data[i].unicode();
        ascii[i] = u < 128 ? char(u) : '\x01';
    }
    return base64Decode(ascii);
}

QImage missingImage()
{
    static const QImage image = [] {
        QImage placeholder(QStringLiteral(":/qt-project.org/styles/commonstyle/images/file-16.png"));
        if (placeholder.isNull()) {
            placeholder = QImage(1, 1, QImage::Format_ARGB32);
            placeholder.fill(Qt::transparent);
        }
        return placeholder;
    }();
    return image;
}

bool isStyleSheet(const QString &reference)
{
    if (!reference.startsWith(QLatin1String("RES:"), Qt::CaseInsensitive))
        return false;
    QString name = reference;
    name.remove(QLatin1String("RES:"), Qt::CaseInsensitive);
    return trimControl(name).compare(QLatin1String("STYLE_CSS"), Qt::CaseInsensitive) == 0;
}

} // namespace

std::optional<QByteArray> builtInResource(const QString &name)
{
    initPageResources();
    const QString upper = name.toUpper();
    static const QRegularExpression plainName(QStringLiteral("^[A-Z0-9_]+$"));
    if (!plainName.match(upper).hasMatch())
        return std::nullopt;
    QFile file(QStringLiteral(":/html/") + upper);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

void splitPackedPage(const QString &packed, QVector<PagePart> &parts)
{
    scanPackedContent(packed, [&parts](QString &name, QString &content) {
        parts.push_back(PagePart{trimControl(name), decodePart(content)});
    });
}

const PagePart *findPagePart(const QVector<PagePart> &parts, QStringView name)
{
    for (const PagePart &part : parts) {
        if (part.name.compare(name, Qt::CaseInsensitive) == 0)
            return &part;
    }
    return nullptr;
}

QString pageHtml(const QVector<PagePart> &parts)
{
    const PagePart *html = findPagePart(parts, u"HTML");
    return html ? decodeCp1251(html->data) : QString();
}

std::optional<QByteArray> pageStream(const QVector<PagePart> &parts, const QString &reference)
{
    if (reference.startsWith(QLatin1String("RES:"))) {
        QString name = reference;
        name.remove(QLatin1String("RES:"), Qt::CaseInsensitive);
        return builtInResource(trimControl(name));
    }
    if (const PagePart *part = findPagePart(parts, reference))
        return QByteArray(part->data.constData(), part->data.size());
    return std::nullopt;
}

QHash<QString, QString> collectReferences(const QString &html)
{
    static const QRegularExpression attribute(
        QStringLiteral("\\b(?:src|href)\\s*=\\s*(?:\"([^\"]*)\"|'([^']*)'|([^\\s>]+))"),
        QRegularExpression::CaseInsensitiveOption);
    QHash<QString, QString> references;
    auto it = attribute.globalMatch(html);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        QString value = m.captured(1);
        if (!m.hasCaptured(1))
            value = m.hasCaptured(2) ? m.captured(2) : m.captured(3);
        const QString key = QUrl(value).toString();
        // When two spellings meet in one key, the first on the page decides.
        if (!references.contains(key))
            references.insert(key, value);
    }
    return references;
}

QVariant PageResourceServer::serve(int type, const QUrl &name) const
{
    const QString key = name.toString();
    QString reference = references.value(key);
    if (reference.isEmpty()) {
        // Not written in an attribute (a CSS url(), say): the scheme came lower-cased.
        reference = name.scheme() == QLatin1String("res") ? QStringLiteral("RES:") + key.mid(4) : key;
    }
    std::optional<QByteArray> data = stream ? stream(reference) : std::nullopt;
    if (type == QTextDocument::ImageResource) {
        // The widget reads the reference as a file path when it gets no usable image; a page
        // must never reach the disk that way, so an unusable image becomes a placeholder.
        QImage image;
        if (data)
            image.loadFromData(*data);
        if (image.isNull())
            image = missingImage();
        return image;
    }
    if (data && styleFilter && type == QTextDocument::StyleSheetResource && isStyleSheet(reference))
        data = styleFilter(*data);
    if (data && !sheetSuffix.isEmpty() && type == QTextDocument::StyleSheetResource)
        data = *data + '\n' + sheetSuffix;
    // An empty answer rather than none: none would send the widget to the file system.
    return data ? QVariant(*data) : QVariant(QByteArray());
}
