// A thin shell over one libcurl transfer: a GET with our own header lines, an optional proxy,
// bounded waits, and the body handed to a sink as it arrives. One easy and one multi handle per
// call, released before returning, so no connection outlives its request.
#pragma once

#include "update/proxysettings.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstddef>
#include <functional>

struct HttpGet
{
    QByteArray url;            // what curl connects to (scheme, authority, path)
    QByteArray requestTarget;  // when set, written verbatim on the request line instead of url's path
    QList<QByteArray> headers; // header lines in order; "Name:" alone suppresses curl's own line
    QByteArray userAgent;      // empty: no User-Agent from curl (a header line may carry one)
    ProxyValues proxy;         // empty host: direct, whatever the environment says
    int connectTimeoutMs = 90000;
    int stallTimeoutSec = 90;  // once connected, this long without data ends the transfer
    qint64 maxBodyBytes = -1;  // -1: no cap
};

enum class HttpOutcome {
    Completed, // the exchange ended normally; any HTTP status
    Failed,    // no connection, name not resolved, time-out, connection dropped mid-body
    TooLarge,  // the body passed maxBodyBytes; the transfer was cut off
    Aborted,   // the sink refused data, the calling thread was asked to stop, or all transfers were
};

// Receives the body in pieces; returns false to abort the transfer.
using HttpBodySink = std::function<bool(const char *data, std::size_t size)>;

// Runs the transfer on the calling thread. On the application's main thread pending events are
// processed between short polls, so windows stay responsive while the request runs.
HttpOutcome performHttpGet(const HttpGet &request, const HttpBodySink &sink,
                           QString *errorText = nullptr);

// Stops every transfer of the process, running or still to come, within one poll: what a
// console program's Ctrl-C asks for. Safe to call from a signal handler.
void stopAllTransfers() noexcept;
bool allTransfersStopped() noexcept;
