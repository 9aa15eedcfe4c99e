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
