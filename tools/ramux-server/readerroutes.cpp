// The web reader's routes.
#include "readerroutes.h"

#include "httpcaching.h"
#include "readerrequest.h"
#include "readersite.h"

#include <QHash>
#include <httplib.h>

namespace {

// Every answer of the reader carries these, whatever its status: no script runs, not even
// one a publisher's HTML might hold; no base, form target or frame can send the reader
// elsewhere; other sites learn no address; types are never guessed; nothing sets a cookie.
void setReaderHeaders(httplib::Response &res)
{
    res.set_header("Content-Security-Policy", "default-src 'self'; img-src 'self' data:; style-src 'self'; "
                                              "base-uri 'none'; form-action 'self'; frame-ancestors 'none'");
    res.set_header("Referrer-Policy", "same-origin");
    res.set_header("X-Content-Type-Options", "nosniff");
}

} // namespace

void registerReaderRoutes(httplib::Server &server, ReaderSite &site, int maxAgeSeconds)
{
    server.Get(R"(/.*)", [&site, maxAgeSeconds](const httplib::Request &req, httplib::Response &res) {
        const ReaderRequest request = readReaderRequest(req.target);
        setReaderHeaders(res);
        if (request.canonical != QByteArray::fromStdString(req.target)) {
            // Not kept by any cache: the redirect would be one more entry per spelling.
            res.status = 301;
            res.set_header("Location", request.canonical.toStdString());
            res.set_header("Cache-Control", "no-store");
            res.set_content("<!DOCTYPE html>\n<html lang=\"ru\"><head><meta charset=\"utf-8\"><title>"
                            "Страница перенесена</title></head><body><p><a href=\"" +
                                QString::fromLatin1(request.canonical).toHtmlEscaped().toStdString() +
                                "\">Страница</a></p></body></html>",
                            "text/html; charset=UTF-8");
            return;
        }
        const ReaderAnswer answer = site.serve(request.path, request.parameters);
        res.status = answer.status;
        if (!answer.store) {
            res.set_header("Cache-Control", "no-store");
        } else {
            res.set_header("Cache-Control", "public, max-age=" + std::to_string(std::max(0, maxAgeSeconds)));
            if (!answer.validator.isEmpty()) {
                res.set_header("ETag", answer.validator.toStdString());
                if (requestNamesValidator(req, answer.validator)) {
                    res.status = 304;
                    return;
                }
            }
        }
        res.set_content(answer.body.constData(), size_t(answer.body.size()), answer.type.constData());
    });
}
