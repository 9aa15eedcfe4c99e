// Cache headers of the server's answers.
#include "httpcaching.h"

#include <QCryptographicHash>
#include <QList>
#include <httplib.h>

QByteArray answerValidator(const QByteArray &version)
{
    // A hash, not qHash: that one is seeded per process, and two servers behind one cache
    // must name the same answer alike.
    return '"' + QCryptographicHash::hash(version, QCryptographicHash::Sha1).toHex().left(24) + '"';
}

namespace {

bool matchesValidator(const std::string &ifNoneMatch, const QByteArray &validator)
{
    for (QByteArray tag : QByteArray::fromStdString(ifNoneMatch).split(',')) {
        tag = tag.trimmed();
        if (tag.startsWith("W/"))
            tag.remove(0, 2);
        if (tag == validator || tag == "*")
            return true;
    }
    return false;
}

} // namespace

void setCacheableAnswer(const httplib::Request &req, httplib::Response &res, const QByteArray &body,
                        const QByteArray &validator, int maxAgeSeconds)
{
    if (validator.isEmpty()) {
        // A failure may be passing (a damaged file being replaced): no cache may keep it.
        res.set_header("Cache-Control", "no-store");
        res.set_content(body.constData(), size_t(body.size()), "text/xml; charset=UTF-8");
        return;
    }
    res.set_header("Cache-Control", "public, max-age=" + std::to_string(std::max(0, maxAgeSeconds)));
    res.set_header("ETag", validator.toStdString());
    if (req.has_header("If-None-Match") && matchesValidator(req.get_header_value("If-None-Match"), validator)) {
        res.status = 304;
        return;
    }
    res.set_content(body.constData(), size_t(body.size()), "text/xml; charset=UTF-8");
}

bool requestNamesValidator(const httplib::Request &req, const QByteArray &validator)
{
    return req.has_header("If-None-Match") &&
           matchesValidator(req.get_header_value("If-None-Match"), validator);
}
