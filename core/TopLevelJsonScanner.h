#pragma once

#include <QString>
#include <QStringList>

// The brace-balanced top-level objects in `text`, in order, each from its "{" to its matching "}".
// Text outside objects (log lines) is skipped; inside an object, quoted strings are skipped with
// backslash escapes, so braces in string values do not count. An object still open at the end of
// the text is not returned. One linear pass; any input is safe.
QStringList topLevelJsonObjects(const QString &text);
