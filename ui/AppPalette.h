#pragma once

class QApplication;
class QColor;

// One dark palette for every window and dialog of the app, matching the screens' own styles:
// a message box opened from a styled view inherits the view's light label colour, so its
// background must be the same dark as the window's, never the desktop theme's light one.
namespace AppPalette {

void apply(QApplication &application);

// WCAG contrast ratio of two colours (1 to 21); readable body text needs 4.5.
double contrastRatio(const QColor &foreground, const QColor &background);

} // namespace AppPalette
