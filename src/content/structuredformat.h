// The spelling of the structured blocks, shared by their reader, checks and writer.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace structuredsource::format {

inline const char *const Strengths = "strengths";
inline const char *const Doses = "doses";
inline const char *const Withdrawal = "withdrawal";

// The keys a block's rows may have, in the order a written row has them.
const QStringList &keys(const QString &section);
// The keys a row of the block must have.
const QStringList &requiredKeys(const QString &section);

// "12", "2.5" or "2,5" as stored ("2.5"); none for anything else (signs, blanks, exponents).
std::optional<QString> decimalText(const QString &text);
// "25 мг" -> ("25", "мг"); a value and a word separated by one space. None otherwise.
std::optional<std::pair<QString, QString>> amountAndWord(const QString &text);

// The written word for "not allowed at all" of a withdrawal period.
inline QString forbiddenWord()
{
    return QStringLiteral("не допускается");
}

// Blanks (spaces, tabs, line ends, no-break spaces) folded to one space, none at the ends.
QString foldBlanks(const QString &text);
// Whether the number (stored with a point) stands in the text as written, with a point or a
// comma, as a whole number: "5" is not found in "15" or in "5,5".
bool numberOccurs(const QString &text, const QString &number);

} // namespace structuredsource::format
