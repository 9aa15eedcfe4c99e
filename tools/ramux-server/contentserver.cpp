// The HTTP shell of the reference update server.
#include "contentserver.h"

#include "requestlimits.h"
#include "serverapi.h"
#include "text/ramuxerror.h"

#include <QDateTime>
#include <httplib.h>

#include <sys/socket.h>

#include <chrono>
#include <cstdio>
#include <mutex>

#include "httpcaching.h"

namespace {

std::mutex logMutex;
thread_local std::chrono::steady_clock::time_point requestStart;

// Request targets come from the network: keep the log line one printable line.
std::string printable(const std::string &text)
{
    std::string out;
    const size_t limit = 300;
    for (size_t i = 0; i < text.size() && i < limit; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        out += (c < 0x20 || c == 0x7F) ? '?' : char(c);
    }
    if (text.size() > limit)
        out += "...";
    return out;
}

// Each request is read whole, within bounds, before it takes one of the serving threads: a
// client that sends half a request and waits, or trickles it, holds only a reading thread, and
// only until the request's deadline. A public service still runs behind nginx (README), which
// reads whole requests without a thread each.
RequestLimits limitsOf(const ServerOptions &options)
{
    RequestLimits limits;
    limits.pauseTime = std::chrono::seconds(std::max(1, options.readTimeoutSeconds));
    limits.idleTime = std::min<std::chrono::milliseconds>(std::chrono::seconds(2), limits.pauseTime);
    limits.requestTime = std::chrono::milliseconds(std::max(1, options.requestTimeoutMs));
    limits.writeTime = std::chrono::seconds(std::max(1, options.writeTimeoutSeconds));
    limits.servedAtOnce = std::max(1, options.threads);
    return limits;
}

void logLine(const std::string &remote, const std::string &method, const std::string &target, int status,
             size_t bytes, double ms)
{
    const QByteArray when = QDateTime::currentDateTime().toString(Qt::ISODateWithMs).toUtf8();
    std::lock_guard<std::mutex> lock(logMutex);
    std::fprintf(stderr, "%s %s %s %s %d %zu %.1fms\n", when.constData(), printable(remote).c_str(),
                 printable(method).c_str(), printable(target).c_str(), status, bytes, ms);
}

} // namespace

ContentServer::ContentServer(ServerApi &api, ServerOptions options)
    : m_api(api), m_options(std::move(options)),
      m_server(std::make_unique<LimitedServer>(limitsOf(m_options)))
{
    m_server->set_keep_alive_max_count(1000);
    m_server->set_payload_max_length(64 * 1024);
    // The library listens with a backlog of 5: eight clients connecting afresh for every request
    // (as the program does) overflow it, and a dropped SYN costs a second. Keep the socket so the
    // backlog can be raised once it listens.
    m_server->set_socket_options([this](socket_t sock) {
        int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
        if (m_listenSocket < 0)
            m_listenSocket = int(sock);
    });

    m_server->set_pre_routing_handler([](const httplib::Request &, httplib::Response &) {
        requestStart = std::chrono::steady_clock::now();
        return httplib::Server::HandlerResponse::Unhandled;
    });

    m_server->Get("/api.php", [this](const httplib::Request &req, httplib::Response &res) {
        QueryParameters parameters;
        for (const auto &[name, value] : req.params)
            parameters.append({QString::fromUtf8(name), QString::fromUtf8(value)});
        // httplib keeps parameters sorted by name; the first of a repeated name is the first sent.
        const ServedAnswer answer = m_api.serve(parameters);
        setCacheableAnswer(req, res, answer.body, answer.validator, m_options.maxAgeSeconds);
    });

    if (!m_options.downloadName.isEmpty()) {
        const std::string path = "/download/" + m_options.downloadName.toStdString();
        // A package says what it is, so browsers and caches that look at the type treat it right.
        const char *type = m_options.downloadName.endsWith(QLatin1String(".deb"))
                               ? "application/vnd.debian.binary-package"
                               : "application/octet-stream";
        m_server->Get(path, [this, type](const httplib::Request &, httplib::Response &res) {
            res.set_content(m_options.downloadBytes.constData(), size_t(m_options.downloadBytes.size()),
                            type);
        });
    }

    if (m_options.log) {
        m_server->set_logger([](const httplib::Request &req, const httplib::Response &res) {
            const double ms =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - requestStart)
                    .count();
            logLine(req.remote_addr, req.method, req.target, res.status, res.body.size(), ms);
        });
        // Requests refused before they are parsed: too large a head (431), not whole in time (408).
        m_server->setRefusalLog(
            [](const std::string &remote, int status) { logLine(remote, "-", "-", status, 0, 0.0); });
    }
}

ContentServer::~ContentServer()
{
    stop();
}

int ContentServer::bind()
{
    const std::string host = m_options.bind.toStdString();
    if (m_options.port == 0)
        m_port = m_server->bind_to_any_port(host);
    else
        m_port = m_server->bind_to_port(host, m_options.port) ? m_options.port : -1;
    if (m_port <= 0)
        throw RamuxError(
            QStringLiteral("Не удается открыть порт %1 на %2").arg(m_options.port).arg(m_options.bind));
    if (m_listenSocket >= 0)
        ::listen(m_listenSocket, SOMAXCONN);
    return m_port;
}

void ContentServer::run()
{
    m_server->listen_after_bind();
}

int ContentServer::start()
{
    const int port = bind();
    m_thread = std::thread([this] { run(); });
    return port;
}

void ContentServer::stop()
{
    if (m_thread.joinable()) {
        // A stop that comes before the loop is listening would be lost and the join would hang.
        for (int i = 0; i < 2000 && !m_server->is_running(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    m_server->stop();
    if (m_thread.joinable())
        m_thread.join();
}

httplib::Server &ContentServer::http()
{
    return *m_server;
}

QString ContentServer::baseUrl() const
{
    // A wildcard is no address to reach: name the loopback of the same family instead.
    QString host = m_options.bind;
    if (host == QLatin1String("0.0.0.0") || host.isEmpty())
        host = QStringLiteral("127.0.0.1");
    else if (host == QLatin1String("::") || host == QLatin1String("[::]"))
        host = QStringLiteral("::1");
    if (host.contains(QLatin1Char(':')) && !host.startsWith(QLatin1Char('[')))
        host = QLatin1Char('[') + host + QLatin1Char(']');
    return QStringLiteral("http://%1:%2").arg(host).arg(m_port);
}
