#pragma once

#include "OnboardingStep.h"

// The first-run flow's step machine: each step moves on only once what it asks for is done.
class OnboardingStateMachine
{
public:
    static OnboardingStep nextStep(bool brokerReady, bool hasConnection, bool hasKey, OnboardingStep current);
};
