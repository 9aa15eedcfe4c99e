#include "pages/theme.h"

#include <QStringList>
#include <atomic>

namespace {
std::atomic<Theme> g_theme{Theme::Light};
} // namespace

std::optional<Theme> forcedTheme(QStringView environmentValue)
{
    const QStringView value = environmentValue.trimmed();
    if (value.compare(u"dark", Qt::CaseInsensitive) == 0)
        return Theme::Dark;
    if (value.compare(u"light", Qt::CaseInsensitive) == 0)
        return Theme::Light;
    return std::nullopt;
}

bool desktopKeepsGnomeColorScheme(QStringView xdgCurrentDesktop)
{
    static const QStringList gnomeFamily{QStringLiteral("GNOME"), QStringLiteral("GNOME-Classic"),
                                         QStringLiteral("Unity"), QStringLiteral("Budgie"),
                                         QStringLiteral("Pantheon")};
    for (QStringView name : xdgCurrentDesktop.split(u':', Qt::SkipEmptyParts)) {
        for (const QString &known : gnomeFamily) {
            if (name.trimmed().compare(known, Qt::CaseInsensitive) == 0)
                return true;
        }
    }
    return false;
}

bool paletteLooksDark(int windowLightness, int windowTextLightness)
{
    return windowLightness < windowTextLightness;
}

Theme chooseTheme(const std::optional<QString> &gnomeColorScheme, bool desktopPaletteDark)
{
    if (gnomeColorScheme) {
        QString value = gnomeColorScheme->trimmed();
        if (value.size() >= 2 && value.startsWith(QLatin1Char('\'')) && value.endsWith(QLatin1Char('\'')))
            value = value.mid(1, value.size() - 2);
        if (value == QLatin1String("prefer-dark"))
            return Theme::Dark;
        if (value == QLatin1String("prefer-light"))
            return Theme::Light;
        // 'default' leaves the choice to the theme, which the palette shows.
    }
    return desktopPaletteDark ? Theme::Dark : Theme::Light;
}

Theme currentTheme()
{
    return g_theme.load(std::memory_order_relaxed);
}

void setCurrentTheme(Theme theme)
{
    g_theme.store(theme, std::memory_order_relaxed);
}
