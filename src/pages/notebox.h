// The user's note on a product page: a framed one-cell table right after the page opening
// (the view draws table borders, not div borders), between markers so print can leave it out.
#pragma once

#include <QString>

class Database;

namespace notebox {

// Plain text as HTML: markup escaped, line breaks kept.
QString escapedText(const QString &text);
// The framed box for a note; empty for an empty note.
QString html(const QString &note);
// The box of the product's note, read from the user data; empty when it has none or the user
// data cannot be read (a page never fails for want of a note).
QString forItem(Database &db, qint64 itemId);
// The page's HTML without any note box.
QString withoutNotes(const QString &pageHtml);

} // namespace notebox
