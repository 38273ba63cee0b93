#pragma once

#include <QString>

class QLabel;
class QPushButton;
class QWidget;

// The window's dark look for the native screens, and the small widget makers they share.
namespace DarkStyle {

// Labels, fields and buttons; "primary" buttons carry the accent colour, "danger" ones red.
QString screenStyleSheet();

QLabel *wrappedLabel(QWidget *parent, const QString &objectName);
// A label whose font is `scale` times larger and bold.
QLabel *titleLabel(QWidget *parent, const QString &objectName, double scale);
QPushButton *button(QWidget *parent, const QString &objectName, const QString &text, const QString &help = {});
// Marks a button as the screen's main action.
void makePrimary(QPushButton *button);

} // namespace DarkStyle
