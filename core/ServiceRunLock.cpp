#include "ServiceRunLock.h"

#include "JsonReader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

namespace {
// A lock is a few dozen bytes; anything far larger is not one.
constexpr qint64 maximumLockSize = 64 * 1024;
} // namespace

std::optional<ServiceRunLock> ServiceRunLock::decode(const QByteArray &json)
{
    const QJsonDocument document = QJsonDocument::fromJson(json);
    if (!document.isObject())
        return std::nullopt;
    JsonReader r(document.object());
    ServiceRunLock lock;
    lock.buildId = r.requiredString(QStringLiteral("buildId"));
    lock.pid = r.requiredInteger(QStringLiteral("pid"));
    lock.startedAt = r.requiredString(QStringLiteral("startedAt"));
    if (!r.ok())
        return std::nullopt;
    return lock;
}

std::optional<ServiceRunLock> ServiceRunLock::read(const QString &stateRootPath)
{
    const QString path = QDir(stateRootPath).filePath(QStringLiteral("run.lock"));
    const QFileInfo info(path);
    if (info.isSymLink() || !info.isFile() || info.size() > maximumLockSize)
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return decode(file.read(maximumLockSize));
}
