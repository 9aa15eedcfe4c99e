// Qt's own words in Russian: the buttons and labels of file, print and message-box dialogs,
// which the program does not write itself.
#pragma once

class QCoreApplication;

// Loads Qt's Russian translation from Qt's translations folder into `app`; false when the
// folder has none (the dialogs then stay in English, nothing else changes).
bool installQtTranslation(QCoreApplication &app);
