// Runs a step of the window whose failure must not end the program: whatever it throws becomes
// the text of the application's error report.
#pragma once

#include <QString>
#include <functional>

// Runs `step`; returns a null string when it succeeded, else the text to report. Catches every
// exception, not only std::exception: a foreign or unknown throw has a text too.
QString runGuarded(const std::function<void()> &step);
