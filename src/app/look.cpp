#include "app/look.h"

#include "pages/theme.h"

#include <QApplication>
#include <QIcon>
#include <QPalette>
#include <QProcess>
#include <QStandardPaths>
#include <QStyleFactory>

namespace {

// gsettings answers in a few milliseconds; a hung session bus must not hold up the start.
constexpr int kGsettingsTimeoutMs = 300;

std::optional<QString> askGnomeColorScheme()
{
    const QString gsettings = QStandardPaths::findExecutable(QStringLiteral("gsettings"));
    if (gsettings.isEmpty())
        return std::nullopt;
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(gsettings, {QStringLiteral("get"), QStringLiteral("org.gnome.desktop.interface"),
                              QStringLiteral("color-scheme")});
    if (!process.waitForFinished(kGsettingsTimeoutMs)) {
        process.kill();
        process.waitForFinished(100);
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt; // no such schema (before GNOME 42) or no session
    return QString::fromUtf8(process.readAllStandardOutput().left(64));
}

Theme desktopTheme(const QPalette &desktop)
{
    if (const std::optional<Theme> forced = forcedTheme(qEnvironmentVariable("RAMUX_THEME")))
        return *forced;
    std::optional<QString> scheme;
    if (desktopKeepsGnomeColorScheme(qEnvironmentVariable("XDG_CURRENT_DESKTOP")))
        scheme = askGnomeColorScheme();
    return chooseTheme(scheme, paletteLooksDark(desktop.color(QPalette::Window).lightness(),
                                                desktop.color(QPalette::WindowText).lightness()));
}

QPalette lightPalette()
{
    QPalette p;
    const QColor window(0xEE, 0xF1, 0xF4);
    const QColor base(0xFF, 0xFF, 0xFF);
    const QColor text(0x22, 0x2B, 0x33);
    const QColor highlight(0x3C, 0x78, 0x9E);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, QColor(0xF5, 0xF7, 0xF9));
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, QColor(0xE4, 0xE9, 0xEE));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::ToolTipBase, base);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::Link, highlight);
    // The lists keep their selection visible when they lose the focus: same colours inactive.
    for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive}) {
        p.setColor(g, QPalette::Highlight, highlight);
        p.setColor(g, QPalette::HighlightedText, base);
    }
    p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x9A, 0xA3, 0xAB));
    p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x9A, 0xA3, 0xAB));
    p.setColor(QPalette::Disabled, QPalette::Text, QColor(0x9A, 0xA3, 0xAB));
    return p;
}

QPalette darkPalette()
{
    const QColor window(0x2B, 0x30, 0x35);
    const QColor button(0x36, 0x3C, 0x42);
    // Bevels, frames and shadows derived from the dark button and window colours, not the
    // desktop's light ones.
    QPalette p(button, window);
    const QColor base = QColor(QRgb(kDarkPageBackground));
    const QColor text = QColor(QRgb(kDarkPageText));
    const QColor highlight(0x3C, 0x78, 0x9E);
    const QColor disabled(0x7D, 0x86, 0x8F);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, QColor(0x25, 0x2A, 0x2F));
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, button);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, QColor(0xFF, 0x8A, 0x80));
    p.setColor(QPalette::ToolTipBase, window);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, QColor(0x9A, 0xA3, 0xAB));
    p.setColor(QPalette::Link, QColor(0x8A, 0xB8, 0xFF));
    p.setColor(QPalette::LinkVisited, QColor(0xC0, 0xA0, 0xFF));
    for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive}) {
        p.setColor(g, QPalette::Highlight, highlight);
        p.setColor(g, QPalette::HighlightedText, QColor(0xFF, 0xFF, 0xFF));
    }
    p.setColor(QPalette::Disabled, QPalette::WindowText, disabled);
    p.setColor(QPalette::Disabled, QPalette::ButtonText, disabled);
    p.setColor(QPalette::Disabled, QPalette::Text, disabled);
    p.setColor(QPalette::Disabled, QPalette::Base, window);
    return p;
}

} // namespace

void applyRamuxLook(QApplication &app)
{
    // The desktop's own palette, read before the style and ours replace it.
    const QPalette desktop = QGuiApplication::palette();
    const Theme theme = desktopTheme(desktop);
    setCurrentTheme(theme);
    app.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    app.setPalette(theme == Theme::Dark ? darkPalette() : lightPalette());
}

QIcon toolbarIcon(const QString &name)
{
    // The @2x files are found by QIcon next to the named one.
    const QString suffix = currentTheme() == Theme::Dark ? QStringLiteral("-dark") : QString();
    return QIcon(QStringLiteral(":/icons/%1%2.png").arg(name, suffix));
}
