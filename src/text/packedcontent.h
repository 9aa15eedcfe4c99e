// Packed content: "<NAME>base64</NAME>" elements carrying a page's HTML and its attachments.
#pragma once

#include <QString>
#include <QStringView>
#include <functional>

// Reads packed content with the three-state machine both the joiner and the HTML view use:
// line feeds, carriage returns and spaces never reach a name or a content; everything outside
// elements, closing tags included, is ignored; an element not closed by a "<" is dropped.
// The callback gets name and content as gathered (not trimmed). An exception thrown by the
// callback stops the scan.
void scanPackedContent(QStringView text, const std::function<void(QString &name, QString &content)> &onElement);

// The HTML of packed content: every HTML element (any letter case) decoded from Base64 and
// Windows-1251, joined by a blank. Throws nothing: a fault keeps what was decoded before it.
QString packedHtml(QStringView packed);

// Removes characters with codes 0 to 32 at both ends.
QString trimControl(QStringView text);
QStringView trimControlView(QStringView text);
