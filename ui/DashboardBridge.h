#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QObject>

// The "tvnNative" object the page reaches through the web channel: the one way in for its
// messages. Anything that is not a JSON object is dropped here.
class DashboardBridge : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    Q_INVOKABLE void postMessage(const QJsonValue &message);

Q_SIGNALS:
    void messagePosted(const QJsonObject &message);
};
