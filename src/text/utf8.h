// Well-formed UTF-8, checked byte by byte where Qt's decoder would silently mend what it reads.
#pragma once

#include <QtGlobal>

// The length (2 to 4) of the well-formed multi-byte sequence at `p`, with `available` bytes
// there, and its code point; 0 for a lead byte that starts none, a truncated or overlong
// sequence, a surrogate or a code point beyond U+10FFFF.
int utf8SequenceAt(const unsigned char *p, qsizetype available, char32_t *codePoint);
