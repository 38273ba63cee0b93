#pragma once

#include <QJsonObject>

class AppModel;
class QWidget;

// Every published field of the model under its own name, as the automation channel reports it.
// Secrets (session ids, one-time keys, form secrets) read "<set>" or "" and nothing more.
QJsonObject automationState(const AppModel &model);

// What the window shows: "rootSurface" (the surface's case name, null without a window) and
// "dashboardRevealed" (the dashboard page is on screen and proved it rendered).
void addWindowState(QJsonObject &state, const QWidget *window);
