// Light or dark look: decided once at start from what the desktop says, then read by the views
// (page style sheet, view background) and the toolbar (icon set).
#pragma once

#include <QString>
#include <QStringView>
#include <optional>

enum class Theme { Light, Dark };

// The body colours of the dark page sheet (resources/dark.css), as 0xRRGGBB: the views and the
// splash fill the space around a page with them.
constexpr unsigned kDarkPageBackground = 0x1E2226;
constexpr unsigned kDarkPageText = 0xE4E7EA;

// RAMUX_THEME: "dark" or "light" (any letter case, blanks around ignored) forces the look;
// anything else forces nothing.
std::optional<Theme> forcedTheme(QStringView environmentValue);

// Whether GNOME's colour-scheme setting speaks for this desktop (XDG_CURRENT_DESKTOP, a
// colon-separated list). Asking gsettings costs a process start, so only desktops that keep
// their appearance there are asked; Qt reads the others' palettes by itself.
bool desktopKeepsGnomeColorScheme(QStringView xdgCurrentDesktop);

// The desktop palette looks dark when its window background is darker than its window text.
bool paletteLooksDark(int windowLightness, int windowTextLightness);

// The decision without the forced value: GNOME's answer ("'prefer-dark'", as gsettings prints
// it) where there is one and it prefers either, else the desktop palette.
Theme chooseTheme(const std::optional<QString> &gnomeColorScheme, bool desktopPaletteDark);

// The look of this process; light until the start-up sets it.
Theme currentTheme();
void setCurrentTheme(Theme theme);
