// The web reader: the reference as web pages, from the same content file the update server
// serves, composed by the desktop's own page composers. Independent of HTTP: a path and its
// parameters in, an answer out; the routes (readerroutes.h) and the tests both drive it.
#pragma once

#include "connectionpool.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <memory>
#include <mutex>
#include <vector>

struct ReaderModel;
struct ReaderConnection;

struct ReaderAnswer
{
    int status = 200;
    QByteArray type = "text/html; charset=UTF-8";
    QByteArray body;
    // A validator for an answer that may be kept (see httpcaching.h); empty: not to be
    // revalidated (404s), and `store` false: kept by no cache at all (failures).
    QByteArray validator;
    bool store = true;
};

struct ReaderOptions
{
    bool demo = false; // the illustrative-content notice on every page
};

class ReaderSite final
{
public:
    // Opens the content file once to check it; requests take connections from a pool.
    ReaderSite(QString contentPath, ReaderOptions options);
    ~ReaderSite();
    ReaderSite(const ReaderSite &) = delete;
    ReaderSite &operator=(const ReaderSite &) = delete;

    // The answer for a decoded path and its query parameters (first of a repeated name).
    // Safe from many threads at once; never throws.
    ReaderAnswer serve(const QString &path, const QHash<QString, QString> &parameters);

    // The style sheet's path and text.
    static const char *stylePath();
    static QByteArray styleSheet();

private:
    ReaderAnswer serveWith(ReaderConnection &connection, const QString &path,
                           const QHash<QString, QString> &parameters);
    std::shared_ptr<const ReaderModel> modelFor(ReaderConnection &connection, const QByteArray &version);
    std::unique_ptr<ReaderConnection> acquire();
    void release(std::unique_ptr<ReaderConnection> connection);

    QString m_path;
    ReaderOptions m_options;
    ConnectionPool<ReaderConnection> m_pool;
    // Rebuilt when the content changes; requests already under way keep the one they hold.
    std::mutex m_modelMutex;
    std::shared_ptr<const ReaderModel> m_model;
};
