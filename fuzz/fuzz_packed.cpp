// Packed content from the database or the server: the joiner must never crash, never lose what
// it gathered before an error, and keep attachments exactly as scanned.
#include "text/cp1251.h"
#include "pages/htmljoiner.h"
#include "text/packedcontent.h"
#include "text/ramuxerror.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Half of the inputs as Windows-1251 text, half as UTF-8, as both reach the joiner.
    const QByteArray raw(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString text = (size % 2) ? decodeCp1251(raw) : QString::fromUtf8(raw);
    THTMLJoiner joiner;
    joiner.AddHTML(QStringLiteral("<p>x</p>"));
    try {
        joiner.AddPacked(text);
    } catch (const RamuxError &e) {
        if (e.message() != QLatin1String("Invalid Base64 Character"))
            std::abort();
    }
    if (!joiner.body().startsWith(QLatin1String("<p>x</p>")))
        std::abort();
    const QString document = joiner.GetDocument();
    // The finished document is itself packed content: reading it back gives the same page.
    // (Attachment names may hold "<", which makes their closing tags read as new elements,
    // so the round trip is only exact for a page without attachments.)
    if (joiner.attachments().isEmpty()) {
        THTMLJoiner again;
        again.AddPacked(document);
        if (again.body() != decodeCp1251(encodeCp1251Html(joiner.body())))
            std::abort();
    }
    return 0;
}
