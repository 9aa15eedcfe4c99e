// Shared by the content tests: unpack a packed field the way the page composers do.
#pragma once

#include "pages/htmljoiner.h"
#include "text/packedcontent.h"

#include <QStringList>

struct Unpacked
{
    QString html;
    QStringList attachments; // element names after HTML, in order
};

inline Unpacked unpack(const QString &packed)
{
    Unpacked out;
    THTMLJoiner joiner;
    joiner.AddPacked(packed);
    out.html = joiner.body();
    scanPackedContent(packed, [&](QString &name, QString &) {
        if (name.compare(QLatin1String("HTML"), Qt::CaseInsensitive) != 0)
            out.attachments.append(name);
    });
    return out;
}
