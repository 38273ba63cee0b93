#pragma once

#include <QScrollArea>

class AppModel;

// The operator's actions in plain forms, until the native screens exist: link a provider key,
// agent keys with their one-time secret, the emergency controls, pending approvals, backups and
// the audit chain. Shown only while the vault is unlocked.
class OperatorActionsView : public QScrollArea
{
    Q_OBJECT

public:
    explicit OperatorActionsView(AppModel *model, QWidget *parent = nullptr);

    // A verified broker whose vault is set up and open to this operator.
    static bool vaultOpen(const AppModel &model);

private:
    void render();

    AppModel *m_model;
};
