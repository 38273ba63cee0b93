#include "TpmKeyProvider.h"

#include "HardwareKeyError.h"

#include <tss2/tss2_esys.h>
#include <tss2/tss2_mu.h>
#include <tss2/tss2_rc.h>
#include <tss2/tss2_tctildr.h>

#include <QFileInfo>
#include <QRandomGenerator>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include <unistd.h>

namespace {

const QByteArray handleMagic = QByteArrayLiteral("TVNTPMK1");
constexpr int coordinateSize = 32;

template <typename T>
struct EsysFree
{
    void operator()(T *pointer) const { Esys_Free(pointer); }
};
template <typename T>
using EsysPointer = std::unique_ptr<T, EsysFree<T>>;

QString rcText(TSS2_RC rc)
{
    return QStringLiteral("%1 (0x%2)").arg(QString::fromLatin1(Tss2_RC_Decode(rc))).arg(rc, 0, 16);
}

// The library prints its own errors to stderr by default; ours carry them instead.
void silenceLibraryLog()
{
    static std::once_flag once;
    std::call_once(once, [] {
        if (qEnvironmentVariableIsEmpty("TSS2_LOG"))
            qputenv("TSS2_LOG", "all+none");
    });
}

std::optional<QString> devicePath(const QString &tcti)
{
    if (tcti == QLatin1String("device"))
        return QStringLiteral("/dev/tpm0");
    if (tcti.startsWith(QLatin1String("device:")))
        return tcti.mid(7);
    return std::nullopt;
}

HardwareKeyError connectionFailure(const QString &tcti, TSS2_RC rc)
{
    if (const auto path = devicePath(tcti); path && QFileInfo::exists(*path)) {
        const QByteArray native = path->toLocal8Bit();
        if (access(native.constData(), R_OK | W_OK) != 0 && errno == EACCES)
            return HardwareKeyError::permissionDenied(*path);
    }
    return HardwareKeyError::unavailable(QStringLiteral("nothing answers at %1 (%2)").arg(tcti, rcText(rc)));
}

// The low error number of a TPM response code, without the handle/parameter/session index.
TSS2_RC tpmErrorNumber(TSS2_RC rc)
{
    if ((rc & TSS2_RC_LAYER_MASK) != TSS2_TPM_RC_LAYER)
        return rc;
    return (rc & TPM2_RC_FMT1) ? (rc & (TPM2_RC_FMT1 | 0x3F)) : rc;
}

// Without a resource manager (swtpm, or a TPM opened directly) every client shares the TPM's
// few object and session slots, so a busy TPM answers "out of memory" until another client
// flushes. That is worth waiting for; everything else is a real failure.
bool isResourceShortage(TSS2_RC rc)
{
    const TSS2_RC number = tpmErrorNumber(rc);
    return number == TPM2_RC_OBJECT_MEMORY || number == TPM2_RC_SESSION_MEMORY || number == TPM2_RC_MEMORY;
}

struct TpmBusy
{
    HardwareKeyError error;
};

// Runs `operation` (which opens and closes its own connection) again while the TPM is busy.
template <typename Operation>
auto retryingWhileBusy(Operation operation)
{
    constexpr int attempts = 40;
    for (int attempt = 1;; ++attempt) {
        try {
            return operation();
        } catch (const TpmBusy &busy) {
            if (attempt == attempts)
                throw busy.error;
            QThread::msleep(QRandomGenerator::global()->bounded(20, 120));
        }
    }
}

// TPMT_SYM_DEF (sessions) and TPMT_SYM_DEF_OBJECT (keys) share one layout.
template <typename Definition>
Definition aes128Cfb()
{
    Definition symmetric{};
    symmetric.algorithm = TPM2_ALG_AES;
    symmetric.keyBits.aes = 128;
    symmetric.mode.aes = TPM2_ALG_CFB;
    return symmetric;
}

TPM2B_PUBLIC eccTemplate(TPMA_OBJECT attributes)
{
    TPM2B_PUBLIC area{};
    area.publicArea.type = TPM2_ALG_ECC;
    area.publicArea.nameAlg = TPM2_ALG_SHA256;
    area.publicArea.objectAttributes = attributes;
    area.publicArea.parameters.eccDetail.symmetric.algorithm = TPM2_ALG_NULL;
    area.publicArea.parameters.eccDetail.scheme.scheme = TPM2_ALG_NULL;
    area.publicArea.parameters.eccDetail.curveID = TPM2_ECC_NIST_P256;
    area.publicArea.parameters.eccDetail.kdf.scheme = TPM2_ALG_NULL;
    return area;
}

// The TCG's standard ECC P-256 storage key template (zero unique fields), so every connection
// re-creates the same primary.
TPM2B_PUBLIC storagePrimaryTemplate()
{
    TPM2B_PUBLIC area = eccTemplate(TPMA_OBJECT_FIXEDTPM | TPMA_OBJECT_FIXEDPARENT | TPMA_OBJECT_SENSITIVEDATAORIGIN
                                    | TPMA_OBJECT_USERWITHAUTH | TPMA_OBJECT_NODA | TPMA_OBJECT_RESTRICTED
                                    | TPMA_OBJECT_DECRYPT);
    area.publicArea.parameters.eccDetail.symmetric = aes128Cfb<TPMT_SYM_DEF_OBJECT>();
    area.publicArea.unique.ecc.x.size = coordinateSize;
    area.publicArea.unique.ecc.y.size = coordinateSize;
    return area;
}

constexpr TPMA_OBJECT keyAgreementAttributes = TPMA_OBJECT_FIXEDTPM | TPMA_OBJECT_FIXEDPARENT
    | TPMA_OBJECT_SENSITIVEDATAORIGIN | TPMA_OBJECT_USERWITHAUTH | TPMA_OBJECT_DECRYPT;

QByteArray paddedCoordinate(const TPM2B_ECC_PARAMETER &parameter)
{
    const int size = qMin<int>(parameter.size, coordinateSize);
    QByteArray out(coordinateSize - size, '\0');
    out.append(reinterpret_cast<const char *>(parameter.buffer), size);
    return out;
}

void setCoordinate(TPM2B_ECC_PARAMETER &parameter, const QByteArray &bytes)
{
    parameter.size = coordinateSize;
    std::memcpy(parameter.buffer, bytes.constData(), coordinateSize);
}

struct KeyBlob
{
    TPM2B_PUBLIC publicArea{};
    TPM2B_PRIVATE privateArea{};
};

QByteArray marshalHandle(const KeyBlob &blob)
{
    std::vector<uint8_t> buffer(sizeof(TPM2B_PUBLIC) + sizeof(TPM2B_PRIVATE));
    size_t offset = 0;
    TSS2_RC rc = Tss2_MU_TPM2B_PUBLIC_Marshal(&blob.publicArea, buffer.data(), buffer.size(), &offset);
    if (rc == TSS2_RC_SUCCESS)
        rc = Tss2_MU_TPM2B_PRIVATE_Marshal(&blob.privateArea, buffer.data(), buffer.size(), &offset);
    if (rc != TSS2_RC_SUCCESS)
        throw HardwareKeyError::operationFailed(QStringLiteral("key handle encoding"), rcText(rc));
    return handleMagic + QByteArray(reinterpret_cast<const char *>(buffer.data()), qsizetype(offset));
}

bool isKeyAgreementArea(const TPMT_PUBLIC &area)
{
    return area.type == TPM2_ALG_ECC && area.parameters.eccDetail.curveID == TPM2_ECC_NIST_P256
        && (area.objectAttributes & TPMA_OBJECT_DECRYPT) && !(area.objectAttributes & TPMA_OBJECT_RESTRICTED);
}

KeyBlob unmarshalHandle(const QByteArray &handle)
{
    if (!handle.startsWith(handleMagic))
        throw HardwareKeyError::malformedHandle();
    const auto *bytes = reinterpret_cast<const uint8_t *>(handle.constData());
    const size_t size = size_t(handle.size());
    size_t offset = size_t(handleMagic.size());
    KeyBlob blob;
    if (Tss2_MU_TPM2B_PUBLIC_Unmarshal(bytes, size, &offset, &blob.publicArea) != TSS2_RC_SUCCESS
        || Tss2_MU_TPM2B_PRIVATE_Unmarshal(bytes, size, &offset, &blob.privateArea) != TSS2_RC_SUCCESS
        || offset != size || !isKeyAgreementArea(blob.publicArea.publicArea))
        throw HardwareKeyError::malformedHandle();
    return blob;
}

// One connection to the TPM with the storage primary and a salted session; flushes both (and
// anything loaded through it) when it goes away.
class TpmConnection
{
public:
    explicit TpmConnection(const QString &tcti)
    {
        silenceLibraryLog();
        TSS2_RC rc = Tss2_TctiLdr_Initialize(tcti.toUtf8().constData(), &m_tcti);
        if (rc != TSS2_RC_SUCCESS)
            throw connectionFailure(tcti, rc);
        rc = Esys_Initialize(&m_esys, m_tcti, nullptr);
        if (rc != TSS2_RC_SUCCESS) {
            Tss2_TctiLdr_Finalize(&m_tcti);
            throw connectionFailure(tcti, rc);
        }
    }

