// The structured blocks of the readable sources: animals.tsv and a product file's
// "== strengths", "== doses" and "== withdrawal" sections, read into the four structured
// tables, checked (units, ranges, species, quotes from the product's own texts) and written back.
#pragma once

#include "content/content.h"

#include <QString>
#include <QStringList>
#include <map>
#include <vector>

namespace structuredsource {

inline const char *const SpeciesFile = "animals.tsv";

// The block sections in the order a written product file has them, after the text sections.
const QStringList &blockSections();
bool isBlockSection(const QString &field);

// One "key: value" line of a block.
struct Field
{
    QString value; // trimmed
    int line = 0;
};

// One row of a block: its key lines, and the line it starts on.
struct Record
{
    int line = 0;
    std::map<QString, Field> fields;
};

// What a product file holds for the structured tables, gathered while it is read.
struct ItemBlocks
{
    qint64 item = 0;
    QString file;
    std::map<QString, std::vector<Record>> blocks; // section -> rows in the order written
    std::map<QString, QString> texts;              // text section -> its HTML, for the quotes
};

// Splits a block's body (lines after its "== " line at firstLine) into rows: rows are
// separated by blank lines; each line is "key: value" with a key the section knows, at most
// once per row. Faults are appended as "file:line: what".
std::vector<Record> readBlock(const QString &section, const QStringList &body, int firstLine,
                              const QString &file, QStringList &errors);

// Reads animals.tsv (id, code, name, food) into the species table; a missing file is no
// species at all. Faults as "file:line: what".
void readSpecies(const QString &dir, ContentSet &set, QStringList &errors);

// Checks the products' rows against the units, the species and the products' texts and adds
// them to the three product tables, ids numbered per table in product order then row order.
void addItemRows(const std::vector<ItemBlocks> &items, ContentSet &set, QStringList &errors);

// The block sections of each product that has structured rows ("== strengths\n..." in the
// written order), by product id. Faults (a value the format cannot carry, a row without its
// product) are appended as "place: what"; rows that would not read back the same go to warnings.
std::map<qint64, QString> renderItemBlocks(const ContentSet &content, QStringList &errors,
                                           QStringList &warnings);
// animals.tsv; an empty array when there are no species.
QByteArray renderSpecies(const ContentSet &content, QStringList &errors);

} // namespace structuredsource
