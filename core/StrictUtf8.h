#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The bytes as text when they are valid UTF-8 throughout; none otherwise (nothing is replaced).
std::optional<QString> strictUtf8(const QByteArray &bytes);
