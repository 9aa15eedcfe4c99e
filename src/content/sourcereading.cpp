#include "content/sourcereading.h"

#include "content/htmlallowlist.h"
#include "content/sourcefile.h"
#include "content/sourcereader.h"
#include "text/base64.h"
#include "text/cp1251.h"
#include "text/packedcontent.h"
#include "text/utf8.h"

#include <QRegularExpression>
#include <QStringDecoder>
#include <algorithm>

namespace sourcereading {

namespace {

// A PNG bigger than this is a mistake in the sources, not an illustration.
constexpr qint64 kMaxImageBytes = 4 * 1024 * 1024;
constexpr qint64 kMaxTextBytes = 8 * 1024 * 1024;

} // namespace

using namespace sourcefields;

QString SourceReader::readText(const QString &relative) const
{
    std::optional<QString> text = readOptionalText(relative);
    if (!text)
        throw sourceError(relative, QStringLiteral("не удается открыть: нет файла"));
    return *text;
}

std::optional<QString> SourceReader::readOptionalText(const QString &relative) const
{
    const std::optional<QByteArray> read =
        sourcefile::read(m_dir, relative, kMaxTextBytes, QStringLiteral("слишком большой файл"));
    if (!read)
        return std::nullopt;
    QByteArray bytes = *read;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(bytes);
    if (decoder.hasError()) {
        // Only now look for where: the decoder does not say.
        const qsizetype bad = std::max<qsizetype>(0, invalidUtf8At(bytes));
        throw sourceError(relative, QStringLiteral("текст не в кодировке UTF-8"),
                          1 + int(bytes.left(bad).count('\n')));
    }
    text.remove(QLatin1Char('\r'));
    return text;
}

QList<ListLine> SourceReader::readList(const QString &relative, int fieldCount)
{
    QList<ListLine> lines;
    const QStringList all = readText(relative).split(QLatin1Char('\n'));
    for (int i = 0; i < all.size(); ++i) {
        if (all.at(i).trimmed().isEmpty())
            continue;
        const QStringList fields = all.at(i).split(QLatin1Char('\t'));
        if (fields.size() != fieldCount)
            error(relative, i + 1, QStringLiteral("ожидается %1 поля через табуляцию").arg(fieldCount));
        else
            lines.append({i + 1, fields});
    }
    return lines;
}

QString SourceReader::pack(const QString &html, const QString &file, int firstLine)
{
    QString packed =
        QStringLiteral("<HTML>") + Base64EncodeString(encodeCp1251Html(html)) + QStringLiteral("</HTML>");
    static const QRegularExpression src(QStringLiteral("<img\\b[^>]*?\\bsrc=\"([^\"]*)\""),
                                        QRegularExpression::CaseInsensitiveOption);
    // What the web reader's allow-list would drop is told, never refused: the desktop shows it.
    QVector<htmlallowlist::Dropped> dropped;
    const QStringList images = referencedImages(html);
    htmlallowlist::clean(html, QSet<QString>(images.begin(), images.end()), &dropped);
    for (const htmlallowlist::Dropped &d : dropped)
        warning(file, firstLine + d.line - 1, QStringLiteral("на сайте будет убрано: %1").arg(d.what));
    QStringList names;
    // Most fields have no image and no record link: skip the expressions for them.
    if (containsWord(html, "href"))
        collectPageLinks(html, file, firstLine);
    if (!containsWord(html, "src"))
        return packed;
    for (auto it = src.globalMatch(html); it.hasNext();) {
        const auto match = it.next();
        const QString name = match.captured(1);
        if (names.contains(name))
            continue;
        names.append(name);
        const int line = firstLine + lineAt(html, match.capturedStart(1)) - 1;
        guard([&] {
            packed += QLatin1Char('<') + name + QLatin1Char('>') + image(name, file, line) +
                      QStringLiteral("</") + name + QLatin1Char('>');
        });
    }
    return packed;
}

FieldValue SourceReader::packFile(const QString &relative)
{
    const std::optional<QString> read = readOptionalText(relative);
    if (!read)
        return std::nullopt;
    const QString &text = *read;
    const QString html = trimControl(text);
    if (html.isEmpty())
        return std::nullopt;
    return pack(html, relative, lineAt(text, text.indexOf(html.at(0))));
}

bool SourceReader::descriptionFolderReadable(const QString &folder)
{
    const QString fault = sourcefile::folderFault(m_dir, folder, QString(),
                                                  QStringLiteral("папка есть, но её не удается прочитать"));
    if (!fault.isEmpty())
        m_problems.errors.append(fault);
    return fault.isEmpty();
}

QString SourceReader::image(const QString &name, const QString &source, int line)
{
    auto it = m_images.constFind(name);
    if (it != m_images.constEnd())
        return *it;
    static const QRegularExpression validName(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    // The name becomes an element name of the packed content and of the server's answer;
    // an attachment named HTML would be taken for the page itself.
    if (!validName.match(name).hasMatch() || name.compare(QLatin1String("html"), Qt::CaseInsensitive) == 0)
        throw sourceError(source, QStringLiteral("недопустимое имя рисунка \"%1\"").arg(name), line);
    const QString relative = QStringLiteral("images/") + name + QStringLiteral(".png");
    std::optional<QByteArray> read;
    QString fault;
    try {
        read = sourcefile::read(m_dir, relative, kMaxImageBytes, QStringLiteral("слишком большой рисунок"));
    } catch (const RamuxError &e) {
        fault = e.message();
    }
    if (!read && fault.isEmpty())
        throw sourceError(source, QStringLiteral("нет рисунка %1").arg(relative), line);
    QString encoded;
    if (!fault.isEmpty()) {
        m_problems.errors.append(fault); // once: the image is remembered as faulty
    } else {
        const QByteArray &bytes = *read;
        // The signature and a first IHDR chunk: what every PNG starts with.
        if (!bytes.startsWith("\x89PNG\r\n\x1A\n") || bytes.size() < 33 || bytes.mid(12, 4) != "IHDR")
            error(relative, 0, QStringLiteral("не рисунок PNG"));
        else
            encoded = Base64EncodeString(bytes);
    }
    return *m_images.insert(name, encoded);
}

void SourceReader::collectPageLinks(const QString &html, const QString &file, int firstLine)
{
    // Any quoting and spacing a browser accepts: href="ITEM:1", href='ITEM:1', HREF = ITEM:1.
    static const QRegularExpression href(
        QStringLiteral("\\bhref\\s*=\\s*(?:\"\\s*(sect|item|vend|dist|deal):([^\"]*)\""
                       "|'\\s*(sect|item|vend|dist|deal):([^']*)'|(sect|item|vend|dist|deal):([^\\s>\"']*))"),
        QRegularExpression::CaseInsensitiveOption);
    static const QHash<QString, QString> tables = {{QStringLiteral("SECT"), QStringLiteral("sections")},
                                                   {QStringLiteral("ITEM"), QStringLiteral("items")},
                                                   {QStringLiteral("VEND"), QStringLiteral("vendors")},
                                                   {QStringLiteral("DIST"), QStringLiteral("distributors")},
                                                   {QStringLiteral("DEAL"), QStringLiteral("dealers")}};
    for (auto it = href.globalMatch(html); it.hasNext();) {
        const auto match = it.next();
        // One of the three alternatives matched: its kind and number are a pair of groups.
        int group = 1;
        while (group < 5 && match.capturedStart(group) < 0)
            group += 2;
        bool ok = false;
        const qint64 id = match.captured(group + 1).trimmed().toLongLong(&ok);
        const int line = firstLine + lineAt(html, match.capturedStart(0)) - 1;
        if (!ok)
            m_pageLinks.push_back({file, line, QString(), 0});
        else
            m_pageLinks.push_back({file, line, tables.value(match.captured(group).toUpper()), id});
    }
}

} // namespace sourcereading
