#include "FormWidgets.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>

// The dashboard page's dark palette and spacing, so the native screens read as the same app.
const QString FormWidgets::style = QStringLiteral(R"(
QFrame#card { background: #18201f; border: 1px solid #2c3836; border-radius: 12px; }
QFrame#card[role="warning"] { background: #352a12; border-color: #f0c060; }
QFrame#card[role="danger"] { background: #3a1a18; border-color: #ff8a80; }
QLabel { color: #e8eeec; background: transparent; }
QLabel[role="note"] { color: #a5b3b0; }
QLabel[role="error"] { color: #ff8a80; }
QLabel[role="ok"] { color: #6fd39a; }
QLabel[role="warning"] { color: #f0c060; }
QLabel[role="secret"] { color: #f0c060; font-family: monospace; }
QLabel[role="title"] { font-size: 17px; font-weight: 600; }
QLabel[role="headline"] { font-size: 24px; font-weight: 700; }
QLabel[role="stat"] { font-size: 22px; font-weight: 700; }
QLineEdit, QComboBox, QPlainTextEdit { background: #18201f; color: #e8eeec; border: 1px solid #2c3836; border-radius: 9px; padding: 7px 10px; }
QLineEdit:focus, QPlainTextEdit:focus, QComboBox:focus { border-color: #2f7de1; }
QPushButton { background: transparent; color: #e8eeec; border: 1px solid #2c3836; border-radius: 9px; padding: 7px 14px; }
QPushButton:hover { background: #1f2927; }
QPushButton:focus { border-color: #2f7de1; }
QPushButton:disabled { color: #6b7876; }
QPushButton[role="primary"] { background: #5fb3ab; border-color: #5fb3ab; color: #0d1413; font-weight: 600; }
QPushButton[role="primary"]:hover { background: #7cc7bf; border-color: #7cc7bf; }
QPushButton[role="primary"]:disabled { background: #2c4a47; border-color: #2c4a47; color: #a5b3b0; }
QPushButton[role="danger"] { background: transparent; border-color: #7a3f3a; color: #ff8a80; }
QPushButton[role="danger"]:hover { background: #3a1a18; border-color: #ff8a80; }
QWidget[role="sidebar"] { background: #18201f; border-right: 1px solid #2c3836; }
QPushButton[role="nav"] { border: none; border-radius: 8px; text-align: left; padding: 7px 10px; }
QPushButton[role="nav"]:checked { background: #1e3533; color: #7cc7bf; font-weight: 600; }
QPushButton[role="nav"]:focus { border: 1px solid #2f7de1; padding: 6px 9px; }
QPushButton[role="link"] { border: none; color: #5fb3ab; padding: 2px 0; text-align: left; }
QScrollArea { background: transparent; border: none; }
)");

QLabel *FormWidgets::heading(QWidget *parent, const QString &objectName, const QString &text)
{
    QLabel *label = FormWidgets::text(parent, objectName, text);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 1.15);
    font.setBold(true);
    label->setFont(font);
    return label;
}

QLabel *FormWidgets::text(QWidget *parent, const QString &objectName, const QString &text)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(objectName);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QLineEdit *FormWidgets::field(QWidget *parent, const QString &objectName, const QString &accessibleName, bool secret)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(objectName);
    edit->setAccessibleName(accessibleName);
    edit->setPlaceholderText(accessibleName);
    if (secret)
        edit->setEchoMode(QLineEdit::Password);
    return edit;
}

QComboBox *FormWidgets::choice(QWidget *parent, const QString &objectName, const QString &accessibleName)
{
    auto *combo = new QComboBox(parent);
    combo->setObjectName(objectName);
    combo->setAccessibleName(accessibleName);
    return combo;
}

QPlainTextEdit *FormWidgets::textArea(QWidget *parent, const QString &objectName, const QString &accessibleName)
{
    auto *area = new QPlainTextEdit(parent);
    area->setObjectName(objectName);
    area->setAccessibleName(accessibleName);
    area->setPlaceholderText(accessibleName);
    return area;
}

QPushButton *FormWidgets::button(QWidget *parent, const QString &objectName, const QString &text)
{
    auto *created = new QPushButton(text, parent);
    created->setObjectName(objectName);
    created->setAccessibleName(text);
    return created;
}

QFrame *FormWidgets::card(QWidget *parent, const QString &accessibleName)
{
    auto *frame = new QFrame(parent);
    frame->setObjectName(QStringLiteral("card"));
    frame->setAccessibleName(accessibleName);
    return frame;
}

void FormWidgets::show(QLineEdit *field, const QString &value)
{
    if (field->text() != value)
        field->setText(value);
}

void FormWidgets::setRole(QWidget *widget, const char *role)
{
    widget->setProperty("role", QString::fromLatin1(role));
    widget->style()->unpolish(widget);
    widget->style()->polish(widget);
}

void FormWidgets::clear(QLayout *layout)
{
    while (QLayoutItem *item = layout->takeAt(0)) {
        if (QWidget *widget = item->widget())
            widget->deleteLater();
        if (QLayout *nested = item->layout())
            clear(nested);
        delete item;
    }
}

bool FormWidgets::confirm(QWidget *parent, const QString &objectName, const QString &title, const QString &text,
                          const QString &confirmText)
{
    QMessageBox dialog(QMessageBox::Warning, title, title, QMessageBox::NoButton, parent);
    dialog.setObjectName(objectName);
    dialog.setInformativeText(text);
    QPushButton *confirmButton = dialog.addButton(confirmText, QMessageBox::DestructiveRole);
    QPushButton *cancel = dialog.addButton(QMessageBox::Cancel);
    cancel->setAccessibleName(QStringLiteral("Cancel"));
    confirmButton->setAccessibleName(confirmText);
    dialog.setDefaultButton(cancel);
    dialog.exec();
    return dialog.clickedButton() == confirmButton;
}
