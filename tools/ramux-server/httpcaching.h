// What makes the server's answers cacheable by a standard HTTP cache in front of it: the
// Cache-Control of OK and FAIL answers, a validator from the content version, and the 304
// answer to a request that already holds the current version.
#pragma once

#include <QByteArray>

namespace httplib {
struct Request;
struct Response;
} // namespace httplib

// A strong entity tag from a text that changes whenever the answer can change (for a page: the
// request and its table's highest stamp). The same on every process serving the same file.
QByteArray answerValidator(const QByteArray &version);

// Sets body and headers: OK answers carry "public, max-age=N" and the validator (and become
// 304 without a body when the request's If-None-Match names it); FAIL answers "no-store".
void setCacheableAnswer(const httplib::Request &req, httplib::Response &res, const QByteArray &body,
                        const QByteArray &validator, int maxAgeSeconds);

// Whether the request's If-None-Match names the validator (or is "*").
bool requestNamesValidator(const httplib::Request &req, const QByteArray &validator);
