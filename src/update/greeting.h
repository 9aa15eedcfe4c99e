// The server's greeting page for the splash window: the get_splash request and its answer.
#pragma once

#include "update/programupdate.h"

#include <QString>

// The packed page in a get_splash answer (the DATA element's markup): the markup of every
// child of the first PAGE child of the document element, joined in document order without a
// separator. Empty when there is no PAGE. Throws RamuxError when the answer is not XML.
QString joinGreetingPage(const QString &answer);

struct GreetingResult
{
    // The request layer's result: 0 answered, > 0 the server's failure, < 0 no usable answer.
    int code = -1;
    // The page to store and show; meaningful only when code is 0.
    QString page;
};

// Sends "action=get_splash" to the server and reads the page from a successful answer. Errors
// of the request layer (a body that is not XML) and of the answer travel to the caller.
GreetingResult RequestGreetingPage(const QString &serverAddress,
                                   const ServerRequestFunction &serverRequest = {});
