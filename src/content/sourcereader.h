// The readable reference sources (the format of data/demo/: HTML fragments, PNG images,
// tab-separated lists, one text file per product, one file of offer settings) and their
// packing into reference content. The demo importer and the publisher share this reader.
#pragma once

#include "content/content.h"

#include <QString>
#include <QStringList>

// The demo sources folder: $RAMUX_DEMO_DIR, else <program folder>/../share/ramux/demo, else
// data/demo of the source tree the program was built from. Empty when none exists.
QString demoContentDir();

// What is wrong with a sources folder, each as "file:line: what" (file relative to the folder).
struct SourceProblems
{
    QStringList errors;
    QStringList warnings;
};

enum class SourceChecks {
    Demo,    // only what the packing itself needs
    Publish, // also links (product lists and HTML links) to records the sources lack
};

// Reads a sources folder, collecting every problem rather than stopping at the first. The
// content holds whatever could be read; it must not be used when there are errors. Link rows
// are numbered per table in product order, then in the order written.
ContentSet readSourceDir(const QString &dir, SourceProblems &problems, SourceChecks checks);

// Reads the demo sources of a folder. Malformed sources (a bad line, an unknown section, an
// image a page refers to that has no file, a name the 8-bit code page cannot carry) fail
// with RamuxError naming every fault, rather than producing a reference with holes in it.
ContentSet loadDemoContent(const QString &dir);

// The image names an HTML fragment refers to with src="NAME", in order of first use.
QStringList referencedImages(const QString &html);
// Packs an HTML fragment: "<HTML>" + Base64 of its Windows-1251 bytes + "</HTML>", then an
// attachment element <NAME>Base64 of NAME.png</NAME> for every image it refers to.
QString packDemoHtml(const QString &html, const QString &imageDir);

namespace sourceformat {
// Product file keys and sections, in the order a written product file has them.
const QStringList &itemSections();
// Link tables with the product file key and the target table and column of each.
struct LinkKind
{
    const char *key;    // "groups"
    const char *table;  // "items_to_sections"
    const char *column; // "section_id"
    const char *target; // "sections"
};
const std::vector<LinkKind> &linkKinds();
// The offer settings file: its keys and the content setting each one sets.
inline const char *const OfferFile = "offer.txt";
struct OfferKey
{
    const char *key;
    const char *meta;
};
const std::vector<OfferKey> &offerKeys();
} // namespace sourceformat
