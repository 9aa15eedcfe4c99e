// The one way the worker reaches the GUI thread. Once the window has gone (the event loop has
// ended: aboutToQuit) every call is refused, and a blocking call still waiting is released, so
// the worker never waits on a loop that no longer runs nor touches objects being torn down.
#pragma once

#include <functional>

class QObject;

namespace guigate {

// Installs the gate on the GUI thread (idempotent): it closes at aboutToQuit, or when the
// application object goes.
void install();

// Runs `call` on the GUI thread and waits for it. Returns false, without running it, once the
// window has gone; a call waiting at that moment returns false at once.
bool callBlocking(std::function<void()> call);

// Queues `call` for the GUI thread without waiting; it is dropped if the window goes first.
bool post(std::function<void()> call);

bool windowGone();

} // namespace guigate
