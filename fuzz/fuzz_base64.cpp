// Base64 decoding of untrusted text: never reads past the input, errors are the one known text,
// and whatever decodes re-encodes to the same text.
#include "text/base64.h"
#include "text/ramuxerror.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), qsizetype(size));
    try {
        const QByteArray bytes = base64Decode(text);
        const QByteArray again = base64Encode(bytes);
        // Canonical input must come back unchanged; padding inside the text may differ.
        if (!text.contains('=') && again != text && !(text.isEmpty() && again.isEmpty()))
            std::abort();
    } catch (const RamuxError &e) {
        if (e.message() != QLatin1String(kInvalidBase64Character))
            std::abort();
    }
    return 0;
}
