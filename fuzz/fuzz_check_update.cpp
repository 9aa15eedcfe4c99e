// The check_update answer decides which file is downloaded and started. Through the real path
// (envelope, then the offer reader): a digest is either absent or well-formed, the installer
// name can only land inside the temporary folder, and an offer written back as DATA reads the same.
#include "text/ramuxerror.h"
#include "update/programupdate.h"
#include "update/serverrequest.h"

#include <QDir>
#include <QDomDocument>
#include <QFileInfo>

#include <cstdlib>

namespace {

QString rewritten(const ProgramUpdateOffer &offer)
{
    QDomDocument document;
    QDomElement data = document.createElement(QStringLiteral("DATA"));
    document.appendChild(data);
    const std::pair<const char *, QString> values[] = {
        {"VERSION", offer.version}, {"DL_LINK", offer.downloadLink}, {"ABOUT", offer.about},
        {"ABOUT_URL", offer.aboutUrl}, {"DL_SHA256", offer.sha256}};
    for (const auto &[name, value] : values) {
        QDomElement element = document.createElement(QLatin1String(name));
        element.appendChild(document.createTextNode(value));
        data.appendChild(element);
    }
    return document.toString(-1);
}

// Whitespace-only text is not content to a DOM, so such a value reads back empty.
bool sameValue(const QString &before, const QString &after)
{
    return before == after || (before.trimmed().isEmpty() && after.isEmpty());
}

} // namespace

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

    ProgramUpdateOffer offer;
    try {
        offer = parseProgramUpdateAnswer(envelope.answer);
    } catch (const RamuxError &) {
        return 0; // ends the update run with a message; nothing is downloaded
    }

    if (!offer.sha256.isEmpty()) {
        if (offer.sha256.size() != 64)
            std::abort();
        for (QChar c : offer.sha256)
            if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f')))
                std::abort();
    }

    const QString name = installerFileName(offer.downloadLink);
    if (name.contains(u'/'))
        std::abort();
    if (isUsableInstallerFileName(name)) {
        // The folder the file is created in is exactly the temporary folder, never above it.
        const QString folder = QStringLiteral("/tmp/ramux-fuzz/");
        const QFileInfo target(folder + name);
        if (QDir::cleanPath(target.absolutePath()) != QDir::cleanPath(folder))
            std::abort();
        if (target.fileName() != name)
            std::abort();
    }

    ProgramUpdateOffer again;
    try {
        again = parseProgramUpdateAnswer(rewritten(offer));
    } catch (const RamuxError &) {
        std::abort(); // an offer we produced ourselves must read back
    }
    if (!sameValue(offer.version, again.version) || !sameValue(offer.downloadLink, again.downloadLink)
        || !sameValue(offer.about, again.about) || !sameValue(offer.aboutUrl, again.aboutUrl)
        || offer.sha256 != again.sha256)
        std::abort();
    return 0;
}
