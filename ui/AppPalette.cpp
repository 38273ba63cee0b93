#include "AppPalette.h"

#include <QApplication>
#include <QColor>
#include <QPalette>
#include <QStyleFactory>

#include <algorithm>
#include <cmath>

namespace {
const QColor window(0x10, 0x12, 0x14);
const QColor base(0x0d, 0x11, 0x17);
const QColor alternateBase(0x16, 0x1b, 0x22);
const QColor text(0xe6, 0xed, 0xf3);
const QColor mutedText(0x6e, 0x76, 0x81);
const QColor button(0x21, 0x26, 0x2d);
const QColor accent(0x2f, 0x6f, 0xeb);
const QColor linkText(0x79, 0xb8, 0xff);

double relativeLuminance(const QColor &color)
{
    const auto channel = [](double value) {
        return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(color.redF()) + 0.7152 * channel(color.greenF()) + 0.0722 * channel(color.blueF());
}
} // namespace

namespace AppPalette {

void apply(QApplication &application)
{
    // Fusion draws with the palette alone, whatever the desktop theme says.
    application.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QPalette palette;
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::AlternateBase, alternateBase);
    palette.setColor(QPalette::ToolTipBase, alternateBase);
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::PlaceholderText, mutedText);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, button);
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::BrightText, Qt::white);
    palette.setColor(QPalette::Highlight, accent);
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Link, linkText);
    palette.setColor(QPalette::LinkVisited, linkText);
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, mutedText);
    application.setPalette(palette);
}

double contrastRatio(const QColor &foreground, const QColor &background)
{
    const double a = relativeLuminance(foreground);
    const double b = relativeLuminance(background);
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

} // namespace AppPalette
