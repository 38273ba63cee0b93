#include "VaultCrypto.h"

#include "VaultCryptoError.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/kdf.h>
#include <openssl/params.h>
#include <openssl/rand.h>

#include <memory>

namespace {

constexpr int coordinateSize = 32;

struct OpenSslFree
{
    void operator()(EVP_PKEY *key) const { EVP_PKEY_free(key); }
    void operator()(EVP_PKEY_CTX *context) const { EVP_PKEY_CTX_free(context); }
    void operator()(EVP_CIPHER_CTX *context) const { EVP_CIPHER_CTX_free(context); }
    void operator()(EVP_KDF *kdf) const { EVP_KDF_free(kdf); }
    void operator()(EVP_KDF_CTX *context) const { EVP_KDF_CTX_free(context); }
};
template <typename T>
using OpenSslPointer = std::unique_ptr<T, OpenSslFree>;

[[noreturn]] void fail(const char *operation)
{
    throw VaultCryptoError::underlyingFailure(QString::fromLatin1(operation));
}

unsigned char *bytes(QByteArray &array)
{
    return reinterpret_cast<unsigned char *>(array.data());
}

const unsigned char *bytes(const QByteArray &array)
{
    return reinterpret_cast<const unsigned char *>(array.constData());
}

// Importing checks that the point lies on the curve.
OpenSslPointer<EVP_PKEY> publicKeyFromRaw(const QByteArray &raw)
{
    if (raw.size() != 2 * coordinateSize)
        throw VaultCryptoError::invalidPublicKey();
    QByteArray uncompressed = QByteArray(1, '\x04') + raw;
    char group[] = "prime256v1";
    const OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_PKEY_PARAM_GROUP_NAME, group, 0),
        OSSL_PARAM_construct_octet_string(OSSL_PKEY_PARAM_PUB_KEY, uncompressed.data(), size_t(uncompressed.size())),
        OSSL_PARAM_construct_end(),
    };
    OpenSslPointer<EVP_PKEY_CTX> context(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
    EVP_PKEY *key = nullptr;
    if (!context || EVP_PKEY_fromdata_init(context.get()) <= 0
        || EVP_PKEY_fromdata(context.get(), &key, EVP_PKEY_PUBLIC_KEY, const_cast<OSSL_PARAM *>(params)) <= 0)
        throw VaultCryptoError::invalidPublicKey();
    return OpenSslPointer<EVP_PKEY>(key);
}

QByteArray rawPublicKey(EVP_PKEY *key)
{
    QByteArray uncompressed(1 + 2 * coordinateSize, '\0');
    size_t length = 0;
    if (EVP_PKEY_get_octet_string_param(key, OSSL_PKEY_PARAM_PUB_KEY, bytes(uncompressed), size_t(uncompressed.size()),
                                        &length) <= 0
        || length != size_t(uncompressed.size()) || uncompressed.at(0) != '\x04')
        fail("P-256 public key export");
    return uncompressed.mid(1);
}

QByteArray deriveSharedSecret(EVP_PKEY *privateKey, EVP_PKEY *peer)
{
    OpenSslPointer<EVP_PKEY_CTX> context(EVP_PKEY_CTX_new(privateKey, nullptr));
    size_t length = 0;
    if (!context || EVP_PKEY_derive_init(context.get()) <= 0 || EVP_PKEY_derive_set_peer(context.get(), peer) <= 0
        || EVP_PKEY_derive(context.get(), nullptr, &length) <= 0)
        fail("P-256 key agreement");
    QByteArray secret(qsizetype(length), '\0');
    if (EVP_PKEY_derive(context.get(), bytes(secret), &length) <= 0)
        fail("P-256 key agreement");
    secret.truncate(qsizetype(length));
    return secret;
}

OpenSslPointer<EVP_CIPHER_CTX> gcmContext(bool encrypt, const QByteArray &key, const unsigned char *nonce)
{
    if (key.size() != 32)
        fail("AES-256-GCM key setup");
    OpenSslPointer<EVP_CIPHER_CTX> context(EVP_CIPHER_CTX_new());
    if (!context
        || EVP_CipherInit_ex(context.get(), EVP_aes_256_gcm(), nullptr, nullptr, nullptr, encrypt ? 1 : 0) <= 0
        || EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_GCM_SET_IVLEN, VaultCrypto::nonceSize, nullptr) <= 0
        || EVP_CipherInit_ex(context.get(), nullptr, nullptr, bytes(key), nonce, -1) <= 0)
        fail("AES-256-GCM setup");
    return context;
}

} // namespace

