// The get_splash answer is stored and shown at every start. Through the real path (envelope,
// then the page reader): the joined page is stable when stored and read again as a page, and
// it goes through the page joiner the splash uses without anything but the known Base64 error.
#include "pages/htmljoiner.h"
#include "text/ramuxerror.h"
#include "update/greeting.h"
#include "update/serverrequest.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray body(reinterpret_cast<const char *>(data), qsizetype(size));
    EnvelopeResult envelope;
    try {
        envelope = parseEnvelope(body);
    } catch (const XmlAnswerError &) {
        return 0;
    }
    if (envelope.code != 0)
        return 0;

    QString page;
    try {
        page = joinGreetingPage(envelope.answer);
    } catch (const RamuxError &e) {
        // The envelope already accepted this markup as well-formed XML.
        std::fprintf(stderr, "greeting refused: %s\n", qPrintable(e.message()));
        std::abort();
    }

    // The page written back under a PAGE element joins to itself.
    QString again;
    try {
        again = joinGreetingPage(QStringLiteral("<DATA><PAGE>") + page + QStringLiteral("</PAGE></DATA>"));
    } catch (const RamuxError &) {
        std::abort();
    }
    // A processing instruction is written back followed by a line break, so each pass may
    // add line breaks after one; apart from those the page must not change.
    auto withoutBreaks = [](QString text) { return text.remove(QLatin1Char('\n')); };
    if (withoutBreaks(again) != withoutBreaks(page))
        std::abort();

    THTMLJoiner joiner;
    try {
        joiner.AddPacked(page);
    } catch (const RamuxError &e) {
        if (e.message() != QLatin1String("Invalid Base64 Character"))
            std::abort();
    }
    joiner.GetDocument();
    return 0;
}
