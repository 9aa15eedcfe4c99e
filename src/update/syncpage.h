// A get_table answer read into plain rows: attributes and field values as the server wrote
// them, before they are matched against a table's columns.
#pragma once

#include <QString>
#include <optional>
#include <utility>
#include <vector>

class QDomElement;

struct PageRowText
{
    // A child of TABLE that is not an element (text, a comment) is a row without an id.
    bool isElement = true;
    std::optional<QString> id;
    std::optional<QString> lastUpdate;
    std::optional<QString> action;
    // Element name and value (fieldValue's rules), in document order, repeats included.
    std::vector<std::pair<QString, QString>> fields;
};

struct SyncPageText
{
    bool hasTable = false;     // the answer holds a TABLE element
    QString detailsText;       // TABLE's update_details_text, as written
    QString detailsUrl;        // TABLE's update_details_url, as written
    int nodes = 0;             // child nodes of TABLE, rows or not
    std::vector<PageRowText> rows;
};

// The value a field element assigns: the text of a lone text node, otherwise the markup of all
// child nodes joined (an empty element gives the empty, non-null text).
QString fieldValue(const QDomElement &field);

// Reads the first TABLE under the document element. nullopt: the answer is not XML.
// Ordinary pages (rows of elements holding plain text) are read in one streaming pass; any
// other shape is read through a DOM, so both give the same rows.
std::optional<SyncPageText> readSyncPage(const QString &answer);

// The same, from a TABLE element already in a DOM.
SyncPageText syncPageFromElement(const QDomElement &table);
PageRowText rowFromElement(const QDomElement &row);
