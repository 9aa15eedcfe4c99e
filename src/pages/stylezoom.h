// Zoom levels of the page views and the style sheet scaled to one: the sheet sets absolute
// sizes (pt, px), so only a scaled sheet makes the pages larger or smaller.
#pragma once

#include <QByteArray>
#include <QVector>

namespace stylezoom {
constexpr int kDefault = 100;
constexpr int kMinimum = 50;
constexpr int kMaximum = 300;

// The levels in percent, ascending, from kMinimum to kMaximum.
const QVector<int> &levels();
// The next level up or down from `level` (which need not be one of the levels), kept in range.
int stepped(int level, int steps);
// `level` brought into kMinimum..kMaximum; anything unreadable becomes kDefault.
int clamped(int level);

// The sheet with every pt and px length multiplied by level/100 (relative units, colours and
// everything else untouched). A level of 100 returns the sheet unchanged.
QByteArray scaleStyleSheet(const QByteArray &css, int level);
} // namespace stylezoom
