#pragma once

#include "HardwareKeyError.h"
#include "HardwareKeyProvider.h"
#include "TpmKeyProvider.h"

#include <QFile>
#include <QString>
#include <QtTest>

#include <functional>
#include <memory>
#include <optional>

#include <sys/stat.h>

// The swtpm instances started by the ctest fixture (swtpm-fixture.sh): "tpm-a" is this machine,
// "tpm-b" another one.
inline QString simulatorTcti(const char *name)
{
    QFile file(QStringLiteral(TVN_SWTPM_DIR "/%1.tcti").arg(QLatin1String(name)));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("no TPM simulator %s: run the test through ctest (fixture vault_tpm)", name);
    return QString::fromUtf8(file.readAll()).trimmed();
}

// Nothing listens on port 1: a machine without a TPM.
inline QString missingTpmTcti()
{
    return QStringLiteral("swtpm:host=127.0.0.1,port=1");
}

inline std::shared_ptr<HardwareKeyProvider> simulator(const char *name = "tpm-a")
{
    return std::make_shared<TpmKeyProvider>(simulatorTcti(name));
}

// Wraps the real simulator and injects what swtpm cannot produce: a refused access rule, a
// cancelled presence prompt, a TPM this user may not open.
class FaultInjectingKeyProvider : public HardwareKeyProvider
{
public:
    std::shared_ptr<HardwareKeyProvider> real = simulator();
    std::optional<HardwareKeyError> createFailure;
    std::optional<HardwareKeyError> agreementFailure;
    std::optional<HardwareKeyError> inaccessible;
    int createdKeys = 0;

    HardwareKeyAvailability availability() override
    {
        if (inaccessible)
            return {HardwareKeyAvailability::State::inaccessible, inaccessible};
        return real->availability();
    }

    std::unique_ptr<HardwareKey> createKeyAgreementKey(bool requireUserPresence) override
    {
        if (createFailure)
            createFailure->raise();
        ++createdKeys;
        return real->createKeyAgreementKey(requireUserPresence);
    }

    std::unique_ptr<HardwareKey> loadKeyAgreementKey(const QByteArray &handle, bool requireUserPresence,
                                                     const AuthenticationContext *context) override
    {
        auto key = real->loadKeyAgreementKey(handle, requireUserPresence, context);
        if (!agreementFailure)
            return key;
        return std::make_unique<FailingKey>(std::move(key), *agreementFailure);
    }

private:
    class FailingKey : public HardwareKey
    {
    public:
        FailingKey(std::unique_ptr<HardwareKey> inner, HardwareKeyError failure)
            : m_inner(std::move(inner)), m_failure(std::move(failure))
        {
        }
        QByteArray handle() const override { return m_inner->handle(); }
        QByteArray publicKey() const override { return m_inner->publicKey(); }
        QByteArray sharedSecret(const QByteArray &) override { throw m_failure; }

    private:
        std::unique_ptr<HardwareKey> m_inner;
        HardwareKeyError m_failure;
    };
};

// Runs `operation` and returns the exception of type E it threw; fails the test otherwise.
template <typename E>
std::optional<E> thrownBy(const std::function<void()> &operation)
{
    try {
        operation();
    } catch (const E &error) {
        return error;
    } catch (const std::exception &other) {
        qWarning("unexpected exception: %s", other.what());
        return std::nullopt;
    }
    qWarning("no exception was thrown");
    return std::nullopt;
}

// Permission bits of the item itself (links not followed); -1 when it does not exist.
inline int modeOf(const QString &path)
{
    struct stat status{};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return -1;
    return int(status.st_mode & 07777);
}
