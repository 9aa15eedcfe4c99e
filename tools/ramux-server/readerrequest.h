// A reader request as the server reads it: the decoded path, the parameters its route knows
// (first of a repeated name, names in any letter case), and the one address of that page.
// Caches in front key on the address as asked, so every other spelling of a page (unknown or
// repeated parameters, another order or letter case, "/item/0101") is sent to the canonical one.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <string>

struct ReaderRequest
{
    QString path;
    QHash<QString, QString> parameters; // known names in their own spelling, non-empty values
    QByteArray canonical;               // path and query as the pages link to them
};

// `target` is the request line's target, as sent.
ReaderRequest readReaderRequest(const std::string &target);
