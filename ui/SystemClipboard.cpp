#include "SystemClipboard.h"

#include <QClipboard>
#include <QGuiApplication>

void SystemClipboard::setText(const QString &text)
{
    QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
}

QString SystemClipboard::text() const
{
    return QGuiApplication::clipboard()->text(QClipboard::Clipboard);
}
