#include "update/serverrequest.h"

#include "text/commonfunc.h"
#include "update/httpclient.h"
#include "update/proxysettings.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QMutex>
#include <QTemporaryFile>
#include <QXmlStreamReader>
#include <QThread>
#include <QXmlStreamWriter>

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

Q_LOGGING_CATEGORY(lcRequest, "ramux.update.request")

namespace {

QMutex limitsMutex;
RequestLimits currentLimits;

thread_local RequestFailure t_lastFailure = RequestFailure::None;

const QString unknownError = QStringLiteral("Неизвестная ошибка");

// The server address split for curl: what to connect to, the host for our own Host line, and
// the request target to write verbatim (curl would otherwise normalise and re-encode it).
struct ServerUrl
{
    QByteArray connectUrl;  // scheme://host[:port]/
    QByteArray hostName;    // without port or user info
    QByteArray originForm;  // "/path?query" for a direct request
    QByteArray absoluteForm; // scheme://host[:port]/path?query for a request through a proxy
};

bool splitServerUrl(const QString &url, ServerUrl &out)
{
    const QByteArray bytes = url.toUtf8();
    // Written on the request line as they are: a space or control character would break the
    // line (or smuggle a header), so such an address is refused rather than sent.
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u == 0x7f)
            return false;
    }
    const int schemeEnd = bytes.indexOf("://");
    if (schemeEnd <= 0)
        return false;
    const QByteArray scheme = bytes.left(schemeEnd).toLower();
    if (scheme != "http" && scheme != "https")
        return false;
    const int authorityStart = schemeEnd + 3;
    int authorityEnd = bytes.size();
    for (int i = authorityStart; i < bytes.size(); ++i) {
        const char c = bytes.at(i);
        if (c == '/' || c == '?' || c == '#') {
            authorityEnd = i;
            break;
        }
    }
    const QByteArray authority = bytes.mid(authorityStart, authorityEnd - authorityStart);
    const QByteArray rest = bytes.mid(authorityEnd);
    const QByteArray hostPort = authority.mid(authority.lastIndexOf('@') + 1);
    QByteArray host;
    if (hostPort.startsWith('[')) {
        const int close = hostPort.indexOf(']');
        if (close < 0)
            return false;
        host = hostPort.left(close + 1);
    } else {
        host = hostPort.left(hostPort.indexOf(':') < 0 ? hostPort.size() : hostPort.indexOf(':'));
    }
    if (host.isEmpty())
        return false;
    // User information stays out of what curl is given: it would add an Authorization line of
    // its own, and the request carries exactly the lines we set.
    out.connectUrl = scheme + "://" + hostPort + '/';
    out.hostName = host;
    out.originForm = rest.startsWith('/') ? rest : QByteArray("/") + rest;
    out.absoluteForm = scheme + "://" + hostPort + out.originForm;
    return true;
}

bool isBlank(const QByteArray &body)
{
    for (const char c : body) {
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
            return false;
    }
    return true;
}

// Deeper nesting than any envelope needs; it also keeps the DOM parse of the answer by its
// caller from going quadratic on a hostile body.
constexpr int maxNesting = 256;

XmlAnswerError notXml(const QXmlStreamReader &reader)
{
    return XmlAnswerError(QStringLiteral("The server's answer is not XML: %1 (line %2, column %3)")
                              .arg(reader.errorString())
                              .arg(reader.lineNumber())
                              .arg(reader.columnNumber()));
}

// The reader lets characters that XML never allows (NUL and the other C0 controls but tab, LF
// and CR; U+FFFE, U+FFFF) through in comments and processing instructions, and a lenient decoder
// of a declared encoding (UTF-7) can put a lone surrogate even into names; copied on, they make
// the captured markup one that the callers' parse refuses.
bool holdsCharacterXmlForbids(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if ((u < 0x20 && u != 0x09 && u != 0x0A && u != 0x0D) || u == 0xFFFE || u == 0xFFFF)
            return true;
        if (QChar::isHighSurrogate(u) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode())) {
            ++i;
            continue;
        }
        if (QChar::isSurrogate(u))
            return true;
    }
    return false;
}

