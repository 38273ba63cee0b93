#pragma once

#include <QList>
#include <QString>

#include <optional>

// The first-run flow's steps, in their order, with their raw values ("turnOn").
enum class OnboardingStep { welcome, turnOn, connect, key };

namespace OnboardingSteps {
QList<OnboardingStep> allCases();
QString rawValue(OnboardingStep step);
// None for any string that is not a step's raw value.
std::optional<OnboardingStep> fromRawValue(const QString &rawValue);
} // namespace OnboardingSteps
