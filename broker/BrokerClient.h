#pragma once

#include "BrokerHeaders.h"
#include "BrokerRecordDecoding.h"
#include "BrokerResult.h"

#include <QCoroTask>
#include <QJsonObject>
#include <QUrl>

class QNetworkAccessManager;

// The application's only client of the broker's JSON API: a typed GET and a JSON POST over
// plain HTTP on loopback. A value: copy it freely; it keeps no state between calls.
class BrokerClient
{
public:
    // Bodies above this size are refused rather than read into memory.
    static constexpr qint64 maxResponseBytes = 32 * 1024 * 1024;

    // `manager` defaults to one shared network access manager per thread.
    explicit BrokerClient(double requestTimeoutSeconds = 6.0, QNetworkAccessManager *manager = nullptr);

    double requestTimeout() const { return m_requestTimeout; }

    // Coroutines take their arguments by value: they outlive the caller's temporaries.

    // GET `baseURL` + `path`, decoded as the record `T`. No body and no content type are sent.
    template <typename T>
    QCoro::Task<BrokerResult<T>> get(QUrl baseURL, QString path, BrokerHeaders headers = {}) const
    {
        const BrokerResult<QByteArray> body = co_await getBody(baseURL, path, headers);
        if (!body)
            co_return body.failure();
        co_return decodeBrokerRecord<T>(body.value());
    }

    // GET returning the raw body of a 2xx answer.
    QCoro::Task<BrokerResult<QByteArray>> getBody(QUrl baseURL, QString path, BrokerHeaders headers = {}) const;

    // POST `body` as compact JSON with "content-type: application/json" (a caller's header of the
    // same name replaces it); returns the raw body of a 2xx answer.
    QCoro::Task<BrokerResult<QByteArray>> postJSON(QUrl baseURL, QString path, QJsonObject body,
                                                   BrokerHeaders headers = {}) const;

    // `baseURL` with `path` appended, adding no trailing separator and no query.
    static QUrl requestURL(const QUrl &baseURL, const QString &path);

private:
    QCoro::Task<BrokerResult<QByteArray>> send(QUrl url, QByteArray method, QByteArray body, BrokerHeaders headers) const;

    double m_requestTimeout;
    QNetworkAccessManager *m_manager;
};
