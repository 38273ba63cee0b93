#include "ModelContext.h"

ModelContext::ModelContext(TVNRuntimeIdentity identity, AppMetadata metadata, UserDefaults defaults, QObject *parent)
    : QObject(parent)
    , m_identity(std::move(identity))
    , m_metadata(std::move(metadata))
    , m_defaults(std::move(defaults))
    , m_brokerURL(m_identity.brokerURL())
{
}

qint64 ModelContext::brokerPort() const
{
    const int port = m_brokerURL.port(-1);
    return port >= 0 ? port : m_identity.brokerPort();
}

void ModelContext::setOperatorSessionID(const QString &sessionID)
{
    if (m_operatorSessionID == sessionID)
        return;
    m_operatorSessionID = sessionID;
    emit operatorSessionIDChanged();
}

void ModelContext::lockOperatorSurfaces(const QString &message)
{
    emit operatorSurfacesLocked();
    m_status.setStatusMessage(message);
}

QCoro::Task<> ModelContext::refreshAfterChange()
{
    if (m_refreshAfterChange)
        co_await m_refreshAfterChange();
}
