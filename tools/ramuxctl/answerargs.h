// What the dose and withdrawal commands share: the product link and the species argument.
#pragma once

#include "answers/productanswers.h"

#include <QString>
#include <optional>

class Database;

// "ITEM:N" (as the pages link a product); none for anything else.
std::optional<qint64> productOfLink(const QString &link);
// Whether the store has the product; when not, says so on stderr.
bool productListed(Database &db, qint64 itemId);
// The species by code or Russian name; none (with the reason on stderr) when it is not listed.
std::optional<Species> speciesArgument(Database &db, const QString &codeOrName);
// A value for one tab-separated field: control characters become blanks.
QString field(QString text);