bool startTagHoldsCharacterXmlForbids(const QXmlStreamReader &reader)
{
    if (holdsCharacterXmlForbids(reader.qualifiedName()))
        return true;
    for (const QXmlStreamAttribute &attribute : reader.attributes()) {
        if (holdsCharacterXmlForbids(attribute.qualifiedName()) || holdsCharacterXmlForbids(attribute.value()))
            return true;
    }
    return false;
}

XmlAnswerError forbiddenCharacter(const QXmlStreamReader &reader)
{
    return XmlAnswerError(QStringLiteral("The server's answer is not XML: a character XML does not allow "
                                         "(line %1, column %2)")
                              .arg(reader.lineNumber())
                              .arg(reader.columnNumber()));
}

// The reader checks a processing instruction's target only when data follows it, so "<?$?>"
// passes; written back, the instruction always has a space after its target, and then the
// callers' parse refuses it. The target is tried in that written form.
bool targetParsesWithData(QStringView target)
{
    // The usual targets, plain ASCII names other than "xml", need no second parse.
    auto plainStart = [](char16_t u) { return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || u == '_'; };
    auto plainRest = [&](char16_t u) { return plainStart(u) || (u >= '0' && u <= '9') || u == '-' || u == '.'; };
    if (!target.isEmpty() && plainStart(target.front().unicode())
        && std::all_of(target.begin(), target.end(), [&](QChar c) { return plainRest(c.unicode()); })
        && target.compare(QLatin1String("xml"), Qt::CaseInsensitive) != 0)
        return true;
    QXmlStreamReader probe(QStringLiteral("<a><?") + target.toString() + QStringLiteral(" x?></a>"));
    while (!probe.atEnd())
        probe.readNext();
    return !probe.hasError();
}

// The root's version is compared as a number ("1", " 1", "1.0"), as a variant comparison with
// the integer 1 would.
bool versionIsOne(const QXmlStreamAttributes &attributes)
{
    if (!attributes.hasAttribute(QStringLiteral("version")))
        return false;
    bool ok = false;
    const double value = attributes.value(QStringLiteral("version")).trimmed().toDouble(&ok);
    return ok && value == 1.0;
}

// The writer puts a CR of text out as it is, and the caller's parse of the markup would then
// fold it into LF (end-of-line handling). The server sends "&#13;" so that the stored text is
// what the publisher wrote, so a CR goes out as the same reference. Only a reference can have
// brought a CR this far: the reader folds the raw ones, CDATA included.
void writeCapturedText(QXmlStreamWriter &writer, const QXmlStreamReader &reader)
{
    const QStringView text = reader.text();
    if (reader.isCDATA() || !text.contains(QLatin1Char('\r'))) {
        writer.writeCurrentToken(reader);
        return;
    }
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) != QLatin1Char('\r'))
            continue;
        if (i > start)
            writer.writeCharacters(text.mid(start, i - start).toString());
        writer.writeEntityReference(QStringLiteral("#13"));
        start = i + 1;
    }
    if (start < text.size())
        writer.writeCharacters(text.mid(start).toString());
}

} // namespace

RequestLimits requestLimits()
{
    QMutexLocker lock(&limitsMutex);
    return currentLimits;
}

void setRequestLimits(const RequestLimits &limits)
{
    QMutexLocker lock(&limitsMutex);
    currentLimits = limits;
}

bool AttributeEquals(const QDomElement &element, const QString &name, const QString &value)
{
    if (element.isNull() || !element.hasAttribute(name))
        return false;
    return element.attribute(name) == value;
}

