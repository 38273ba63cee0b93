#include "HomeRelativePath.h"

#include <QDir>

namespace HomeRelativePath {

QString display(const QString &path, const QString &homeDirectory)
{
    const QString home = QDir::cleanPath(homeDirectory);
    if (home.isEmpty() || home == QLatin1StringView("/"))
        return path;
    if (path == home)
        return QStringLiteral("~");
    if (path.startsWith(home + QLatin1Char('/')))
        return QLatin1Char('~') + path.mid(home.size());
    return path;
}

} // namespace HomeRelativePath
