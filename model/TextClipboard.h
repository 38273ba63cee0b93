#pragma once

#include <QString>

// Where the model puts text for the user to paste. The window supplies the system clipboard;
// tests supply their own, so the model needs no display.
class TextClipboard
{
public:
    virtual ~TextClipboard() = default;
    // Replaces the clipboard's contents.
    virtual void setText(const QString &text) = 0;
    // What the clipboard holds now, so a copy can be checked; a clipboard that cannot be read
    // back answers empty, and such a check fails.
    virtual QString text() const { return {}; }
};
