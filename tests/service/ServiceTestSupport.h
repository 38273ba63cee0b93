#pragma once

#include "LocalServiceContext.h"
#include "LocalServiceControlError.h"
#include "LocalServiceStatus.h"

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>

#include <QCoro/QCoroTask>

#include <optional>

// What a controller call ended with: a status or the error it threw.
struct ServiceOutcome {
    std::optional<LocalServiceStatus> status;
    std::optional<LocalServiceControlError> error;

    std::optional<LocalServiceControlError::Kind> errorKind() const
    {
        return error ? std::optional(error->kind()) : std::nullopt;
    }
};

inline QCoro::Task<ServiceOutcome> captureOutcome(QCoro::Task<LocalServiceStatus> task)
{
    ServiceOutcome outcome;
    try {
        outcome.status = co_await task;
    } catch (const LocalServiceControlError &error) {
        outcome.error = error;
    }
    co_return outcome;
}

// Blocks (running the event loop) until the call has finished.
inline ServiceOutcome finish(QCoro::Task<LocalServiceStatus> task)
{
    return QCoro::waitFor(captureOutcome(std::move(task)));
}

inline bool writeFile(const QString &path, const QByteArray &contents, QFile::Permissions permissions = {})
{
    if (!QDir().mkpath(QFileInfo(path).path()))
        return false;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(contents) != contents.size())
        return false;
    file.close();
    return permissions ? file.setPermissions(permissions) : true;
}

// This process's environment around a temporary home, without the user session bus, so a child
// never reaches the real user's service manager.
inline QProcessEnvironment isolatedHomeEnvironment(const QString &home)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    environment.remove(QStringLiteral("TVN_SERVICE_ROOT"));
    return environment;
}

inline LocalServiceContext serviceContext(const QString &home, const QString &prefix,
                                          const std::optional<QString> &resources = std::nullopt)
{
    return LocalServiceContext{
        TVNRuntimeIdentity::resolve({}, home, home + QStringLiteral("/.local/share")),
        prefix,
        resources,
        QStringLiteral("/opt/torvane/bin/torvane"),
        isolatedHomeEnvironment(home),
        [] { return false; },
    };
}
