// The program's one look: the Fusion style with a calm light palette, applied application-wide.
#pragma once

class QApplication;

void applyRamuxLook(QApplication &app);
