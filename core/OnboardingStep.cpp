#include "OnboardingStep.h"

QList<OnboardingStep> OnboardingSteps::allCases()
{
    return {OnboardingStep::welcome, OnboardingStep::turnOn, OnboardingStep::connect, OnboardingStep::key};
}

QString OnboardingSteps::rawValue(OnboardingStep step)
{
    switch (step) {
    case OnboardingStep::welcome:
        return QStringLiteral("welcome");
    case OnboardingStep::turnOn:
        return QStringLiteral("turnOn");
    case OnboardingStep::connect:
        return QStringLiteral("connect");
    case OnboardingStep::key:
        return QStringLiteral("key");
    }
    return {};
}

std::optional<OnboardingStep> OnboardingSteps::fromRawValue(const QString &rawValue)
{
    for (const OnboardingStep step : allCases()) {
        if (OnboardingSteps::rawValue(step) == rawValue)
            return step;
    }
    return std::nullopt;
}
