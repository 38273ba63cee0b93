#include "DashboardBridge.h"

void DashboardBridge::postMessage(const QJsonValue &message)
{
    if (message.isObject())
        emit messagePosted(message.toObject());
}
