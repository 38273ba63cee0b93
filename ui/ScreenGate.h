#pragma once

#include <QString>

class AppModel;

// Why a screen shows its gate text instead of its forms: the service is off, the vault is locked,
// or nothing stops it (an empty text).
namespace ScreenGate {
enum class Reason { none, serviceOff, locked };
Reason reason(const AppModel &model);
}
