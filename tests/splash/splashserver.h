// A loopback update server for the greeting tests: answers every request with a fixed body.
#pragma once

#include <QString>

#include <httplib.h>
#include <mutex>
#include <string>
#include <thread>

class SplashServer
{
public:
    explicit SplashServer(std::string body) : m_body(std::move(body))
    {
        m_server.Get("/api.php", [this](const httplib::Request &req, httplib::Response &res) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_actions += req.get_param_value("action");
            res.set_content(m_body, "text/xml");
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running())
            std::this_thread::yield();
    }
    ~SplashServer()
    {
        m_server.stop();
        m_thread.join();
    }
    QString address() const { return QStringLiteral("http://127.0.0.1:%1/api.php").arg(m_port); }
    QString actions()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return QString::fromStdString(m_actions);
    }

    static std::string envelope(const std::string &data)
    {
        return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><RAMUX version=\"1\"><RESULT status=\"OK\"/>" +
               data + "</RAMUX>";
    }

private:
    httplib::Server m_server;
    std::thread m_thread;
    std::mutex m_mutex;
    int m_port = 0;
    std::string m_body;
    std::string m_actions;
};
