// Composed pages made fit for a web browser: the internal links become the reader's paths,
// attachments become image addresses, and wide tables get a box of their own that scrolls.
// The composers' output is read, never changed, so the desktop's pages stay as they are.
#pragma once

#include "pages/links.h"

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QStringView>
#include <optional>

namespace webpage {

// Text for HTML: & < > " ' as references, so it is safe as element content and as a quoted
// attribute value alike.
QString escape(QStringView text);

// The reader's path of a record's page: /item/N, /group/N, /maker/N, /distributor/N, /dealer/N.
QString recordPath(LinkTarget target, qint64 id);

struct WebContext
{
    // The product the page belongs to: distributor and dealer links carry it as ?from=N, so
    // their pages can lead back to it.
    std::optional<qint64> fromItem;
    // Attachment names of the page (as written) and the path their addresses start with,
    // e.g. "/item/12/image/"; an img whose src names one of them gets that address.
    QSet<QString> images;
    QString imageBase;
};

// The names of a packed document's attachments (everything but its HTML element).
QSet<QString> attachmentNames(const QString &document);

// The inner HTML of a composed body for the reader: the skeleton's html/head/body wrapper
// removed; "ITEM:12" and the other internal links as paths; images named by the page as
// addresses, each with an alt (empty when the publisher gave none: they illustrate the
// text); every outermost table inside a labelled box that scrolls and takes keyboard focus.
// Everything else is the publisher's HTML as composed.
QString forWeb(const QString &composedBody, const WebContext &context);

// The media type of an image by its first bytes (PNG, GIF, JPEG, WebP, BMP); empty for
// anything else, which is never served as an image.
QByteArray imageType(const QByteArray &data);

} // namespace webpage