void setVersionParameter(QStringList &parameters, const QString &version)
{
    const QString name = QStringLiteral("version");
    for (qsizetype i = 0; i < parameters.size(); ++i) {
        const qsizetype eq = parameters.at(i).indexOf(QLatin1Char('='));
        if (eq < 0 || QStringView(parameters.at(i)).left(eq).compare(name, Qt::CaseInsensitive) != 0)
            continue;
        if (version.isEmpty())
            parameters.removeAt(i);
        else
            parameters[i] = name + QLatin1Char('=') + version;
        return;
    }
    if (!version.isEmpty())
        parameters.append(name + QLatin1Char('=') + version);
}

QString buildRequestUrl(const QString &serverAddress, QStringList &parameters,
                        const QString &version)
{
    setVersionParameter(parameters, version);
    QString url = serverAddress + QLatin1Char('?');
    for (const QString &line : std::as_const(parameters))
        url += line + QLatin1Char('&');
    while (url.endsWith(QLatin1Char('&')))
        url.chop(1);
    return url;
}

// One streaming pass instead of a DOM: the same rules (root version, first RESULT child, DATA
// among the siblings after it), a DOM's treatment of whitespace-only text, and the whole body
// checked for well-formedness. A DOM build of a large page costs over ten times as much here.
EnvelopeResult parseEnvelope(const QByteArray &body)
{
    EnvelopeResult result;
    if (isBlank(body))
        return result; // no document element: no usable answer

    QXmlStreamReader reader(body);
    reader.setNamespaceProcessing(false); // names are compared as written, prefix included

    bool rootAccepted = false;
    bool resultSeen = false;
    bool inResult = false;
    bool resultHasChild = false;
    QString status;
    QString errCode;
    bool hasErrCode = false;
    QString resultText;
    bool dataFound = false;
    bool capturing = false;
    // Only a decoder other than UTF-8's can produce characters the reader does not itself refuse
    // in names, attributes and text (see holdsCharacterXmlForbids); UTF-8's puts U+FFFD for
    // anything malformed. UTF-8 is the encoding when the body starts with "<" or UTF-8's mark
    // and no other is declared (see StartDocument below).
    bool checkCharacters = !body.startsWith('<') && !body.startsWith("\xEF\xBB\xBF");
    QString data;
    // Room for the whole body up front: the writer appends token by token, and a page of
    // thousands of fields would otherwise grow the text many times over.
    data.reserve(qsizetype(body.size()) + 64);
    QXmlStreamWriter writer(&data);
    int depth = 0;

    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartDocument: {
            const QStringView encoding = reader.documentEncoding();
            if (!encoding.isEmpty() && encoding.compare(QLatin1String("UTF-8"), Qt::CaseInsensitive) != 0)
                checkCharacters = true;
            break;
        }
        case QXmlStreamReader::DTD:
            // The parser bounds each entity's expansion but not how often a bounded entity is
            // referenced: megabytes of references to a 4 KB entity still make gigabytes. An
            // envelope never needs entity declarations, so a document declaring any is refused.
            if (!reader.entityDeclarations().isEmpty()
                || reader.text().contains(QLatin1String("<!ENTITY"))) {
                throw XmlAnswerError(QStringLiteral("The answer declares XML entities and is not accepted"));
            }
            break;
        case QXmlStreamReader::StartElement:
            if (++depth > maxNesting)
                throw XmlAnswerError(QStringLiteral("The answer is nested too deeply"));
            if (checkCharacters && startTagHoldsCharacterXmlForbids(reader))
                throw forbiddenCharacter(reader);
            if (depth == 1) {
                rootAccepted = versionIsOne(reader.attributes());
            } else if (depth == 2 && rootAccepted) {
                if (!resultSeen && reader.qualifiedName() == QLatin1String("RESULT")) {
                    resultSeen = true;
                    inResult = true;
                    const QXmlStreamAttributes attributes = reader.attributes();
                    status = attributes.hasAttribute(QStringLiteral("status"))
                        ? attributes.value(QStringLiteral("status")).toString()
                        : QString();
                    hasErrCode = attributes.hasAttribute(QStringLiteral("err_code"));
                    errCode = attributes.value(QStringLiteral("err_code")).toString();
                } else if (resultSeen && !dataFound && status == QLatin1String("OK")
                           && reader.qualifiedName() == QLatin1String("DATA")) {
                    capturing = true;
                }
            } else if (inResult) {
                resultHasChild = true;
            }
            if (capturing)
                writer.writeCurrentToken(reader);
            break;
        case QXmlStreamReader::EndElement:
            if (capturing) {
                writer.writeCurrentToken(reader);
                if (depth == 2) {
                    capturing = false;
                    dataFound = true;
                }
            }
            if (inResult && depth == 2)
                inResult = false;
            --depth;
            break;
        case QXmlStreamReader::Characters:
            if (checkCharacters && (inResult || capturing) && holdsCharacterXmlForbids(reader.text()))
                throw forbiddenCharacter(reader);
            if (inResult)
                resultText += reader.text();
            // Whitespace-only text between elements is not content (a DOM drops it as well).
            if (capturing && (reader.isCDATA() || !reader.isWhitespace()))
                writeCapturedText(writer, reader);
            break;
        case QXmlStreamReader::Comment:
        case QXmlStreamReader::ProcessingInstruction:
            if (holdsCharacterXmlForbids(reader.text()) || holdsCharacterXmlForbids(reader.processingInstructionTarget())
                || holdsCharacterXmlForbids(reader.processingInstructionData()))
                throw forbiddenCharacter(reader);
            if (reader.tokenType() == QXmlStreamReader::ProcessingInstruction
                && !targetParsesWithData(reader.processingInstructionTarget()))
                throw XmlAnswerError(QStringLiteral("The server's answer is not XML: an invalid processing "
                                                    "instruction name (line %1, column %2)")
                                         .arg(reader.lineNumber())
                                         .arg(reader.columnNumber()));
            if (capturing)
                writer.writeCurrentToken(reader);
            break;
        default:
            break;
        }
    }
    if (reader.hasError())
        throw notXml(reader);

    if (!rootAccepted || !resultSeen)
        return result;
    if (status == QLatin1String("OK")) {
        if (dataFound) {
            result.code = 0;
            result.answer = data;
        }
        return result;
    }
    if (status == QLatin1String("FAIL")) {
        result.code = 1;
        result.errorText = unknownError;
        result.errorTextSet = true;
        if (hasErrCode) {
            bool ok = false;
            const int code = errCode.trimmed().toInt(&ok);
            // A code that is not an integer stays 1; a code of 0 would read as success, so it
            // stays 1 as well: a failure answer never yields the success code.
            if (ok && code != 0)
                result.code = code;
            // A message made of elements is not a message: the generic text stays.
            const QString text = resultText.trimmed();
            if (!resultHasChild && !text.isEmpty())
                result.errorText = text;
        }
    }
    return result; // any other status: no usable answer
}

