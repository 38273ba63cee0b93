#include "ServiceStartConfirmation.h"

#include "AppModel.h"

#include <QMessageBox>
#include <QPushButton>

bool ServiceStartConfirmation::ask(const AppModel &model, QWidget *parent, const QString &sheetName,
                                   const QString &confirmButtonName)
{
    const ServiceSupervision &supervision = *model.supervision();
    // "Continue" on a running, verified service turns nothing on: there is nothing to confirm.
    if (!supervision.primaryServiceActionNeedsConfirmation())
        return true;
    QMessageBox sheet(QMessageBox::Question, supervision.serviceConfirmationTitle(), supervision.serviceConfirmationTitle(),
                      QMessageBox::NoButton, parent);
    sheet.setObjectName(sheetName);
    sheet.setInformativeText(supervision.serviceConfirmationMessage());
    QPushButton *confirm = sheet.addButton(supervision.serviceConfirmationButtonTitle(), QMessageBox::AcceptRole);
    confirm->setObjectName(confirmButtonName);
    sheet.addButton(QMessageBox::Cancel);
    sheet.setDefaultButton(confirm);
    sheet.exec();
    return sheet.clickedButton() == confirm;
}
