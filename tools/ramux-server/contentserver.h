// The HTTP shell of the reference update server: GET /api.php answered by ServerApi, an offered
// installer under /download/<name>, one log line per request on stderr.
#pragma once

#include <QByteArray>
#include <QString>
#include <memory>
#include <thread>

class LimitedServer;
class ServerApi;
namespace httplib {
class Server;
}

struct ServerOptions
{
    QString bind = QStringLiteral("127.0.0.1");
    int port = 8642;  // 0 picks a free port
    int threads = 16; // requests served at once
    bool log = true;
    int maxAgeSeconds = 60;      // how long an HTTP cache may keep an answer
    int readTimeoutSeconds = 1;  // longest pause within a request
    int requestTimeoutMs = 5000; // a request must arrive whole within this from its first byte
    int writeTimeoutSeconds = 10; // a client taking no byte of its answer this long is dropped
    QString downloadName;        // file name served under /download/
    QByteArray downloadBytes;
};

class ContentServer final
{
public:
    ContentServer(ServerApi &api, ServerOptions options);
    ~ContentServer();
    ContentServer(const ContentServer &) = delete;
    ContentServer &operator=(const ContentServer &) = delete;

    // Binds the listening socket; returns the port. Throws RamuxError when it cannot.
    int bind();
    // Serves until stop(); bind() first.
    void run();
    // bind() and serve on a thread of its own (tests, benchmarks).
    int start();
    void stop();

    int port() const { return m_port; }
    // Further routes (the web reader) are added here before serving.
    httplib::Server &http();
    QString baseUrl() const;

private:
    ServerApi &m_api;
    ServerOptions m_options;
    std::unique_ptr<LimitedServer> m_server;
    std::thread m_thread;
    int m_port = 0;
    int m_listenSocket = -1;
};
