// The main window's calls into the splash window: status line, greeting page, closing.
#pragma once

#include <QString>

void ShowStatus(const QString &text);
void ShowPage(const QString &packedDocument);
void CloseSplash();
