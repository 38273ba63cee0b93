#pragma once

#include "HardwareKeyProvider.h"

#include <QString>

// Hardware keys on a TPM 2.0 through tss2-esys. The key is an ECC P-256 decrypt key under the
// owner hierarchy's standard storage primary, which is re-created on every connection (it is
// deterministic). Its handle is "TVNTPMK1" + marshalled TPM2B_PUBLIC + TPM2B_PRIVATE, which
// only the TPM that made it can load. Commands carrying secrets run in a session salted to the
// primary, so the shared value crosses the bus encrypted. Every call opens its own connection
// and flushes what it loaded, so it also works on a TPM without a resource manager (swtpm).
class TpmKeyProvider : public HardwareKeyProvider
{
public:
    explicit TpmKeyProvider(QString tcti);

    // TVN_TPM_TCTI when set, else the kernel resource manager "device:/dev/tpmrm0".
    static QString tctiFromEnvironment();

    QString tcti() const { return m_tcti; }

    HardwareKeyAvailability availability() override;
    std::unique_ptr<HardwareKey> createKeyAgreementKey(bool requireUserPresence) override;
    std::unique_ptr<HardwareKey> loadKeyAgreementKey(const QByteArray &handle, bool requireUserPresence,
                                                     const AuthenticationContext *context) override;

private:
    QString m_tcti;
};
