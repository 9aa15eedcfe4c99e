// The answers of the reference update server, independent of HTTP: a request's parameters in,
// the XML envelope out. The HTTP shell (ContentServer) and the tests both drive it.
#pragma once

#include "connectionpool.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class ContentDatabase;
struct ContentPage;

// What the command line adds to (or puts in place of) the settings of the content database.
struct ServerOffer
{
    std::optional<QString> version;
    std::optional<QString> downloadLink;
    std::optional<QString> downloadSha256;
    std::optional<QString> about;
    std::optional<QString> aboutUrl;
    std::optional<QString> detailsText;
    std::optional<QString> detailsUrl;
};

// Failure codes of the FAIL envelope.
enum class ServerFailure {
    UnknownAction = 1,
    UnknownTable = 2,
    BadDate = 3,
    BadLimit = 4,
    Internal = 5,
};

using QueryParameters = QList<QPair<QString, QString>>;

// An answer with its validator (see httpcaching.h): empty for a FAIL answer, which no cache keeps.
struct ServedAnswer
{
    QByteArray body;
    QByteArray validator;
};

class ServerApi final
{
public:
    static constexpr int kMaxLimit = 1000;
    static constexpr int kDefaultLimit = 200;
    static constexpr size_t kDefaultCacheBytes = 256u * 1024 * 1024;

    // Opens the content database once to check it; requests take connections from a pool.
    // get_table answers are kept in a cache of at most cacheBytes (0: no cache).
    explicit ServerApi(QString contentPath, ServerOffer offer = {}, size_t cacheBytes = kDefaultCacheBytes);
    ~ServerApi();
    ServerApi(const ServerApi &) = delete;
    ServerApi &operator=(const ServerApi &) = delete;

    // Before serving only: not guarded against concurrent answers.
    void setOffer(ServerOffer offer) { m_offer = std::move(offer); }

    // Safe to call from many threads at once. Never throws: every failure is a FAIL envelope.
    QByteArray answer(const QueryParameters &parameters) { return serve(parameters).body; }
    ServedAnswer serve(const QueryParameters &parameters);

    static QByteArray failEnvelope(ServerFailure code, const QString &message);
    // The <TABLE> element of a page (rows and deletions), with the details attributes if given.
    static void appendTable(QByteArray &out, const ContentPage &page, const QString &detailsText,
                            const QString &detailsUrl);
    // Appends text to XML as character data (or as an attribute value), keeping it well-formed:
    // markup characters become references, characters XML cannot carry are dropped.
    static void appendEscaped(QByteArray &out, const QByteArray &utf8, bool attribute = false);

private:
    class Lease;
    std::unique_ptr<ContentDatabase> acquire();
    void release(std::unique_ptr<ContentDatabase> db);

    QByteArray getTable(ContentDatabase &db, const QueryParameters &parameters, QByteArray *validator);
    QByteArray getSplash(ContentDatabase &db);
    QByteArray checkUpdate(ContentDatabase &db);
    std::optional<QString> setting(ContentDatabase &db, const char *key, const std::optional<QString> &given);

    // Every client that starts from an empty database asks for the same pages in the same
    // order, and a page of products is a megabyte of text: rendered answers are kept, keyed by
    // the request and the table's highest stamp. Any change of a table takes a stamp above all
    // others, so a changed table never matches an old key.
    class PageCache;
    std::unique_ptr<PageCache> m_cache;

    QString m_path;
    ServerOffer m_offer;
    ConnectionPool<ContentDatabase> m_pool;
};
