#pragma once

#include <QString>

// Backslash escaping shared by the JSON, TOML and YAML text Torvane writes: backslash, double
// quote, line feed, carriage return and tab get their short escapes; a character for which
// `needsUnicodeEscape` holds becomes \uXXXX; every other character stays as it is.
QString backslashEscaped(const QString &text, bool (*needsUnicodeEscape)(char16_t));
