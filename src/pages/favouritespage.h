// The favourites page: starred products, then products with a note and no star, each list by
// name in Russian order. A product that left the reference is shown by its last known name
// with its whole note, since its link would open nothing.
#pragma once

#include "pages/productpage.h"

class Database;
struct ReferenceSnapshot;

namespace favouritespage {
// The mark after the name of a product the reference no longer has.
inline QString goneMark() { return QStringLiteral(" (нет в справочнике)"); }
// How much of a note the list shows beside a product that is still there.
constexpr int kNoteStartLength = 80;
// The start of a note on one line: line breaks as blanks, cut at a word with an ellipsis.
QString noteStart(const QString &note);
} // namespace favouritespage

ComposedPage composeFavouritesPage(Database &db, const ReferenceSnapshot &snapshot);
