// The four process-wide proxy values: written by the settings page as the user types, read by
// every server request on either thread. One lock covers all four so a reader never sees a mix.
#pragma once

#include <QString>

struct ProxyValues
{
    QString host; // empty: direct connection
    QString port;
    QString user;
    QString pass;

    bool operator==(const ProxyValues &o) const
    {
        return host == o.host && port == o.port && user == o.user && pass == o.pass;
    }
    bool operator!=(const ProxyValues &o) const { return !(*this == o); }
};

// The port a request connects to the proxy on: empty means 8080, the usual HTTP proxy port;
// anything but a number from 1 to 65535 gives 0, and such a request is not sent.
quint16 proxyPortNumber(const QString &port);

void setProxyValues(const ProxyValues &values);
ProxyValues proxyValues();
// Back to the empty values of a fresh process (at program end, and between tests).
void clearProxyValues();
