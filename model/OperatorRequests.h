#pragma once

#include "BrokerResult.h"

#include <QByteArray>
#include <QCoroTask>
#include <QJsonObject>
#include <QString>

class ModelContext;

// The operator calls the actions on accounts, keys, proxies and approvals share: a POST that
// carries the operator session and whose answer is not read, and the usual shape of an action
// around it.
class OperatorRequests
{
public:
    static QCoro::Task<BrokerResult<QByteArray>> post(ModelContext &context, QString path, QJsonObject body);

    // One state-changing call under `actionKey` (pressing again while it runs does nothing): the
    // status reads `workingStatus`, then a success refreshes everything and a failure shows the
    // error's own description.
    static QCoro::Task<> postAndRefresh(ModelContext &context, QString actionKey, QString workingStatus, QString path,
                                        QJsonObject body);
    // The same with an empty body.
    static QCoro::Task<> postAndRefresh(ModelContext &context, QString actionKey, QString workingStatus, QString path);
};
