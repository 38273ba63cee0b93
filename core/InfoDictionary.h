#pragma once

#include <QString>
#include <QVariantMap>

#include <optional>

// The application's metadata dictionary (<resources>/Info.json) and the value-reading rules
// that lane selection and the version line share.
namespace InfoDictionary {

// An absent, unreadable or malformed file, or one whose top level is not an object, is an empty
// dictionary: the development lane follows from that without any special case.
QVariantMap load(const QString &path);

// A string value trimmed of white space and newlines at both ends; any other type is missing.
std::optional<QString> readString(const QVariantMap &info, const QString &key);

// An integer, a number (through its integer value) or a trimmed base-10 string with an optional
// sign and at least one digit. Overflow, an empty string or any other character is missing.
std::optional<qint64> readInteger(const QVariantMap &info, const QString &key);

} // namespace InfoDictionary
