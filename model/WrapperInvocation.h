#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <optional>

// How the app starts the wrapper for one profile, the way an agent app does with the entry it was
// given: the command, "--profile NAME", and the entry's environment over the app's own.
struct WrapperInvocation {
    QString command;
    QString profile;
    QString brokerURL;
    QString stateDirectory;
    // "production" or "development".
    QString runtimeLane;
    std::optional<QString> signerPath;
    QProcessEnvironment baseEnvironment;

    // The command itself when it names a path, else /usr/bin/env looking it up on PATH.
    QString program() const;
    // "--profile", profile, then "--check" when asked.
    QStringList arguments(bool check) const;
    // The base environment without "SWITCHYARD_API_KEY", with the handoff variables set.
    QProcessEnvironment environment() const;
};
