// A system action that tests replace: starting an installer, opening an address in the desktop.
#pragma once

#include <QMutex>
#include <functional>
#include <utility>

template <typename Signature> class Seam;

template <typename R, typename... Args> class Seam<R(Args...)> final
{
public:
    using Function = std::function<R(Args...)>;

    explicit Seam(R (*system)(Args...)) : m_system(system) {}

    // An empty function puts the system action back.
    void replace(Function replacement)
    {
        QMutexLocker locker(&m_lock);
        m_replacement = std::move(replacement);
    }

    // Runs the replacement when one is set, else the system action; may be called from any thread.
    R operator()(Args... args) const
    {
        Function replacement;
        {
            QMutexLocker locker(&m_lock);
            replacement = m_replacement;
        }
        return replacement ? replacement(std::forward<Args>(args)...) : m_system(std::forward<Args>(args)...);
    }

private:
    R (*m_system)(Args...);
    mutable QMutex m_lock;
    Function m_replacement;
};
