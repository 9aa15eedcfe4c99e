// Reading a sheet's products from the client store: each line's rows as of today, and the
// instruction sections the printout may carry.
#pragma once

#include "answers/sheet.h"

class Database;

// The product's rows and name today; a product the reference no longer has keeps `lastName`
// and `lastQuote` and is marked as gone.
SheetLineInput loadSheetLine(Database &db, qint64 itemId, const SheetChoice &choice,
                             const std::optional<QDateTime> &lastDose, const QString &lastName = {},
                             const QString &lastQuote = {});

// A section of the product's instruction as plain text: "side_effects" or "storage_instructions".
QString productSectionText(Database &db, qint64 itemId, const QString &column);

struct SheetPrintOptions;
// The printout's settings as the user left them: clinic, vet, the chosen sections of each
// product and the "data as of" line. Whether the reference is the demo is the caller's to set
// (demoreference::holdsDemo), once: the stored greeting it reads can be megabytes.
SheetPrintOptions sheetPrintOptions(Database &db, const SheetComposition &sheet);
