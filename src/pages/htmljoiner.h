// Builds one page out of plain HTML pieces and packed fields, and hands it over as packed content.
#pragma once

#include <QString>

// While one lives, every packed field joined on its thread passes through `filter` first (the
// web reader's allow-list of publisher HTML); the desktop joins fields as they are.
class PackedFieldFilter final
{
public:
    using Filter = QString (*)(const QString &packed);
    explicit PackedFieldFilter(Filter filter);
    ~PackedFieldFilter();
    PackedFieldFilter(const PackedFieldFilter &) = delete;
    PackedFieldFilter &operator=(const PackedFieldFilter &) = delete;

private:
    Filter m_previous;
};

class THTMLJoiner final
{
public:
    // Plain append: the text is HTML and goes into the page unchanged.
    void AddHTML(const QString &text);
    // Packed append: the HTML element (any letter case) is decoded into the page, every other
    // element is kept as an attachment. Fails with "Invalid Base64 Character"; what the page
    // received before the failing element stays.
    void AddPacked(QStringView text);
    // "<HTML>" + Base64 of the page in Windows-1251 + "</HTML>" + the attachments. The joiner
    // is not emptied.
    QString GetDocument() const;

    const QString &body() const { return m_body; }
    const QString &attachments() const { return m_attachments; }

private:
    QString m_body;
    QString m_attachments;
};
