#include "update/syncpage.h"

#include <QDomDocument>
#include <QDomElement>
#include <QTextStream>
#include <QXmlStreamReader>

namespace {

const QString kTable = QStringLiteral("TABLE");
const QString kId = QStringLiteral("id");
const QString kLastUpdate = QStringLiteral("last_update");
const QString kAction = QStringLiteral("action");
const QString kDetailsText = QStringLiteral("update_details_text");
const QString kDetailsUrl = QStringLiteral("update_details_url");

// A null QString binds NULL; every value the server sends is text, never NULL.
QString nonNull(const QString &text)
{
    return text.isNull() ? QString(QLatin1String("")) : text;
}

std::optional<QString> attributeOf(const QDomElement &element, const QString &name)
{
    if (!element.hasAttribute(name))
        return std::nullopt;
    return element.attribute(name);
}

std::optional<QString> attributeOf(const QXmlStreamAttributes &attributes, const QString &name)
{
    if (!attributes.hasAttribute(name))
        return std::nullopt;
    return attributes.value(name).toString();
}

// The streaming reader takes only what it can read exactly as a DOM would: TABLE holding row
// elements, rows holding field elements, fields holding plain text. Anything else (CDATA,
// markup in a field, text between rows, a DTD, an error) hands the page to the DOM.
enum class Streamed { Read, Unusual };

Streamed streamPage(const QString &answer, SyncPageText &page)
{
    QXmlStreamReader reader(answer);
    reader.setNamespaceProcessing(false); // names as written, as the DOM reads them

    enum class Place { Outside, InTable, InRow, InField, AfterTable };
    Place place = Place::Outside;
    int depth = 0;
    PageRowText row;
    QString fieldName;
    QString fieldText;
    int textTokens = 0;

    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        switch (token) {
        case QXmlStreamReader::StartDocument:
        case QXmlStreamReader::EndDocument:
            break;
        case QXmlStreamReader::StartElement:
            ++depth;
            if (place == Place::Outside && depth == 2 && reader.qualifiedName() == kTable) {
                place = Place::InTable;
                page.hasTable = true;
                const QXmlStreamAttributes attributes = reader.attributes();
                page.detailsText = attributes.value(kDetailsText).toString();
                page.detailsUrl = attributes.value(kDetailsUrl).toString();
            } else if (place == Place::InTable) {
                place = Place::InRow;
                row = PageRowText();
                const QXmlStreamAttributes attributes = reader.attributes();
                row.id = attributeOf(attributes, kId);
                row.lastUpdate = attributeOf(attributes, kLastUpdate);
                row.action = attributeOf(attributes, kAction);
            } else if (place == Place::InRow) {
                place = Place::InField;
                fieldName = reader.qualifiedName().toString();
                fieldText.clear();
                textTokens = 0;
            } else if (place == Place::InField) {
                return Streamed::Unusual; // markup inside a field
            }
            break;
        case QXmlStreamReader::EndElement:
            if (place == Place::InField) {
                if (textTokens > 1)
                    return Streamed::Unusual; // several text nodes: their markup is the value
                // An empty element gives the empty text, never a null one.
                row.fields.emplace_back(fieldName, nonNull(textTokens ? fieldText : QString()));
                place = Place::InRow;
            } else if (place == Place::InRow) {
                page.rows.push_back(std::move(row));
                ++page.nodes;
                place = Place::InTable;
            } else if (place == Place::InTable) {
                place = Place::AfterTable;
            }
            --depth;
            break;
        case QXmlStreamReader::Characters:
            // Whitespace alone is no node in a DOM; text directly in a row or outside TABLE is
            // never read.
            if (reader.isCDATA()) {
                if (place == Place::InTable || place == Place::InField)
                    return Streamed::Unusual;
            } else if (!reader.isWhitespace()) {
                if (place == Place::InTable)
                    return Streamed::Unusual;
                if (place == Place::InField) {
                    ++textTokens;
                    fieldText = reader.text().toString();
                }
            }
            break;
        case QXmlStreamReader::Comment:
        case QXmlStreamReader::ProcessingInstruction:
            if (place == Place::InTable || place == Place::InField)
                return Streamed::Unusual;
            break;
        default: // a DTD, an entity reference, an invalid token
            return Streamed::Unusual;
        }
    }
    return reader.hasError() ? Streamed::Unusual : Streamed::Read;
}

} // namespace

QString fieldValue(const QDomElement &field)
{
    // Only a plain text node counts as text: a CDATA section keeps its markup. Walked by
    // sibling rather than through childNodes(), which builds a list for every field.
    const QDomNode first = field.firstChild();
    if (first.isNull())
        return nonNull(QString());
    if (first.nextSibling().isNull() && first.nodeType() == QDomNode::TextNode)
        return nonNull(first.nodeValue());
    QString markup;
    QTextStream stream(&markup);
    for (QDomNode child = first; !child.isNull(); child = child.nextSibling())
        child.save(stream, -1); // -1: no indentation or line breaks added
    stream.flush();
    // The DOM writes a CR as "&#xd;"; the server writes "&#13;", and the field keeps the
    // server's spelling. Only CDATA and comments could hold that text literally.
    if (!markup.contains(QLatin1String("<![CDATA[")) && !markup.contains(QLatin1String("<!--")))
        markup.replace(QLatin1String("&#xd;"), QLatin1String("&#13;"));
    return nonNull(markup);
}

PageRowText rowFromElement(const QDomElement &row)
{
    PageRowText result;
    result.id = attributeOf(row, kId);
    result.lastUpdate = attributeOf(row, kLastUpdate);
    result.action = attributeOf(row, kAction);
    for (QDomElement field = row.firstChildElement(); !field.isNull(); field = field.nextSiblingElement())
        result.fields.emplace_back(field.tagName(), fieldValue(field));
    return result;
}

SyncPageText syncPageFromElement(const QDomElement &table)
{
    SyncPageText page;
    if (table.isNull())
        return page;
    page.hasTable = true;
    page.detailsText = table.attribute(kDetailsText);
    page.detailsUrl = table.attribute(kDetailsUrl);
    for (QDomNode node = table.firstChild(); !node.isNull(); node = node.nextSibling()) {
        ++page.nodes;
        if (node.isElement()) {
            page.rows.push_back(rowFromElement(node.toElement()));
        } else {
            PageRowText notARow;
            notARow.isElement = false;
            page.rows.push_back(std::move(notARow));
        }
    }
    return page;
}

std::optional<SyncPageText> readSyncPage(const QString &answer)
{
    SyncPageText page;
    if (streamPage(answer, page) == Streamed::Read)
        return page;
    QDomDocument document;
    if (!document.setContent(answer, false))
        return std::nullopt;
    return syncPageFromElement(document.documentElement().firstChildElement(kTable));
}
