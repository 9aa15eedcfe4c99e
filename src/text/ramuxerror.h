// The one exception type of the program: carries the text the user may be shown.
#pragma once

#include <QString>
#include <stdexcept>

class RamuxError : public std::runtime_error
{
public:
    explicit RamuxError(const QString &message)
        : std::runtime_error(message.toStdString()), m_message(message)
    {
    }
    const QString &message() const noexcept { return m_message; }

private:
    QString m_message;
};
