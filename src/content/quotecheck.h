// A row's quote read as the label's quantities: numbers with their units, ranges, the basis
// after a dose and the words of a prohibition. The row's numbers must stand in the quote as
// quantities, never as bare digits that happen to match.
#pragma once

#include "answers/doserow.h"
#include "answers/withdrawal.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace quotecheck {

// The written forms a quote's quantities may use, the closed list ("таблеток" is a tablet,
// "ЕД" is МЕ, "сут." is days), letter case aside. None for any other word.
std::optional<Unit> unitOfWord(const QString &word);
std::optional<PeriodUnit> periodOfWord(const QString &word);
// The words that make a quote a prohibition ("не допускается", "нельзя", …).
const QStringList &prohibitionWords();

// Whether `quote` stands in `text` (both with blanks folded) beginning and ending at word
// boundaries: never inside a word or a number ("5 мг" is not in "15 мг", "000 МЕ" not in "5 000 МЕ").
bool occursAsWords(const QString &text, const QString &quote);

// What the quote lacks for the row, as a refusal ("в цитате нет «10 мл»"), or an empty text.
QString doseProblem(const QString &quote, const DoseRow &row);
QString capProblem(const QString &quote, const DoseRow &row);
QString periodProblem(const QString &quote, const WithdrawalRow &row);

} // namespace quotecheck