namespace {

// On the GUI thread a large answer (a greeting page with big pictures) would freeze the window
// while it is read, so the reading runs beside it and the window keeps handling its events.
// Elsewhere the answer is simply read in place.
EnvelopeResult parseEnvelopeKeepingEventsFlowing(const QByteArray &body)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread())
        return parseEnvelope(body);
    EnvelopeResult result;
    std::exception_ptr failure;
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::thread reader([&] {
        try {
            result = parseEnvelope(body);
        } catch (...) {
            failure = std::current_exception();
        }
        std::lock_guard<std::mutex> lock(mutex);
        done = true;
        finished.notify_one();
    });
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex);
            if (finished.wait_for(lock, std::chrono::milliseconds(10), [&] { return done; }))
                break;
        }
        QCoreApplication::processEvents();
    }
    reader.join();
    if (failure)
        std::rethrow_exception(failure);
    return result;
}

} // namespace

RequestFailure lastRequestFailure()
{
    return t_lastFailure;
}

// Set by each ServerRequest on its own thread; the synchronisation reads it to say why a table stopped.
static thread_local bool t_lastRequestAnswered = false;

bool lastRequestAnswered()
{
    return t_lastRequestAnswered;
}

void forgetLastRequestAnswer()
{
    t_lastRequestAnswered = false;
}

