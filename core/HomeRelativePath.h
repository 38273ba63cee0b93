#pragma once

#include <QString>

namespace HomeRelativePath {

// A path under the home directory reads "~/…", so texts the user copies do not carry the
// account's home; anything else is shown as it is.
QString display(const QString &path, const QString &homeDirectory);

} // namespace HomeRelativePath
