// What the reader's tests share: a served content file with the reader's routes, requests
// through real HTTP, and the fixture's sources copied where a test may change them.
#pragma once

#include "contentserver.h"
#include "readerrequest.h"
#include "readerroutes.h"
#include "readersite.h"
#include "serverapi.h"

#include "text/base64.h"
#include "text/cp1251.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QUrl>
#include <QtTest>
#include <httplib.h>
#include <memory>

namespace {

struct Reply
{
    int status = 0;
    httplib::Headers headers;
    QByteArray body;
    QString text() const { return QString::fromUtf8(body); }
    std::string header(const char *name) const
    {
        auto it = headers.find(name);
        return it == headers.end() ? std::string() : it->second;
    }
};

inline void copyTree(const QString &from, const QString &to)
{
    QDir().mkpath(to);
    for (const QFileInfo &info : QDir(from).entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (info.isDir())
            copyTree(info.filePath(), to + QLatin1Char('/') + info.fileName());
        else
            QFile::copy(info.filePath(), to + QLatin1Char('/') + info.fileName());
    }
}

inline void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

inline QString packed(const QString &html)
{
    return QStringLiteral("<HTML>") + Base64EncodeString(encodeCp1251Html(html)) + QStringLiteral("</HTML>");
}

// A served content file with the reader on, as ramux-server --reader runs it.
struct ReaderServer
{
    explicit ReaderServer(const QString &content, bool demo = false)
        : api(content), site(content, ReaderOptions{demo})
    {
        ServerOptions options;
        options.port = 0;
        options.log = false;
        options.maxAgeSeconds = 7;
        server = std::make_unique<ContentServer>(api, options);
        registerReaderRoutes(server->http(), site, options.maxAgeSeconds);
        server->start();
    }

    Reply get(const QString &target, const httplib::Headers &headers = {}, bool head = false)
    {
        httplib::Client client("127.0.0.1", server->port());
        client.set_read_timeout(20);
        client.set_url_encode(false); // sent as written: a "+" in a query is a space
        // As a browser gets there: the page's own address, which any other spelling is
        // redirected to (the library would decode the redirect's Location, so it is not followed).
        std::string path = QUrl(target).toString(QUrl::FullyEncoded).toStdString();
        if (!target.startsWith(QLatin1String("/api.php")))
            path = readReaderRequest(path).canonical.toStdString();
        const auto res = head ? client.Head(path.c_str(), headers) : client.Get(path.c_str(), headers);
        if (!res)
            return {};
        return {res->status, res->headers, QByteArray::fromStdString(res->body)};
    }

    ServerApi api;
    ReaderSite site;
    std::unique_ptr<ContentServer> server;
};

inline QString h1Of(const QString &html)
{
    static const QRegularExpression h1(QStringLiteral("<h1 id=\"page-title\">(.*?)</h1>"));
    return h1.match(html).captured(1);
}

} // namespace
