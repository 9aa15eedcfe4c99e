// The request layer of the update service: one GET of the update server answered by an XML
// envelope (ServerRequest), and one GET whose body goes into a file (DownloadFile).
#pragma once

#include "text/ramuxerror.h"

#include <QByteArray>
#include <QDomElement>
#include <QFileDevice>
#include <QString>
#include <QStringList>

// A body that is not well-formed XML (an HTML error page of a proxy, plain text, a DTD with
// entity declarations, absurd nesting). Raised to the caller of ServerRequest, who decides what it ends.
class XmlAnswerError final : public RamuxError
{
public:
    using RamuxError::RamuxError;
};

// parameters: "name=value" lines, changed in place (the version line is set, replaced or removed).
// answer: always set; the DATA element's markup (tags included) when the result is 0, else empty.
// errorText: written only when the server answered with a FAIL envelope.
// Returns 0 on success, the server's err_code (1 when absent or not an integer) on a FAIL answer,
// -1 when there is no usable answer. A body that is not XML throws XmlAnswerError.
int ServerRequest(QStringList &parameters, QString &answer, QString &errorText,
                  const QString &serverAddress);

// Why the calling thread's last ServerRequest ended without an answer, for callers that report
// more than the -1 (a refused oversized answer would otherwise look like a lost connection).
enum class RequestFailure {
    None,     // an answer was read (whatever its code), or no request has been made
    NoAnswer, // no usable exchange or envelope
    TooLarge, // the body passed the cap and was refused
    Stopped,  // the transfer was stopped on request
};
RequestFailure lastRequestFailure();

// Whether the last ServerRequest on this thread got a complete HTTP answer, whatever it held:
// tells "no answer" from "an answer that is not the envelope" where both return -1.
bool lastRequestAnswered();
void forgetLastRequestAnswer();

// GET of an arbitrary URL with the client's plain defaults; on a completed exchange the body
// (whatever the HTTP status) replaces the file's content from its start. On false the file is
// left untouched. Returns whether the exchange completed.
bool DownloadFile(const QString &url, QFileDevice &file);

// True when the element carries the attribute and its value equals the given one exactly.
bool AttributeEquals(const QDomElement &element, const QString &name, const QString &value);

// The envelope read from a body, without any network: the pure part of ServerRequest.
struct EnvelopeResult
{
    int code = -1;
    QString answer;
    QString errorText;
    bool errorTextSet = false; // the caller's error text is replaced only when this is set
};
// Throws XmlAnswerError when the body is not well-formed XML, declares entities, or nests
// elements more than 256 deep.
EnvelopeResult parseEnvelope(const QByteArray &body);

// Sets the version line in place (appended when missing, removed when the version is empty).
void setVersionParameter(QStringList &parameters, const QString &version);
// The request URL: address, "?", the lines joined by "&" in list order; nothing is encoded.
// Updates the version line of the list first, as ServerRequest does.
QString buildRequestUrl(const QString &serverAddress, QStringList &parameters,
                        const QString &version);

// Bounds of every exchange. Process-wide; tests shorten the waits and shrink the body cap.
struct RequestLimits
{
    qint64 maxBodyBytes = qint64(64) * 1024 * 1024;          // ServerRequest answers are held in memory
    qint64 maxDownloadBytes = qint64(2) * 1024 * 1024 * 1024; // DownloadFile spools to disk
    int connectTimeoutMs = 90000;                           // the wait for the connection
    int stallTimeoutSec = 90;                               // each wait for data once connected
};
RequestLimits requestLimits();
void setRequestLimits(const RequestLimits &limits);
