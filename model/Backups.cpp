#include "Backups.h"

#include "BrokerPaths.h"
#include "ModelContext.h"
#include "OperatorRequests.h"
#include "PublishedField.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QScopeGuard>

const QString Backups::exportActionKey = QStringLiteral("exportBackup");
const QString Backups::restoreActionKey = QStringLiteral("restoreBackup");

namespace {
// Any JSON value, top-level scalars included: the document reader takes only objects and
// arrays, so the text is read as the one element of an array.
std::optional<QJsonValue> parseJsonValue(const QByteArray &text, QString *error)
{
    QJsonParseError parseError;
    const QJsonDocument wrapped = QJsonDocument::fromJson('[' + text + "\n]", &parseError);
    if (parseError.error != QJsonParseError::NoError || wrapped.array().size() != 1) {
        *error = parseError.error != QJsonParseError::NoError ? parseError.errorString() : QStringLiteral("more than one value");
        return std::nullopt;
    }
    return wrapped.array().first();
}

// Indented, with object keys sorted (QJsonObject keeps its keys in order).
QString indentedJson(const QJsonValue &value)
{
    if (value.isObject())
        return QString::fromUtf8(QJsonDocument(value.toObject()).toJson(QJsonDocument::Indented));
    if (value.isArray())
        return QString::fromUtf8(QJsonDocument(value.toArray()).toJson(QJsonDocument::Indented));
    const QByteArray wrapped = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(wrapped.mid(1, wrapped.size() - 2));
}

QJsonObject exportBody(const QString &passphrase)
{
    return {{QStringLiteral("passphrase"), passphrase}, {QStringLiteral("note"), QStringLiteral("Linux app export")}};
}

QJsonObject restoreBody(const QString &passphrase, const QJsonValue &backup)
{
    return {{QStringLiteral("passphrase"), passphrase}, {QStringLiteral("backup"), backup}};
}
} // namespace

Backups::Backups(ModelContext &context, QObject *parent) : QObject(parent), m_context(context) {}

void Backups::setBackupPassphrase(const QString &value)
{
    assignPublished(this, m_passphrase, value, &Backups::formChanged);
}

void Backups::setBackupPayload(const QString &value)
{
    assignPublished(this, m_payload, value, &Backups::formChanged);
}

QCoro::Task<> Backups::exportBackup()
{
    if (!m_context.actions().begin(exportActionKey))
        co_return;
    const auto endAction = qScopeGuard([this] { m_context.actions().end(exportActionKey); });
    m_context.status().setStatusMessage(QStringLiteral("Exporting encrypted backup"));
    const QJsonObject body = exportBody(m_passphrase);
    const BrokerResult<QByteArray> answer = co_await OperatorRequests::post(m_context, BrokerPaths::backupExport, body);
    if (!answer) {
        m_context.status().fail(answer.failure().description());
        co_return;
    }
    QString error;
    const std::optional<QJsonValue> backup = parseJsonValue(answer.value(), &error);
    if (!backup) {
        m_context.status().fail(QStringLiteral("The broker's backup is not JSON: ") + error);
        co_return;
    }
    setBackupPayload(indentedJson(*backup));
    m_context.status().setStatusMessage(QStringLiteral("Encrypted backup exported"));
}

QCoro::Task<> Backups::restoreBackup()
{
    if (!m_context.actions().begin(restoreActionKey))
        co_return;
    const auto endAction = qScopeGuard([this] { m_context.actions().end(restoreActionKey); });
    m_context.status().setStatusMessage(QStringLiteral("Restoring encrypted backup"));
    QString error;
    const std::optional<QJsonValue> backup = parseJsonValue(m_payload.toUtf8(), &error);
    if (!backup) {
        m_context.status().fail(QStringLiteral("The backup text is not valid JSON: ") + error);
        co_return;
    }
    const QJsonObject body = restoreBody(m_passphrase, *backup);
    const BrokerResult<QByteArray> answer = co_await OperatorRequests::post(m_context, BrokerPaths::backupRestore, body);
    if (!answer) {
        m_context.status().fail(answer.failure().description());
        co_return;
    }
    co_await m_context.refreshAfterChange();
}
