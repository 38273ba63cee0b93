#include "DarkStyle.h"

#include <QLabel>
#include <QPushButton>
#include <QStyle>

QString DarkStyle::screenStyleSheet()
{
    return QStringLiteral(R"(
QLabel { color: #e8eeec; }
QLabel[role="muted"] { color: #a5b3b0; }
QLabel[role="error"] { color: #ff8a80; }
QLabel[role="accent"] { color: #7cc7bf; }
QFrame[role="card"] { background: #18201f; border: 1px solid #2c3836; border-radius: 10px; }
QLineEdit { background: #18201f; color: #e8eeec; border: 1px solid #2c3836; border-radius: 6px; padding: 7px 10px; }
QLineEdit:focus { border-color: #2f7de1; }
QPushButton { background: transparent; color: #e8eeec; border: 1px solid #2c3836; border-radius: 6px; padding: 7px 16px; }
QPushButton:hover { background: #1f2927; }
QPushButton:disabled { color: #6b7876; }
QPushButton[primary="true"] { background: #5fb3ab; border-color: #5fb3ab; color: #0d1413; font-weight: bold; }
QPushButton[primary="true"]:disabled { background: #2c4a47; }
QPushButton[flat="true"] { background: transparent; border: none; color: #7cc7bf; padding: 4px 0; }
)");
}

QLabel *DarkStyle::wrappedLabel(QWidget *parent, const QString &objectName)
{
    auto *label = new QLabel(parent);
    label->setObjectName(objectName);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QLabel *DarkStyle::titleLabel(QWidget *parent, const QString &objectName, double scale)
{
    QLabel *label = wrappedLabel(parent, objectName);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * scale);
    font.setBold(true);
    label->setFont(font);
    return label;
}

QPushButton *DarkStyle::button(QWidget *parent, const QString &objectName, const QString &text, const QString &help)
{
    auto *created = new QPushButton(text, parent);
    created->setObjectName(objectName);
    created->setAccessibleName(text);
    if (!help.isEmpty()) {
        created->setToolTip(help);
        created->setAccessibleDescription(help);
    }
    return created;
}

void DarkStyle::makePrimary(QPushButton *button)
{
    button->setProperty("primary", true);
    button->setDefault(true);
    button->style()->unpolish(button);
    button->style()->polish(button);
}
