// The plain text of a packed page field, as the reader sees it: the HTML element decoded
// (Base64, Windows-1251), tags dropped, character references resolved, blanks collapsed.
#pragma once

#include <QString>
#include <QStringView>

// Throws nothing: a field that cannot be decoded gives what was decoded before the fault.
QString packedToPlainText(QStringView packed);
// The text of an HTML fragment.
QString htmlToPlainText(QStringView html);
