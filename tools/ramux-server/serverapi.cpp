// The answers of the reference update server.
#include "serverapi.h"

#include "httpcaching.h"
#include "readsnapshot.h"

#include "content/content.h"
#include "content/contentdb.h"
#include "text/utf8.h"
#include "db/schema.h"
#include "text/packedcontent.h"

#include <QHash>
#include <QRegularExpression>

#include <list>

namespace {

const QByteArray kHead =
    QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ramux version=\"1\">");
const QByteArray kTail = QByteArrayLiteral("</ramux>");

std::optional<QString> parameter(const QueryParameters &parameters, const char *name)
{
    // Names are matched without regard to letter case; the first one wins.
    for (const auto &p : parameters) {
        if (p.first.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return p.second;
    }
    return std::nullopt;
}

// Plain decimal, optionally negative, that fits a 64-bit stamp: nothing else is a number here.
std::optional<qint64> decimal(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^-?[0-9]{1,18}$"));
    if (!pattern.match(text).hasMatch())
        return std::nullopt;
    return text.toLongLong();
}

QByteArray okEnvelope(const QByteArray &data)
{
    QByteArray out;
    out.reserve(kHead.size() + data.size() + 64);
    out += kHead;
    out += "<RESULT status=\"OK\"/>";
    out += data;
    out += kTail;
    return out;
}

void appendElement(QByteArray &out, const char *name, const QString &value)
{
    out += '<';
    out += name;
    out += '>';
    ServerApi::appendEscaped(out, value.toUtf8());
    out += "</";
    out += name;
    out += '>';
}

bool isXmlName(const QString &name)
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z_][A-Za-z0-9_.-]*$"));
    return pattern.match(name).hasMatch() && !name.startsWith(QLatin1String("xml"), Qt::CaseInsensitive);
}

} // namespace

class ServerApi::PageCache
{
public:
    explicit PageCache(size_t capacity) : m_capacity(capacity) {}

    std::optional<QByteArray> find(const QByteArray &key)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_index.find(key);
        if (it == m_index.end())
            return std::nullopt;
        m_order.splice(m_order.begin(), m_order, *it); // most recently used first
        return (*it)->second;
    }

    void insert(const QByteArray &key, const QByteArray &answer)
    {
        const size_t cost = size_t(key.size() + answer.size());
        if (cost > m_capacity / 4)
            return;
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_index.contains(key))
            return;
        m_order.emplace_front(key, answer);
        m_index.insert(key, m_order.begin());
        m_used += cost;
        while (m_used > m_capacity && !m_order.empty()) {
            const auto &last = m_order.back();
            m_used -= size_t(last.first.size() + last.second.size());
            m_index.remove(last.first);
            m_order.pop_back();
        }
    }

private:
    using Entry = std::pair<QByteArray, QByteArray>;
    const size_t m_capacity;
    std::mutex m_mutex;
    size_t m_used = 0;
    std::list<Entry> m_order;
    QHash<QByteArray, std::list<Entry>::iterator> m_index;
};

class ServerApi::Lease
{
public:
    explicit Lease(ServerApi &api) : m_api(api), m_db(api.acquire()) {}
    ~Lease()
    {
        if (m_db)
            m_api.release(std::move(m_db));
    }
    ContentDatabase &db() { return *m_db; }

private:
    ServerApi &m_api;
    std::unique_ptr<ContentDatabase> m_db;
};

ServerApi::ServerApi(QString contentPath, ServerOffer offer, size_t cacheBytes)
    : m_cache(cacheBytes > 0 ? std::make_unique<PageCache>(cacheBytes) : nullptr),
      m_path(std::move(contentPath)), m_offer(std::move(offer))
{
    release(std::make_unique<ContentDatabase>(m_path)); // a bad file fails here, not at the first request
}

ServerApi::~ServerApi() = default;

std::unique_ptr<ContentDatabase> ServerApi::acquire()
{
    return m_pool.acquire(m_path);
}

void ServerApi::release(std::unique_ptr<ContentDatabase> db)
{
    m_pool.release(std::move(db));
}

