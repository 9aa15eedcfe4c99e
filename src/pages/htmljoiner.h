// Builds one page out of plain HTML pieces and packed fields, and hands it over as packed content.
#pragma once

#include <QString>

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
