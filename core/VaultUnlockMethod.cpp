#include "VaultUnlockMethod.h"

namespace VaultUnlockMethods {

namespace {

// The texts of one method, in the order the screens use them.
struct MethodTexts
{
    const char *offerTitle;
    const char *methodPhrase;
    const char *featureName;
    const char *symbolName;
    const char *approvalInstruction;
    const char *firstRunOfferSentence;
};

const MethodTexts &textsOf(VaultUnlockMethod method)
{
    static const MethodTexts biometrics{
        "Secure with system login?",
        "your fingerprint or your computer password",
        "System login unlock",
        "touchid",
        "Approve with your fingerprint or your computer password when Linux asks.",
        "Unlock the vault with your fingerprint — or your computer password — each time you open Torvane. "
        "Your keys stay encrypted on this computer.",
    };
    static const MethodTexts password{
        "Secure with your computer password?",
        "your computer login password",
        "Computer password unlock",
        "lock.shield",
        "Enter your computer login password when Linux asks.",
        "Unlock the vault with your computer login password each time you open Torvane. "
        "Your keys stay encrypted on this computer.",
    };
    static const MethodTexts none{
        "Secure unlock unavailable",
        "Linux authentication",
        "Hardware-sealed unlock",
        "lock.shield",
        "Linux authentication is unavailable on this computer.",
        "",
    };
    switch (method) {
    case VaultUnlockMethod::biometricsWithPasswordFallback:
        return biometrics;
    case VaultUnlockMethod::passwordOnly:
        return password;
    case VaultUnlockMethod::unavailable:
        break;
    }
    return none;
}

} // namespace

VaultUnlockMethod resolve(bool ownerAuthenticationAvailable, bool biometricsAvailable)
{
    if (!ownerAuthenticationAvailable)
        return VaultUnlockMethod::unavailable;
    return biometricsAvailable ? VaultUnlockMethod::biometricsWithPasswordFallback : VaultUnlockMethod::passwordOnly;
}

bool canAuthenticate(VaultUnlockMethod method)
{
    return method != VaultUnlockMethod::unavailable;
}

QString offerTitle(VaultUnlockMethod method)
{
    return QString::fromUtf8(textsOf(method).offerTitle);
}

QString methodPhrase(VaultUnlockMethod method)
{
    return QString::fromUtf8(textsOf(method).methodPhrase);
}

QString featureName(VaultUnlockMethod method)
{
    return QString::fromUtf8(textsOf(method).featureName);
}

QString symbolName(VaultUnlockMethod method)
{
    return QString::fromUtf8(textsOf(method).symbolName);
}

QString approvalInstruction(VaultUnlockMethod method)
{
    return QString::fromUtf8(textsOf(method).approvalInstruction);
}

QString firstRunOfferSentence(VaultUnlockMethod method)
{
    return QString::fromUtf8(textsOf(method).firstRunOfferSentence);
}

} // namespace VaultUnlockMethods
