// Small system look-ups shared by the window and the update service.
#pragma once

#include <QString>

// The program's product version ("1.1"), compiled in from the build.
QString GetProductVersion();
// The temporary-files folder, ending in a path separator.
QString GetTempFolder();
