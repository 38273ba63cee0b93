#pragma once

#include <QJsonObject>

class AppModel;

// Every published field of the model under its own name, as the automation channel reports it.
// Secrets (session ids, one-time keys, form secrets) read "<set>" or "" and nothing more.
QJsonObject automationState(const AppModel &model);