    ~TpmConnection()
    {
        for (auto it = m_transient.rbegin(); it != m_transient.rend(); ++it)
            Esys_FlushContext(m_esys, *it);
        Esys_Finalize(&m_esys);
        Tss2_TctiLdr_Finalize(&m_tcti);
    }

    TpmConnection(const TpmConnection &) = delete;
    TpmConnection &operator=(const TpmConnection &) = delete;

    bool supportsP256()
    {
        TPMI_YES_NO more = TPM2_NO;
        TPMS_CAPABILITY_DATA *raw = nullptr;
        const TSS2_RC rc = Esys_GetCapability(m_esys, ESYS_TR_NONE, ESYS_TR_NONE, ESYS_TR_NONE, TPM2_CAP_ECC_CURVES, 0,
                                              TPM2_MAX_ECC_CURVES, &more, &raw);
        const EsysPointer<TPMS_CAPABILITY_DATA> data(raw);
        check(rc, QStringLiteral("capability query"));
        const TPML_ECC_CURVE &curves = data->data.eccCurves;
        return std::find(curves.eccCurves, curves.eccCurves + curves.count, TPM2_ECC_NIST_P256)
            != curves.eccCurves + curves.count;
    }

    void openStorageParent()
    {
        const TPM2B_SENSITIVE_CREATE sensitive{};
        const TPM2B_PUBLIC area = storagePrimaryTemplate();
        const TPM2B_DATA outside{};
        const TPML_PCR_SELECTION pcrs{};
        check(Esys_CreatePrimary(m_esys, ESYS_TR_RH_OWNER, ESYS_TR_PASSWORD, ESYS_TR_NONE, ESYS_TR_NONE, &sensitive,
                                 &area, &outside, &pcrs, &m_primary, nullptr, nullptr, nullptr, nullptr),
              QStringLiteral("storage primary creation"));
        m_transient.push_back(m_primary);

        const auto symmetric = aes128Cfb<TPMT_SYM_DEF>();
        check(Esys_StartAuthSession(m_esys, m_primary, ESYS_TR_NONE, ESYS_TR_NONE, ESYS_TR_NONE, ESYS_TR_NONE,
                                    nullptr, TPM2_SE_HMAC, &symmetric, TPM2_ALG_SHA256, &m_session),
              QStringLiteral("session start"));
        m_transient.push_back(m_session);
        check(Esys_TRSess_SetAttributes(m_esys, m_session,
                                        TPMA_SESSION_DECRYPT | TPMA_SESSION_ENCRYPT | TPMA_SESSION_CONTINUESESSION,
                                        0xff),
              QStringLiteral("session setup"));
    }

