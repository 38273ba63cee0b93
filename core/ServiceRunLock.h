#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// "run.lock" in the state root: which build of the service runs, under which process.
struct ServiceRunLock {
    QString buildId;
    qint64 pid = 0;
    QString startedAt;

    bool operator==(const ServiceRunLock &other) const = default;

    static std::optional<ServiceRunLock> decode(const QByteArray &json);
    // None when the lock is missing, not a regular file or unreadable.
    static std::optional<ServiceRunLock> read(const QString &stateRootPath);
};