int ServerRequest(QStringList &parameters, QString &answer, QString &errorText,
                  const QString &serverAddress)
{
    answer.clear();
    t_lastFailure = RequestFailure::NoAnswer;
    t_lastRequestAnswered = false;
    const RequestLimits limits = requestLimits();
    const ProxyValues proxy = proxyValues(); // one consistent copy for the whole request
    const QString url = buildRequestUrl(serverAddress, parameters, GetProductVersion());

    ServerUrl parts;
    if (!splitServerUrl(url, parts)) {
        qCDebug(lcRequest) << "not a usable server address:" << serverAddress;
        return -1;
    }

    HttpGet get;
    get.url = parts.connectUrl;
    get.requestTarget = proxy.host.isEmpty() ? parts.originForm : parts.absoluteForm;
    get.proxy = proxy;
    get.connectTimeoutMs = limits.connectTimeoutMs;
    get.stallTimeoutSec = limits.stallTimeoutSec;
    get.maxBodyBytes = limits.maxBodyBytes;
    get.headers = {
        "Host: " + parts.hostName,
        "User-Agent: Mozilla/5.0",
        "Accept: text/html",
        "Accept-Language: en-us,en;q=0.5",
        "Accept-Charset: ISO-8859-1,utf-8;q=0.7,*;q=0.7",
        "Keep-Alive: 300",
        "Connection: keep-alive",
        // curl's own line for proxied requests; the server sees only the lines above.
        "Proxy-Connection:",
    };

    QByteArray body;
    const HttpOutcome outcome = performHttpGet(get, [&body](const char *data, std::size_t size) {
        body.append(data, qsizetype(size));
        return true;
    });
    if (outcome == HttpOutcome::TooLarge)
        t_lastFailure = RequestFailure::TooLarge;
    else if (outcome == HttpOutcome::Aborted)
        t_lastFailure = RequestFailure::Stopped;
    if (outcome != HttpOutcome::Completed)
        return -1;
    t_lastRequestAnswered = true;

    const EnvelopeResult envelope = parseEnvelopeKeepingEventsFlowing(body);
    if (envelope.code != -1)
        t_lastFailure = RequestFailure::None;
    if (envelope.code == 0)
        answer = envelope.answer;
    if (envelope.errorTextSet)
        errorText = envelope.errorText;
    return envelope.code;
}

bool DownloadFile(const QString &url, QFileDevice &file)
{
    const RequestLimits limits = requestLimits();
    // The body goes to a spool file first: the caller's file must stay untouched when the
    // exchange fails halfway, and an installer need not fit in memory.
    QTemporaryFile spool(GetTempFolder() + QStringLiteral("ramux-download-XXXXXX"));
    if (!spool.open())
        return false;

    HttpGet get;
    get.url = url.toUtf8();
    get.userAgent = "Mozilla/4.0 (compatible; Synapse)";
    get.connectTimeoutMs = limits.connectTimeoutMs;
    get.stallTimeoutSec = limits.stallTimeoutSec;
    get.maxBodyBytes = limits.maxDownloadBytes;
    const HttpOutcome outcome =
        performHttpGet(get, [&spool](const char *data, std::size_t size) {
            return spool.write(data, qint64(size)) == qint64(size);
        });
    if (outcome != HttpOutcome::Completed)
        return false;

    if (!spool.flush() || !spool.seek(0) || !file.isWritable() || !file.seek(0))
        return false;
    char buffer[64 * 1024];
    qint64 written = 0;
    for (;;) {
        const qint64 n = spool.read(buffer, sizeof buffer);
        if (n < 0)
            return false;
        if (n == 0)
            break;
        if (file.write(buffer, n) != n)
            return false;
        written += n;
    }
    // The body replaces the content: a longer earlier content must not leave its tail behind.
    return file.flush() && file.resize(written);
}
