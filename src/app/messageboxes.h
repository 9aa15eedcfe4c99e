// Message boxes and process termination behind replaceable functions, so tests can observe them.
#pragma once

#include <QString>
#include <functional>

// An error message box: caption "Ramux", error icon, OK button, no owner window.
void showErrorBox(const QString &text);
// Ends the process at once with the code (nothing else runs after it in the real program).
void requestExit(int code);

using ErrorBoxHandler = std::function<void(const QString &text)>;
using ExitHandler = std::function<void(int code)>;
// An empty handler restores the real behaviour. Returns the previous handler.
ErrorBoxHandler setErrorBoxHandler(ErrorBoxHandler handler);
ExitHandler setExitHandler(ExitHandler handler);
