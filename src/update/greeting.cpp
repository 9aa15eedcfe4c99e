#include "update/greeting.h"

#include "text/ramuxerror.h"
#include "update/serverrequest.h"

#include <QDomDocument>
#include <QTextStream>

QString joinGreetingPage(const QString &answer)
{
    QDomDocument doc;
    QString error;
    if (!doc.setContent(answer, &error))
        throw RamuxError(QStringLiteral("Unreadable greeting answer: %1").arg(error));

    QString page;
    for (QDomNode node = doc.documentElement().firstChild(); !node.isNull(); node = node.nextSibling()) {
        if (node.nodeName() != QLatin1String("PAGE"))
            continue;
        QTextStream out(&page);
        // Indent -1: the markup exactly as the elements hold it, no line breaks added between
        // the packed elements.
        for (QDomNode child = node.firstChild(); !child.isNull(); child = child.nextSibling())
            child.save(out, -1);
        break;
    }
    return page;
}

GreetingResult RequestGreetingPage(const QString &serverAddress, const ServerRequestFunction &serverRequest)
{
    QStringList parameters{QStringLiteral("action=get_splash")};
    QString answer;
    QString errorText;
    GreetingResult result;
    result.code = serverRequest ? serverRequest(parameters, answer, errorText, serverAddress)
                                : ServerRequest(parameters, answer, errorText, serverAddress);
    if (result.code == 0)
        result.page = joinGreetingPage(answer);
    return result;
}
