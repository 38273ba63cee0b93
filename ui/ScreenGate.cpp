#include "ScreenGate.h"

#include "AppModel.h"

ScreenGate::Reason ScreenGate::reason(const AppModel &model)
{
    if (!model.supervision()->brokerReadyAndVerified() || model.supervision()->localServiceRepairRequired())
        return Reason::serviceOff;
    if (!model.snapshot()->operatorUnlocked() || model.operatorSession()->operatorPassphraseRequired())
        return Reason::locked;
    return Reason::none;
}
