// The web reader's routes.
#include "readerroutes.h"

#include "httpcaching.h"
#include "readersite.h"

#include <QHash>
#include <httplib.h>

namespace {

// Every answer of the reader carries these, whatever its status: no script runs, not even
// one a publisher's HTML might hold; types are never guessed; nothing sets a cookie.
void setReaderHeaders(httplib::Response &res)
{
    res.set_header("Content-Security-Policy", "default-src 'self'; img-src 'self' data:; style-src 'self'");
    res.set_header("X-Content-Type-Options", "nosniff");
}

} // namespace

void registerReaderRoutes(httplib::Server &server, ReaderSite &site, int maxAgeSeconds)
{
    server.Get(R"(/.*)", [&site, maxAgeSeconds](const httplib::Request &req, httplib::Response &res) {
        QHash<QString, QString> parameters;
        // httplib keeps parameters sorted by name; the first of a repeated name is the first sent.
        for (const auto &[name, value] : req.params) {
            const QString key = QString::fromUtf8(name);
            if (!parameters.contains(key))
                parameters.insert(key, QString::fromUtf8(value));
        }
        const ReaderAnswer answer = site.serve(QString::fromUtf8(req.path), parameters);
        setReaderHeaders(res);
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
