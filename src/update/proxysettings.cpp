#include "update/proxysettings.h"

#include <QMutex>
#include <QMutexLocker>

namespace {

QMutex &proxyMutex()
{
    static QMutex mutex;
    return mutex;
}

ProxyValues &storedValues()
{
    static ProxyValues values;
    return values;
}

} // namespace

quint16 proxyPortNumber(const QString &port)
{
    const QString text = port.trimmed();
    if (text.isEmpty())
        return 8080;
    // Digits only: toUInt would also take a sign.
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return 0;
    }
    bool ok = false;
    const uint value = text.toUInt(&ok);
    return ok && value >= 1 && value <= 65535 ? quint16(value) : 0;
}

void setProxyValues(const ProxyValues &values)
{
    QMutexLocker lock(&proxyMutex());
    storedValues() = values;
}

ProxyValues proxyValues()
{
    QMutexLocker lock(&proxyMutex());
    return storedValues();
}

void clearProxyValues()
{
    setProxyValues(ProxyValues());
}
