#include "app/messageboxes.h"

#include <QMessageBox>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace {
ErrorBoxHandler &errorBoxHandler()
{
    static ErrorBoxHandler handler;
    return handler;
}
ExitHandler &exitHandler()
{
    static ExitHandler handler;
    return handler;
}
} // namespace

void showErrorBox(const QString &text)
{
    if (errorBoxHandler()) {
        errorBoxHandler()(text);
        return;
    }
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Ramux"), text, QMessageBox::Ok);
    box.exec();
}

void requestExit(int code)
{
    if (exitHandler()) {
        exitHandler()(code);
        return;
    }
    // "At once": no event loop, no window close handlers, no waiting for the worker thread,
    // whose objects static destructors could otherwise pull away under it.
    std::fflush(nullptr);
    std::_Exit(code);
}

ErrorBoxHandler setErrorBoxHandler(ErrorBoxHandler handler)
{
    return std::exchange(errorBoxHandler(), std::move(handler));
}

ExitHandler setExitHandler(ExitHandler handler)
{
    return std::exchange(exitHandler(), std::move(handler));
}
