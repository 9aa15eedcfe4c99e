// Connections to the content file kept for reuse: one per concurrent request, never more than the
// busiest moment needed. T is made from the file's path.
#pragma once

#include <QString>
#include <memory>
#include <mutex>
#include <vector>

template <typename T> class ConnectionPool final
{
public:
    std::unique_ptr<T> acquire(const QString &path)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (!m_free.empty()) {
                auto connection = std::move(m_free.back());
                m_free.pop_back();
                return connection;
            }
        }
        return std::make_unique<T>(path);
    }
    void release(std::unique_ptr<T> connection)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_free.push_back(std::move(connection));
    }

private:
    std::mutex m_mutex;
    std::vector<std::unique_ptr<T>> m_free;
};
