// One slip of the keyboard: a letter wrong, missing, extra, or two neighbours swapped.
#pragma once

#include <QStringView>

namespace typo {

// Words this long or longer are forgiven one slip.
constexpr int kMinimumWordLength = 6;

// Whether `a` and `b` differ by at most one slip (equal texts included). Linear in the length.
bool withinOneSlip(QStringView a, QStringView b);

// Whether `typed` is within one slip of `word` or of a beginning of it (a word typed halfway).
bool matchesWordStart(QStringView typed, QStringView word);

} // namespace typo
