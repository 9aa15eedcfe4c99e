// In-process update servers for the synchronisation tests, on 127.0.0.1 with an ephemeral port:
// a scripted one whose answers a test writes, and a content one that pages a set of rows the
// way a correct server does.
#pragma once

#include <httplib.h>

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QUrlQuery>

#include <functional>
#include <mutex>
#include <thread>

// Wraps DATA markup in a successful envelope.
inline QByteArray okEnvelope(const QByteArray &data)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ANSWER version=\"1\"><RESULT status=\"OK\"/>" + data
        + "</ANSWER>";
}

inline QByteArray failEnvelope(int code, const QByteArray &message)
{
    return "<?xml version=\"1.0\"?><ANSWER version=\"1\"><RESULT status=\"FAIL\" err_code=\""
        + QByteArray::number(code) + "\">" + message + "</RESULT></ANSWER>";
}

inline QByteArray escapeXml(const QString &text)
{
    return text.toHtmlEscaped().toUtf8();
}

class SyncServer final
{
public:
    // Gets the parsed query (names as sent) and returns the whole body to send.
    using Handler = std::function<QByteArray(const QMap<QString, QString> &query)>;

    explicit SyncServer(Handler handler) : m_handler(std::move(handler))
    {
        m_server.Get("/api.php", [this](const httplib::Request &request, httplib::Response &response) {
            const QString target = QString::fromStdString(request.target);
            QMap<QString, QString> query;
            const qsizetype q = target.indexOf(QLatin1Char('?'));
            if (q >= 0) {
                for (const QString &line : target.mid(q + 1).split(QLatin1Char('&'), Qt::SkipEmptyParts)) {
                    const qsizetype eq = line.indexOf(QLatin1Char('='));
                    query.insert(eq < 0 ? line : line.left(eq), eq < 0 ? QString() : line.mid(eq + 1));
                }
            }
            Handler handler;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_targets << target;
                handler = m_handler;
            }
            const QByteArray body = handler(query);
            response.set_content(body.toStdString(), "text/xml");
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~SyncServer()
    {
        m_server.stop();
        m_thread.join();
    }
    SyncServer(const SyncServer &) = delete;
    SyncServer &operator=(const SyncServer &) = delete;

    QString address() const { return QStringLiteral("http://127.0.0.1:%1/api.php").arg(m_port); }
    int port() const { return m_port; }
    QStringList targets() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_targets;
    }
    // The "table" parameter of every request, in order.
    QStringList tablesAsked() const
    {
        QStringList tables;
        for (const QString &target : targets())
            tables << QUrlQuery(target.mid(target.indexOf(QLatin1Char('?')) + 1)).queryItemValue(QStringLiteral("table"));
        return tables;
    }

private:
    httplib::Server m_server;
    Handler m_handler;
    int m_port = 0;
    mutable std::mutex m_mutex;
    QStringList m_targets;
    std::thread m_thread;
};

// Rows of the nine tables, paged as a correct server pages them: stamp greater than date,
// oldest first, ties by id, at most limit.
struct ContentRow
{
    qint64 id = 0;
    qint64 stamp = 0;
    bool deleted = false;
    QList<QPair<QString, QString>> fields;
};

class ContentModel final
{
public:
    void add(const QString &table, const ContentRow &row) { m_rows[table].append(row); }

    QByteArray page(const QMap<QString, QString> &query) const
    {
        const QString table = query.value(QStringLiteral("table"));
        const qint64 date = query.value(QStringLiteral("date")).toLongLong();
        const int limit = query.value(QStringLiteral("limit")).toInt();
        QList<ContentRow> rows;
        for (const ContentRow &row : m_rows.value(table))
            if (row.stamp > date)
                rows << row;
        std::sort(rows.begin(), rows.end(), [](const ContentRow &a, const ContentRow &b) {
            return a.stamp != b.stamp ? a.stamp < b.stamp : a.id < b.id;
        });
        QByteArray data = "<DATA><TABLE>";
        for (int i = 0; i < rows.size() && i < limit; ++i) {
            const ContentRow &row = rows.at(i);
            data += "<ROW id=\"" + QByteArray::number(row.id) + "\" last_update=\"" + QByteArray::number(row.stamp) + "\"";
            if (row.deleted) {
                data += " action=\"DELETE\"/>";
                continue;
            }
            data += ">";
            for (const auto &field : row.fields)
                data += "<" + field.first.toUtf8() + ">" + escapeXml(field.second) + "</" + field.first.toUtf8() + ">";
            data += "</ROW>";
        }
        data += "</TABLE></DATA>";
        return okEnvelope(data);
    }

private:
    QMap<QString, QList<ContentRow>> m_rows;
};