VaultCrypto::OneTimeAgreement VaultCrypto::agreeWithFreshKey(const QByteArray &peerPublicKey)
{
    const auto peer = publicKeyFromRaw(peerPublicKey);
    OpenSslPointer<EVP_PKEY> fresh(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"));
    if (!fresh)
        fail("P-256 key generation");
    return {rawPublicKey(fresh.get()), deriveSharedSecret(fresh.get(), peer.get())};
}

void VaultCrypto::requireValidPublicKey(const QByteArray &publicKey)
{
    publicKeyFromRaw(publicKey);
}

QByteArray VaultCrypto::hkdfSha256(const QByteArray &secret, const QByteArray &salt, const QByteArray &info, int length)
{
    OpenSslPointer<EVP_KDF> kdf(EVP_KDF_fetch(nullptr, "HKDF", nullptr));
    OpenSslPointer<EVP_KDF_CTX> context(kdf ? EVP_KDF_CTX_new(kdf.get()) : nullptr);
    char digest[] = "SHA256";
    QByteArray secretCopy = secret, saltCopy = salt, infoCopy = info;
    const OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, digest, 0),
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_KEY, secretCopy.data(), size_t(secretCopy.size())),
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_SALT, saltCopy.data(), size_t(saltCopy.size())),
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_INFO, infoCopy.data(), size_t(infoCopy.size())),
        OSSL_PARAM_construct_end(),
    };
    QByteArray derived(length, '\0');
    const bool ok = context && EVP_KDF_derive(context.get(), bytes(derived), size_t(length), params) > 0;
    wipe(secretCopy);
    if (!ok)
        fail("HKDF-SHA256");
    return derived;
}

QByteArray VaultCrypto::aesGcmSeal(const QByteArray &key, const QByteArray &plaintext)
{
    QByteArray box(nonceSize + plaintext.size() + tagSize, '\0');
    unsigned char *nonce = bytes(box);
    if (RAND_bytes(nonce, nonceSize) != 1)
        fail("random nonce");
    auto context = gcmContext(true, key, nonce);
    int length = 0;
    int finalLength = 0;
    if ((!plaintext.isEmpty()
         && EVP_EncryptUpdate(context.get(), nonce + nonceSize, &length, bytes(plaintext), int(plaintext.size())) <= 0)
        || EVP_EncryptFinal_ex(context.get(), nonce + nonceSize + length, &finalLength) <= 0
        || EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_GCM_GET_TAG, tagSize, nonce + nonceSize + plaintext.size()) <= 0)
        fail("AES-256-GCM encryption");
    return box;
}

QByteArray VaultCrypto::aesGcmOpen(const QByteArray &key, const QByteArray &box)
{
    if (box.size() < nonceSize + tagSize)
        throw VaultCryptoError::incorrectParameterSize();
    const qsizetype cipherSize = box.size() - nonceSize - tagSize;
    auto context = gcmContext(false, key, bytes(box));
    QByteArray plaintext(cipherSize, '\0');
    QByteArray tag = box.right(tagSize);
    int length = 0;
    int finalLength = 0;
    if ((cipherSize > 0
         && EVP_DecryptUpdate(context.get(), bytes(plaintext), &length, bytes(box) + nonceSize, int(cipherSize)) <= 0)
        || EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_GCM_SET_TAG, tagSize, tag.data()) <= 0)
        fail("AES-256-GCM decryption");
    if (EVP_DecryptFinal_ex(context.get(), bytes(plaintext) + length, &finalLength) <= 0) {
        wipe(plaintext);
        throw VaultCryptoError::authenticationFailure();
    }
    return plaintext;
}

void VaultCrypto::wipe(QByteArray &secret)
{
    if (!secret.isEmpty())
        OPENSSL_cleanse(secret.data(), size_t(secret.size()));
}
