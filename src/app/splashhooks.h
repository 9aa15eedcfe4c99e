// The main window's calls into the splash window: status line, greeting page, closing.
#pragma once

#include <QString>

class TSplash;

// Shows the status text on the one splash window of the process, creating it at the first call.
void ShowStatus(const QString &text);
// Shows a packed page in the splash view.
void ShowPage(const QString &packedDocument);
// Closes (hides) the splash window, when there is one.
void CloseSplash();
// The splash window, or nullptr before the first status text.
TSplash *SplashWindow();
