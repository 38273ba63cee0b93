#include "OnboardingStateMachine.h"

OnboardingStep OnboardingStateMachine::nextStep(bool brokerReady, bool hasConnection, bool hasKey, OnboardingStep current)
{
    Q_UNUSED(hasKey) // the last step stays where it is, key or not
    switch (current) {
    case OnboardingStep::welcome:
        return OnboardingStep::turnOn;
    case OnboardingStep::turnOn:
        return brokerReady ? OnboardingStep::connect : OnboardingStep::turnOn;
    case OnboardingStep::connect:
        return hasConnection ? OnboardingStep::key : OnboardingStep::connect;
    case OnboardingStep::key:
        return OnboardingStep::key;
    }
    return current;
}
