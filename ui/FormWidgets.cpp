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

const QString FormWidgets::style = QStringLiteral(R"(
QFrame#card { background: #161b22; border: 1px solid #30363d; border-radius: 8px; }
QLabel { color: #e6edf3; background: transparent; }
QLabel[role="note"] { color: #9da7b3; }
QLabel[role="error"] { color: #f85149; }
QLabel[role="secret"] { color: #e3b341; font-family: monospace; }
QLineEdit, QComboBox, QPlainTextEdit { background: #0d1117; color: #e6edf3; border: 1px solid #363b42; border-radius: 6px; padding: 6px 9px; }
QLineEdit:focus, QPlainTextEdit:focus { border-color: #2f6feb; }
QPushButton { background: #21262d; color: #e6edf3; border: 1px solid #363b42; border-radius: 6px; padding: 6px 14px; }
QPushButton:hover { background: #2b3139; }
QPushButton:disabled { color: #6e7681; }
QPushButton[role="primary"] { background: #2f6feb; border-color: #2f6feb; font-weight: bold; }
QPushButton[role="primary"]:disabled { background: #1c2f52; border-color: #1c2f52; color: #8b949e; }
QPushButton[role="danger"] { background: #3d1d20; border-color: #f85149; color: #ffdcd7; }
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
