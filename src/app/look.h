// The program's look: the Fusion style with a calm light palette, or a dark one when the
// desktop is dark (or RAMUX_THEME says so), applied application-wide.
#pragma once

#include <QString>

class QApplication;
class QIcon;

void applyRamuxLook(QApplication &app);

// A toolbar icon by its resource name ("drugs"): the dark desktop gets light line art.
QIcon toolbarIcon(const QString &name);
