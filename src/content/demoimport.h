// The demo content importer: reads the readable demo sources (HTML fragments, PNG images,
// tab-separated lists, one text file per product) and packs them into reference content.
#pragma once

#include "content/content.h"

#include <QString>
#include <QStringList>

// The demo sources folder: $RAMUX_DEMO_DIR, else <program folder>/../share/ramux/demo, else
// data/demo of the source tree the program was built from. Empty when none exists.
QString demoContentDir();

// Reads the demo sources of a folder. Malformed sources (a bad line, an unknown section, an
// image a page refers to that has no file, a name the 8-bit code page cannot carry) fail
// with RamuxError naming the file, rather than producing a reference with holes in it.
ContentSet loadDemoContent(const QString &dir);

// The image names an HTML fragment refers to with src="NAME", in order of first use.
QStringList referencedImages(const QString &html);
// Packs an HTML fragment: "<HTML>" + Base64 of its Windows-1251 bytes + "</HTML>", then an
// attachment element <NAME>Base64 of NAME.png</NAME> for every image it refers to.
QString packDemoHtml(const QString &html, const QString &imageDir);
