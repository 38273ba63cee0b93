#pragma once

#include <QString>
#include <QVariant>

// What the page reports about itself when the app asks whether it has really rendered.
struct DashboardReadinessProbe {
    bool hasRoot = false;
    int rootTextLength = 0;
    int bodyTextLength = 0;
    QString readyState;
    bool webReadyFlag = false;

    // The script the page evaluates; its result is an object read by `fromScriptResult`.
    static QString script();
    // Anything that is not the expected object reads as a page with nothing rendered.
    static DashboardReadinessProbe fromScriptResult(const QVariant &result);
};
