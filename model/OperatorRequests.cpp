#include "OperatorRequests.h"

#include "ModelContext.h"

#include <QScopeGuard>

QCoro::Task<BrokerResult<QByteArray>> OperatorRequests::post(ModelContext &context, QString path, QJsonObject body)
{
    return context.client().postJSON(context.brokerURL(), std::move(path), std::move(body), context.operatorHeaders());
}

QCoro::Task<> OperatorRequests::postAndRefresh(ModelContext &context, QString actionKey, QString workingStatus,
                                               QString path, QJsonObject body)
{
    if (!context.actions().begin(actionKey))
        co_return;
    const auto endAction = qScopeGuard([&context, actionKey] { context.actions().end(actionKey); });
    context.status().setStatusMessage(workingStatus);
    const BrokerResult<QByteArray> answer = co_await post(context, path, body);
    if (!answer) {
        context.status().fail(answer.failure().description());
        co_return;
    }
    co_await context.refreshAfterChange();
}

QCoro::Task<> OperatorRequests::postAndRefresh(ModelContext &context, QString actionKey, QString workingStatus,
                                               QString path)
{
    return postAndRefresh(context, std::move(actionKey), std::move(workingStatus), std::move(path), QJsonObject());
}
