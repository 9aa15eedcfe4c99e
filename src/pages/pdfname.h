// The file name proposed when a page is saved as PDF.
#pragma once

#include <QString>

// `name` made into a file name ending in ".pdf": characters no file name (on any common
// system) can hold become "_", blanks and dots at either end go; an empty result is "page".
QString pdfFileName(const QString &name);
