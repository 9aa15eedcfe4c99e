// The answer envelope of every update-server exchange: whatever the body, the reader either
// refuses it as not XML or yields a result the callers can rely on: a success always carries a
// DATA element that the DOM readers after it can load, a failure never carries an answer, and
// only a FAIL envelope replaces the caller's error text.
#include "update/serverrequest.h"

#include <QDomDocument>

#include <cstdlib>

namespace {

// Depth of the deepest element, so the captured DATA stays inside the bound the reader enforces.
int elementDepth(const QDomElement &element, int depth)
{
    int deepest = depth;
    for (QDomElement child = element.firstChildElement(); !child.isNull(); child = child.nextSiblingElement())
        deepest = std::max(deepest, elementDepth(child, depth + 1));
    return deepest;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray body(reinterpret_cast<const char *>(data), qsizetype(size));
    EnvelopeResult result;
    try {
        result = parseEnvelope(body);
    } catch (const XmlAnswerError &) {
        return 0; // refused as a whole: the caller ends the run, nothing half-read escapes
    }
    if (result.code < -1)
        std::abort();
    if (result.code == 0) {
        if (!result.answer.startsWith(QLatin1String("<DATA")) || result.errorTextSet)
            std::abort();
        // Every reader after the envelope loads the answer into a DOM; the markup written back
        // from the stream must be well-formed on its own, with DATA as its document element.
        QDomDocument document;
        if (!document.setContent(result.answer, false))
            std::abort();
        const QDomElement root = document.documentElement();
        if (root.tagName() != QLatin1String("DATA"))
            std::abort();
        // DATA sits at depth 2 of the envelope, which is bounded at 256.
        if (elementDepth(root, 2) > 256)
            std::abort();
    } else {
        if (!result.answer.isEmpty())
            std::abort();
        // Only a FAIL envelope sets the error text, always to something, and its code is the
        // server's own (a negative one passes through as sent); anything else is "no answer".
        if (result.code > 0 && !result.errorTextSet)
            std::abort();
        if (!result.errorTextSet && result.code != -1)
            std::abort();
        if (result.errorTextSet && result.errorText.isEmpty())
            std::abort();
    }
    return 0;
}
