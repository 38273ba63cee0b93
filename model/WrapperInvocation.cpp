#include "WrapperInvocation.h"

namespace {
bool namesPath(const QString &command)
{
    return command.contains(QLatin1Char('/'));
}
} // namespace

QString WrapperInvocation::program() const
{
    return namesPath(command) ? command : QStringLiteral("/usr/bin/env");
}

QStringList WrapperInvocation::arguments(bool check) const
{
    QStringList arguments{QStringLiteral("--profile"), profile};
    if (!namesPath(command))
        arguments.prepend(command);
    if (check)
        arguments.append(QStringLiteral("--check"));
    return arguments;
}

QProcessEnvironment WrapperInvocation::environment() const
{
    QProcessEnvironment environment = baseEnvironment;
    environment.remove(QStringLiteral("SWITCHYARD_API_KEY"));
    environment.insert(QStringLiteral("TVN_BROKER_URL"), brokerURL);
    environment.insert(QStringLiteral("SWITCHYARD_STATE_DIR"), stateDirectory);
    environment.insert(QStringLiteral("TVN_RUNTIME_LANE"), runtimeLane);
    if (signerPath)
        environment.insert(QStringLiteral("SWITCHYARD_BOUND_PROFILE_SIGNER_PATH"), *signerPath);
    return environment;
}
