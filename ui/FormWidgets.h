#pragma once

#include <QString>

class QComboBox;
class QFrame;
class QLabel;
class QLayout;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QWidget;

// The plain controls the operator forms are made of, each with an object name and an accessible
// name, in the window's dark style.
class FormWidgets
{
public:
    static const QString style;

    static QLabel *heading(QWidget *parent, const QString &objectName, const QString &text);
    static QLabel *text(QWidget *parent, const QString &objectName, const QString &text = {});
    // A single-line field; `secret` hides what is typed.
    static QLineEdit *field(QWidget *parent, const QString &objectName, const QString &accessibleName, bool secret = false);
    static QComboBox *choice(QWidget *parent, const QString &objectName, const QString &accessibleName);
    static QPlainTextEdit *textArea(QWidget *parent, const QString &objectName, const QString &accessibleName);
    static QPushButton *button(QWidget *parent, const QString &objectName, const QString &text);
    // A framed section that holds one form or one record.
    static QFrame *card(QWidget *parent, const QString &accessibleName);
    // Shows `value` in `field` unless it already does, so typing is never interrupted.
    static void show(QLineEdit *field, const QString &value);
    // The style role of a control ("note", "error", "secret", "primary", "danger"), applied at once.
    static void setRole(QWidget *widget, const char *role);
    // Deletes every widget and nested layout of `layout`, for lists rebuilt from new records.
    static void clear(QLayout *layout);
    // The confirmations the screens name ("Revoke this agent key?"): true when confirmed.
    static bool confirm(QWidget *parent, const QString &objectName, const QString &title, const QString &text,
                        const QString &confirmText);
};