    KeyBlob createKey()
    {
        const TPM2B_SENSITIVE_CREATE sensitive{};
        const TPM2B_PUBLIC area = eccTemplate(keyAgreementAttributes);
        const TPM2B_DATA outside{};
        const TPML_PCR_SELECTION pcrs{};
        TPM2B_PRIVATE *privateRaw = nullptr;
        TPM2B_PUBLIC *publicRaw = nullptr;
        const TSS2_RC rc = Esys_Create(m_esys, m_primary, m_session, ESYS_TR_NONE, ESYS_TR_NONE, &sensitive, &area,
                                       &outside, &pcrs, &privateRaw, &publicRaw, nullptr, nullptr, nullptr);
        const EsysPointer<TPM2B_PRIVATE> privateArea(privateRaw);
        const EsysPointer<TPM2B_PUBLIC> publicArea(publicRaw);
        check(rc, QStringLiteral("key creation"));
        return {*publicArea, *privateArea};
    }

    ESYS_TR load(const KeyBlob &blob)
    {
        ESYS_TR key = ESYS_TR_NONE;
        const TSS2_RC rc = Esys_Load(m_esys, m_primary, m_session, ESYS_TR_NONE, ESYS_TR_NONE, &blob.privateArea,
                                     &blob.publicArea, &key);
        // The TPM judging the blob itself (integrity, size, attributes) means it is not this TPM's.
        if ((rc & TSS2_RC_LAYER_MASK) == TSS2_TPM_RC_LAYER && (rc & TPM2_RC_FMT1))
            throw HardwareKeyError::keyNotLoadable(rcText(rc));
        check(rc, QStringLiteral("key load"));
        m_transient.push_back(key);
        return key;
    }

    QByteArray ecdh(ESYS_TR key, const QByteArray &peerPublicKey)
    {
        TPM2B_ECC_POINT in{};
        setCoordinate(in.point.x, peerPublicKey.left(coordinateSize));
        setCoordinate(in.point.y, peerPublicKey.mid(coordinateSize));
        TPM2B_ECC_POINT *outRaw = nullptr;
        const TSS2_RC rc = Esys_ECDH_ZGen(m_esys, key, m_session, ESYS_TR_NONE, ESYS_TR_NONE, &in, &outRaw);
        const EsysPointer<TPM2B_ECC_POINT> out(outRaw);
        check(rc, QStringLiteral("key agreement"));
        return paddedCoordinate(out->point.x);
    }

private:
    static void check(TSS2_RC rc, const QString &operation)
    {
        if (rc == TSS2_RC_SUCCESS)
            return;
        const HardwareKeyError error = HardwareKeyError::operationFailed(operation, rcText(rc));
        if (isResourceShortage(rc))
            throw TpmBusy{error};
        throw error;
    }

