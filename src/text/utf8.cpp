#include "text/utf8.h"

int utf8SequenceAt(const unsigned char *p, qsizetype available, char32_t *codePoint)
{
    if (available <= 0)
        return 0;
    const unsigned char c = p[0];
    int length = 0;
    char32_t cp = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (available < length)
        return 0;
    for (int k = 1; k < length; ++k) {
        if ((p[k] & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (p[k] & 0x3F);
    }
    const char32_t minimum = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    *codePoint = cp;
    return length;
}
