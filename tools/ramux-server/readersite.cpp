// The web reader: connections, the shared model and the routing of paths to pages.
#include "readersite.h"

#include "httpcaching.h"
#include "readerpages.h"
#include "readsnapshot.h"

#include "content/content.h"
#include "content/contentdb.h"
#include "db/schema.h"
#include "pages/webpage.h"
#include "search/textindex.h"

#include <QRegularExpression>

// One pooled connection with its version query prepared once.
struct ReaderConnection
{
    explicit ReaderConnection(const QString &path) : content(path)
    {
        QStringList parts;
        for (const QString &table : schema::dataTables())
            parts << QStringLiteral("(SELECT coalesce(max(last_update), 0) FROM %1)")
                         .arg(quoteIdentifier(table));
        // The structured rows feed the calculator; a file written before them has none.
        Database &db = content.database();
        for (const QString &table : schema::structuredTables()) {
            if (db.hasTable(table) && db.findColumn(table, QStringLiteral("last_update")))
                parts << QStringLiteral("(SELECT coalesce(max(last_update), 0) FROM %1)")
                             .arg(quoteIdentifier(table));
        }
        parts << QStringLiteral("(SELECT coalesce(max(last_update), 0) FROM tombstones)");
        parts << QStringLiteral("(SELECT value FROM meta WHERE key = '%1')")
                     .arg(QString::fromLatin1(contentmeta::PublishedAt));
        version = content.database().prepare(QStringLiteral("SELECT ") + parts.join(QStringLiteral(", ")));
    }

    ContentDatabase content;
    Statement version;
};

namespace {

// Raised when the pages change shape, so caches holding pages of an older server let them go.
const QByteArray kMarkupRevision = "reader-3";

QByteArray contentVersion(ReaderConnection &connection, bool demo)
{
    Statement &st = connection.version;
    st.reset();
    QByteArray version = kMarkupRevision;
    if (st.step()) {
        for (int i = 0; i < st.columnCount(); ++i)
            version += '\n' + st.text(i).toUtf8();
    }
    st.reset();
    version += textindex::isUsable(connection.content.database()) ? "\nindex" : "\nnames";
    version += demo ? "\ndemo" : "\ncontent";
    return version;
}

// The record kind a path's first word names; false for any other word.
bool kindOf(const QString &word, LinkTarget *kind)
{
    for (LinkTarget k : {LinkTarget::Item, LinkTarget::Section, LinkTarget::Vendor, LinkTarget::Distributor,
                         LinkTarget::Dealer}) {
        if (webpage::recordPath(k, 0) == QLatin1Char('/') + word + QLatin1String("/0")) {
            *kind = k;
            return true;
        }
    }
    return false;
}

// A record id as the paths write it: plain decimal digits that fit the record keys.
std::optional<qint64> idOf(const QString &text)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,10}$"));
    if (!digits.match(text).hasMatch())
        return std::nullopt;
    return text.toLongLong();
}

ReaderAnswer failure()
{
    ReaderAnswer answer;
    answer.status = 500;
    answer.store = false;
    answer.body =
        "<!DOCTYPE html>\n<html lang=\"ru\"><head><meta charset=\"utf-8\"><title>Ошибка сервера</title>"
        "</head><body><main><h1>Ошибка сервера</h1><p>Страницу не удалось составить. "
        "Попробуйте открыть её позже.</p><p><a href=\"/\">На главную</a></p></main></body></html>";
    return answer;
}

} // namespace

ReaderSite::ReaderSite(QString contentPath, ReaderOptions options)
    : m_path(std::move(contentPath)), m_options(options)
{
    // A bad file fails here, and the lists are made before the first reader waits for them.
    auto connection = std::make_unique<ReaderConnection>(m_path);
    {
        ReadSnapshot snapshot(connection->content.database());
        modelFor(*connection, contentVersion(*connection, m_options.demo));
    }
    release(std::move(connection));
}

ReaderSite::~ReaderSite() = default;

std::unique_ptr<ReaderConnection> ReaderSite::acquire()
{
    return m_pool.acquire(m_path);
}

void ReaderSite::release(std::unique_ptr<ReaderConnection> connection)
{
    m_pool.release(std::move(connection));
}

std::shared_ptr<const ReaderModel> ReaderSite::modelFor(ReaderConnection &connection,
                                                        const QByteArray &version)
{
    // One request builds a new model at a time; the others wanting the same state wait for it.
    std::lock_guard<std::mutex> lock(m_modelMutex);
    if (!m_model || m_model->version != version)
        m_model = buildReaderModel(connection.content.database(), version);
    return m_model;
}

ReaderAnswer ReaderSite::serve(const QString &path, const QHash<QString, QString> &parameters)
{
    if (path == QLatin1String(stylePath())) {
        ReaderAnswer answer;
        answer.type = "text/css; charset=UTF-8";
        answer.body = styleSheet();
        answer.validator = answerValidator(kMarkupRevision + '\n' + answer.body);
        return answer;
    }
    try {
        std::unique_ptr<ReaderConnection> connection = acquire();
        ReaderAnswer answer = serveWith(*connection, path, parameters);
        release(std::move(connection));
        return answer;
    } catch (const std::exception &e) {
        qWarning("ramux-server: reader: %s", e.what());
    } catch (...) {
    }
    return failure();
}

ReaderAnswer ReaderSite::serveWith(ReaderConnection &connection, const QString &path,
                                   const QHash<QString, QString> &parameters)
{
    Database &db = connection.content.database();
    ReadSnapshot snapshot(db);
    const QByteArray version = contentVersion(connection, m_options.demo);
    const std::shared_ptr<const ReaderModel> model = modelFor(connection, version);
    const ReaderContext context{*model, db, m_options.demo};

    ReaderAnswer answer = [&]() -> ReaderAnswer {
        if (path == QLatin1String("/"))
            return readerpages::home(context);
        if (path == QLatin1String("/search"))
            return readerpages::search(context, parameters.value(QStringLiteral("q")));
        if (path == QLatin1String("/groups"))
            return readerpages::groups(context);
        if (path == QLatin1String("/makers"))
            return readerpages::makers(context);
        if (path.startsWith(QLatin1String("/letter/")))
            return readerpages::letter(context, path.mid(8));
        static const QRegularExpression recordPath(
            QStringLiteral("^/([a-z]+)/([0-9]+)(?:/image/([^/]{1,100}))?$"));
        const QRegularExpressionMatch m = recordPath.match(path);
        LinkTarget kind = LinkTarget::Item;
        const std::optional<qint64> id = m.hasMatch() ? idOf(m.captured(2)) : std::nullopt;
        if (!id || !kindOf(m.captured(1), &kind))
            return readerpages::notFound(context);
        if (m.hasCaptured(3))
            return readerpages::image(context, kind, *id, m.captured(3));
        std::optional<qint64> from;
        if (kind == LinkTarget::Distributor || kind == LinkTarget::Dealer)
            from = idOf(parameters.value(QStringLiteral("from")));
        return readerpages::record(context, kind, *id, from, parameters);
    }();
    if (answer.status == 200) {
        // Everything the page depends on: the state of the content and what was asked.
        QByteArray key = version + '\n' + path.toUtf8();
        for (const char *name : {"q", "from", "species", "weight", "form", "route", "indication", "last"})
            key += '\n' + parameters.value(QString::fromLatin1(name)).toUtf8();
        answer.validator = answerValidator(key);
    }
    return answer;
}

const char *ReaderSite::stylePath()
{
    return "/reader.css";
}
