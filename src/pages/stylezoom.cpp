#include "pages/stylezoom.h"

#include <QString>
#include <algorithm>
#include <cmath>

namespace stylezoom {

const QVector<int> &levels()
{
    static const QVector<int> all{50, 67, 75, 80, 90, 100, 110, 125, 150, 175, 200, 250, 300};
    return all;
}

int clamped(int level)
{
    if (level <= 0)
        return kDefault;
    return std::clamp(level, kMinimum, kMaximum);
}

int stepped(int level, int steps)
{
    level = clamped(level);
    const QVector<int> &all = levels();
    if (steps > 0) {
        for (int i = 0; i < all.size(); ++i) {
            if (all[i] > level && --steps == 0)
                return all[i];
        }
        return kMaximum;
    }
    if (steps < 0) {
        for (int i = int(all.size()) - 1; i >= 0; --i) {
            if (all[i] < level && ++steps == 0)
                return all[i];
        }
        return kMinimum;
    }
    return level;
}

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isNameChar(char c)
{
    return isDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' || c == '_' || c == '#';
}

QByteArray formatNumber(double value, bool pixels)
{
    if (pixels) {
        // The page widget lays out whole pixels; a line that was there stays at least one.
        const long rounded = std::lround(value);
        return QByteArray::number(value > 0 && rounded == 0 ? 1 : rounded);
    }
    QByteArray text = QByteArray::number(value, 'f', 2);
    while (text.endsWith('0'))
        text.chop(1);
    if (text.endsWith('.'))
        text.chop(1);
    return text;
}

} // namespace

QByteArray scaleStyleSheet(const QByteArray &css, int level)
{
    level = clamped(level);
    if (level == kDefault)
        return css;
    const double factor = level / 100.0;
    QByteArray out;
    out.reserve(css.size() + css.size() / 8);
    const qsizetype n = css.size();
    qsizetype i = 0;
    bool inComment = false;
    while (i < n) {
        const char c = css[i];
        if (inComment) {
            out += c;
            if (c == '*' && i + 1 < n && css[i + 1] == '/') {
                out += '/';
                i += 2;
                inComment = false;
                continue;
            }
            ++i;
            continue;
        }
        if (c == '/' && i + 1 < n && css[i + 1] == '*') {
            inComment = true;
            out += "/*";
            i += 2;
            continue;
        }
        if (c == '"' || c == '\'') {
            // Strings (font names, urls) pass unchanged.
            const qsizetype end = css.indexOf(c, i + 1);
            const qsizetype stop = end < 0 ? n : end + 1;
            out += css.mid(i, stop - i);
            i = stop;
            continue;
        }
        // A number starts at a digit (or a dot before one) that does not continue a name
        // such as a colour (#e0e0e0) or an identifier (h1).
        const bool startsNumber =
            (isDigit(c) || (c == '.' && i + 1 < n && isDigit(css[i + 1]))) && (i == 0 || !isNameChar(css[i - 1]));
        if (!startsNumber) {
            out += c;
            ++i;
            continue;
        }
        qsizetype j = i;
        while (j < n && (isDigit(css[j]) || css[j] == '.'))
            ++j;
        const QByteArray number = css.mid(i, j - i);
        qsizetype unitEnd = j;
        while (unitEnd < n && ((css[unitEnd] >= 'a' && css[unitEnd] <= 'z') || (css[unitEnd] >= 'A' && css[unitEnd] <= 'Z')))
            ++unitEnd;
        const QByteArray unit = css.mid(j, unitEnd - j).toLower();
        bool ok = false;
        const double value = number.toDouble(&ok);
        if (ok && (unit == "pt" || unit == "px")) {
            out += formatNumber(value * factor, unit == "px");
            out += css.mid(j, unitEnd - j);
        } else {
            out += css.mid(i, unitEnd - i);
        }
        i = unitEnd;
    }
    return out;
}

} // namespace stylezoom
