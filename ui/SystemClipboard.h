#pragma once

#include "TextClipboard.h"

// The desktop clipboard (not the X11 selection).
class SystemClipboard : public TextClipboard
{
public:
    void setText(const QString &text) override;
    QString text() const override;
};
