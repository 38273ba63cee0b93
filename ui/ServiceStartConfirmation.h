#pragma once

#include <QString>

class AppModel;
class QWidget;

// The sheet every "Turn on" asks first ("Turn on Torvane on this computer?"); true when the user
// confirmed. The names let automation find the sheet and its confirm button.
namespace ServiceStartConfirmation {
bool ask(const AppModel &model, QWidget *parent, const QString &sheetName, const QString &confirmButtonName = {});
}