    TSS2_TCTI_CONTEXT *m_tcti = nullptr;
    ESYS_CONTEXT *m_esys = nullptr;
    ESYS_TR m_primary = ESYS_TR_NONE;
    ESYS_TR m_session = ESYS_TR_NONE;
    std::vector<ESYS_TR> m_transient;
};

class TpmKey : public HardwareKey
{
public:
    TpmKey(const QString &tcti, KeyBlob blob, bool requireUserPresence, const AuthenticationContext *context)
        : m_tcti(tcti), m_blob(blob), m_requireUserPresence(requireUserPresence), m_context(context)
    {
    }

    // Proves the TPM accepts the blob (it fails on another machine's TPM).
    void loadNow()
    {
        retryingWhileBusy([this] { ensureLoaded(); });
    }

    QByteArray handle() const override { return marshalHandle(m_blob); }

    QByteArray publicKey() const override
    {
        const TPMS_ECC_POINT &point = m_blob.publicArea.publicArea.unique.ecc;
        return paddedCoordinate(point.x) + paddedCoordinate(point.y);
    }

    QByteArray sharedSecret(const QByteArray &peerPublicKey) override
    {
        if (m_requireUserPresence && !(m_context && m_context->isUserPresenceApproved()))
            throw HardwareKeyError::authenticationFailed(
                QStringLiteral("User presence was not confirmed, so the key can't be used."));
        if (peerPublicKey.size() != 2 * coordinateSize)
            throw HardwareKeyError::operationFailed(QStringLiteral("key agreement"),
                                                    QStringLiteral("the public key is not a raw P-256 point"));
        return retryingWhileBusy([&] {
            ensureLoaded();
            return m_connection->ecdh(m_loaded, peerPublicKey);
        });
    }

private:
    void ensureLoaded()
    {
        if (m_connection)
            return;
        auto connection = std::make_unique<TpmConnection>(m_tcti);
        connection->openStorageParent();
        m_loaded = connection->load(m_blob);
        m_connection = std::move(connection);
    }

    QString m_tcti;
    KeyBlob m_blob;
    bool m_requireUserPresence;
    const AuthenticationContext *m_context;
    std::unique_ptr<TpmConnection> m_connection;
    ESYS_TR m_loaded = ESYS_TR_NONE;
};

} // namespace

TpmKeyProvider::TpmKeyProvider(QString tcti) : m_tcti(std::move(tcti)) {}

QString TpmKeyProvider::tctiFromEnvironment()
{
    const QString configured = qEnvironmentVariable("TVN_TPM_TCTI").trimmed();
    return configured.isEmpty() ? QStringLiteral("device:/dev/tpmrm0") : configured;
}

HardwareKeyAvailability TpmKeyProvider::availability()
{
    try {
        const bool supportsP256 = retryingWhileBusy([this] { return TpmConnection(m_tcti).supportsP256(); });
        if (!supportsP256)
            return {HardwareKeyAvailability::State::absent,
                    HardwareKeyError::unavailable(QStringLiteral("the TPM at %1 has no NIST P-256 curve").arg(m_tcti))};
        return {HardwareKeyAvailability::State::available, std::nullopt};
    } catch (const HardwareKeyError &error) {
        const auto state = error.kind() == HardwareKeyError::Kind::permissionDenied
            ? HardwareKeyAvailability::State::inaccessible
            : HardwareKeyAvailability::State::absent;
        return {state, error};
    }
}

std::unique_ptr<HardwareKey> TpmKeyProvider::createKeyAgreementKey(bool requireUserPresence)
{
    const KeyBlob blob = retryingWhileBusy([this] {
        TpmConnection connection(m_tcti);
        connection.openStorageParent();
        return connection.createKey();
    });
    return std::make_unique<TpmKey>(m_tcti, blob, requireUserPresence, nullptr);
}

std::unique_ptr<HardwareKey> TpmKeyProvider::loadKeyAgreementKey(const QByteArray &handle, bool requireUserPresence,
                                                                 const AuthenticationContext *context)
{
    auto key = std::make_unique<TpmKey>(m_tcti, unmarshalHandle(handle), requireUserPresence, context);
    key->loadNow();
    return key;
}

std::shared_ptr<HardwareKeyProvider> HardwareKeyProvider::systemDefault()
{
    return std::make_shared<TpmKeyProvider>(TpmKeyProvider::tctiFromEnvironment());
}
