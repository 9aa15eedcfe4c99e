// The window's size and place at the first start, before the user has a layout of their own.
#pragma once

#include <QRect>
#include <QSize>

// The design size, widened to the toolbar's width so that every button shows, then bounded by
// the screen's available area (the screen wins: the toolbar's overflow arrow stays), centred in
// that area. An empty area (no screen) leaves the size unbounded and the place at the origin.
QRect firstStartGeometry(const QSize &design, int toolBarWidth, const QRect &available);