ServedAnswer ServerApi::serve(const QueryParameters &parameters)
{
    ServedAnswer served;
    try {
        const QString action = parameter(parameters, "action").value_or(QString());
        if (action != QLatin1String("get_table") && action != QLatin1String("get_splash") &&
            action != QLatin1String("check_update"))
            return {failEnvelope(ServerFailure::UnknownAction,
                                 QStringLiteral("Неизвестное действие: %1").arg(action.left(64))),
                    QByteArray()};
        Lease lease(*this);
        if (action == QLatin1String("get_table")) {
            served.body = getTable(lease.db(), parameters, &served.validator);
            return served;
        }
        // Small answers built from settings: the answer itself is its version.
        served.body = action == QLatin1String("get_splash") ? getSplash(lease.db()) : checkUpdate(lease.db());
        served.validator = answerValidator(served.body);
        return served;
    } catch (const std::exception &e) {
        qWarning("ramux-server: %s", e.what());
    } catch (...) {
    }
    return {failEnvelope(ServerFailure::Internal, QStringLiteral("Внутренняя ошибка сервера")), QByteArray()};
}

QByteArray ServerApi::failEnvelope(ServerFailure code, const QString &message)
{
    QByteArray out = kHead;
    out += "<RESULT status=\"FAIL\" err_code=\"" + QByteArray::number(int(code)) + "\">";
    appendEscaped(out, message.toUtf8());
    out += "</RESULT>";
    out += kTail;
    return out;
}

QByteArray ServerApi::getTable(ContentDatabase &db, const QueryParameters &parameters, QByteArray *validator)
{
    const QString table = parameter(parameters, "table").value_or(QString());
    // The structured tables only when the file has them: an older file answers as an older server.
    if (!schema::isServedTable(table) || !db.serves(table))
        return failEnvelope(ServerFailure::UnknownTable,
                            QStringLiteral("Неизвестная таблица: %1").arg(table.left(64)));
    qint64 after = 0;
    if (const auto text = parameter(parameters, "date")) {
        const auto value = decimal(*text);
        if (!value)
            return failEnvelope(ServerFailure::BadDate, QStringLiteral("Неверное значение date"));
        after = *value;
    }
    qint64 limit = kDefaultLimit;
    if (const auto text = parameter(parameters, "limit")) {
        const auto value = decimal(*text);
        if (!value || *value < 1 || *value > kMaxLimit)
            return failEnvelope(ServerFailure::BadLimit,
                                QStringLiteral("Значение limit должно быть от 1 до %1").arg(kMaxLimit));
        limit = *value;
    }
    ReadSnapshot snapshot(db.database());
    QString detailsText, detailsUrl;
    if (table == QLatin1String("items")) {
        detailsText = setting(db, contentmeta::DetailsText, m_offer.detailsText).value_or(QString());
        detailsUrl = setting(db, contentmeta::DetailsUrl, m_offer.detailsUrl).value_or(QString());
    }
    // Everything the answer depends on; also its HTTP validator.
    const QByteArray key = (QStringList{table, QString::number(after), QString::number(limit),
                                        QString::number(db.highestStamp(table)), detailsText, detailsUrl})
                               .join(QLatin1Char('\n'))
                               .toUtf8();
    *validator = answerValidator(key);
    if (m_cache) {
        if (auto hit = m_cache->find(key))
            return *hit;
    }
    const ContentPage page = db.readPage(table, after, int(limit));
    QByteArray out = kHead;
    out += "<RESULT status=\"OK\"/><DATA>";
    appendTable(out, page, detailsText, detailsUrl);
    out += "</DATA>";
    out += kTail;
    if (m_cache)
        m_cache->insert(key, out);
    return out;
}

void ServerApi::appendTable(QByteArray &out, const ContentPage &page, const QString &detailsText,
                            const QString &detailsUrl)
{
    QList<QByteArray> names;
    for (const QString &column : page.columns)
        names.append(column.toUtf8());
    size_t size = 64;
    for (const ContentPageRow &row : page.rows) {
        size += 64;
        for (const auto &value : row.values)
            size += value ? size_t(value->size()) + 40 : 0;
    }
    out.reserve(out.size() + qsizetype(size + size / 16));
    out += "<TABLE";
    if (!detailsText.isEmpty()) {
        out += " update_details_text=\"";
        appendEscaped(out, detailsText.toUtf8(), true);
        out += '"';
    }
    if (!detailsUrl.isEmpty()) {
        out += " update_details_url=\"";
        appendEscaped(out, detailsUrl.toUtf8(), true);
        out += '"';
    }
    out += '>';
    for (const ContentPageRow &row : page.rows) {
        out += "<ROW id=\"" + QByteArray::number(row.id) + "\" last_update=\"" +
               QByteArray::number(row.stamp) + '"';
        if (row.deleted) {
            out += " action=\"DELETE\"/>";
            continue;
        }
        out += '>';
        // A NULL column is left out rather than sent empty: the client stores an empty element
        // as an empty string, while a row it appends keeps NULL in every column not mentioned.
        // A column cleared since it had a value arrives here as an empty value and is sent.
        for (size_t i = 0; i < row.values.size() && i < size_t(names.size()); ++i) {
            if (!row.values[i])
                continue;
            out += '<';
            out += names.at(qsizetype(i));
            out += '>';
            appendEscaped(out, *row.values[i]);
            out += "</";
            out += names.at(qsizetype(i));
            out += '>';
        }
        out += "</ROW>";
    }
    out += "</TABLE>";
}

