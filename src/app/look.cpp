#include "app/look.h"

#include <QApplication>
#include <QPalette>
#include <QStyleFactory>

void applyRamuxLook(QApplication &app)
{
    app.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
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
    app.setPalette(p);
}