QByteArray ServerApi::getSplash(ContentDatabase &db)
{
    QByteArray data = "<DATA>";
    const QString greeting = db.meta(QString::fromLatin1(contentmeta::Greeting)).value_or(QString());
    if (!trimControl(greeting).isEmpty()) {
        data += "<PAGE>";
        // The page's children are the elements of the packed content, each as an element of its own.
        scanPackedContent(greeting, [&](QString &name, QString &content) {
            if (!isXmlName(name))
                return;
            const QByteArray tag = name.toUtf8();
            data += '<' + tag + '>';
            appendEscaped(data, content.toUtf8());
            data += "</" + tag + '>';
        });
        data += "</PAGE>";
    }
    data += "</DATA>";
    return okEnvelope(data);
}

QByteArray ServerApi::checkUpdate(ContentDatabase &db)
{
    QByteArray data = "<DATA>";
    const struct
    {
        const char *element;
        const char *key;
        const std::optional<QString> &given;
    } fields[] = {
        {"VERSION", contentmeta::ProgramVersion, m_offer.version},
        {"DL_LINK", contentmeta::DownloadLink, m_offer.downloadLink},
        {"DL_SHA256", contentmeta::DownloadSha256, m_offer.downloadSha256},
        {"ABOUT", contentmeta::About, m_offer.about},
        {"ABOUT_URL", contentmeta::AboutUrl, m_offer.aboutUrl},
    };
    for (const auto &f : fields) {
        // A digest belongs to the file it was made of: a link given in place of the stored one
        // takes only the digest given with it (the offered file's), never the stored one.
        const bool digest = f.key == contentmeta::DownloadSha256;
        const auto value =
            digest && m_offer.downloadLink ? m_offer.downloadSha256 : setting(db, f.key, f.given);
        if (value && !value->isEmpty())
            appendElement(data, f.element, *value);
    }
    data += "</DATA>";
    return okEnvelope(data);
}

std::optional<QString> ServerApi::setting(ContentDatabase &db, const char *key,
                                          const std::optional<QString> &given)
{
    if (given)
        return given;
    return db.meta(QString::fromLatin1(key));
}

void ServerApi::appendEscaped(QByteArray &out, const QByteArray &utf8, bool attribute)
{
    const char *const begin = utf8.constData();
    const auto *p = reinterpret_cast<const unsigned char *>(begin);
    const auto *end = p + utf8.size();
    out.reserve(out.size() + utf8.size() + 64);
    while (p < end) {
        // Long stretches need no escaping (packed fields are Base64): copy them in one go.
        const auto *run = p;
        while (run < end && *run >= 0x20 && *run < 0x80 && *run != '&' && *run != '<' && *run != '>' &&
               !(attribute && *run == '"'))
            ++run;
        if (run > p) {
            out.append(reinterpret_cast<const char *>(p), run - p);
            p = run;
            if (p >= end)
                break;
        }
        const unsigned char c = *p;
        if (c < 0x80) {
            switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break; // reached only inside attributes
            case '\r':
                out += "&#13;";
                break; // a raw CR would be folded into LF by the parser
            case '\n':
                out += attribute ? "&#10;" : "\n";
                break;
            case '\t':
                out += attribute ? "&#9;" : "\t";
                break;
            default:
                break; // other control characters cannot appear in XML 1.0 at all
            }
            ++p;
            continue;
        }
        // Multi-byte sequence: copied when it is valid UTF-8 of a character XML allows.
        char32_t cp = 0;
        const int length = utf8SequenceAt(p, end - p, &cp);
        const bool valid = length > 0 && cp != 0xFFFE && cp != 0xFFFF;
        if (valid) {
            out.append(reinterpret_cast<const char *>(p), length);
            p += length;
        } else {
            out += "\xEF\xBF\xBD"; // U+FFFD for a broken byte
            ++p;
        }
    }
}
