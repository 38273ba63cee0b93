#include "SealedEnvelope.h"
#include "SealedVault.h"
#include "SealedVaultError.h"
#include "VaultCryptoError.h"
#include "VaultTestSupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtConcurrent>
#include <QtTest>

using Configuration = SealedVault::Configuration;

class SealedVaultTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_root;
    int m_counter = 0;

    // A fresh, empty state directory per test.
    QString freshStateDirectory() { return m_root.filePath(QStringLiteral("state-%1").arg(++m_counter)); }

    static AuthenticationContext approved()
    {
        AuthenticationContext context;
        context.approveUserPresence();
        return context;
    }

private slots:
    void sealAndOpenRoundTrip_data()
    {
        QTest::addColumn<bool>("operatorBootstrap");
        QTest::addColumn<QByteArray>("plaintext");
        QTest::newRow("agent key") << false << QByteArrayLiteral("tvn_Zm9vYmFyYmF6cXV4MTIzNDU2Nzg5MGFiY2RlZg");
        QTest::newRow("abc") << false << QByteArrayLiteral("abc");
        QTest::newRow("empty") << false << QByteArray();
        QTest::newRow("binary with zeros") << false << QByteArray("\x00\xff\x00\x01", 4);
        QTest::newRow("operator bootstrap") << true << QByteArrayLiteral("b00tstrap-secret-base64url");
    }
    void sealAndOpenRoundTrip()
    {
        QFETCH(bool, operatorBootstrap);
        QFETCH(QByteArray, plaintext);
        const SealedVault vault(freshStateDirectory(),
                                operatorBootstrap ? Configuration::operatorBootstrap() : Configuration::agentKeys(),
                                simulator());
        const QByteArray envelope = vault.seal(plaintext);
        QCOMPARE(envelope.size(), 99 + plaintext.size());
        QVERIFY(!envelope.contains(plaintext) || plaintext.size() < 4);
        const AuthenticationContext context = approved();
        QCOMPARE(vault.open(envelope, &context), plaintext);
        // A second vault value on the same directory reads the same handle.
        const SealedVault again(vault.stateDirectory(), vault.configuration(), simulator());
        QCOMPARE(again.open(envelope, &context), plaintext);
    }

    void envelopeLayout()
    {
        const SealedVault vault(freshStateDirectory(), Configuration::agentKeys(), simulator());
        const QByteArray first = vault.seal("abc");
        QCOMPARE(first.size(), 102);
        QCOMPARE(first.left(7), QByteArray("TVN1\x01\x00\x40", 7));
        QCOMPARE(QByteArray(SealedVault::envelopeMagic.data()), QByteArrayLiteral("TVN1"));
        QCOMPARE(QByteArray(SealedVault::hkdfSalt.data()), QByteArrayLiteral("box.sealed-store.v1"));

        // Fresh one-time key and nonce per envelope.
        const QByteArray second = vault.seal("abc");
        const SealedEnvelope a = SealedEnvelope::decode(first);
        const SealedEnvelope b = SealedEnvelope::decode(second);
        QCOMPARE(a.oneTimePublicKey.size(), 64);
        QVERIFY(a.oneTimePublicKey != b.oneTimePublicKey);
        QVERIFY(a.box.left(12) != b.box.left(12));
        QVERIFY(a.box.mid(12) != b.box.mid(12));
    }

    void sealCreatesOwnerOnlyHandleOnce()
    {
        const QString state = freshStateDirectory();
        const SealedVault vault(state, Configuration::agentKeys(), simulator());
        QCOMPARE(vault.handlePath(), state + QStringLiteral("/seal/se-agentkeys.bin"));
        vault.seal("first");
        QCOMPARE(modeOf(state + QStringLiteral("/seal")), 0700);
        QCOMPARE(modeOf(vault.handlePath()), 0600);
        QFile handle(vault.handlePath());
        QVERIFY(handle.open(QIODevice::ReadOnly));
        const QByteArray blob = handle.readAll();
        QVERIFY(blob.startsWith("TVNTPMK1"));
        vault.seal("second");
        handle.seek(0);
        QCOMPARE(handle.readAll(), blob);

        // The other configuration has its own key beside it.
        const SealedVault bootstrap(state, Configuration::operatorBootstrap(), simulator());
        bootstrap.seal("third");
        QCOMPARE(modeOf(state + QStringLiteral("/seal/se-keyagreement.bin")), 0600);
    }

    void existingSealDirectoryKeepsItsMode()
    {
        const QString state = freshStateDirectory();
        QVERIFY(QDir().mkpath(state + QStringLiteral("/seal")));
        QFile::setPermissions(state + QStringLiteral("/seal"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                                                    | QFile::ReadGroup | QFile::ExeGroup);
        SealedVault(state, Configuration::agentKeys(), simulator()).seal("x");
        QCOMPARE(modeOf(state + QStringLiteral("/seal")), 0750);
    }

    void openNeverCreatesAKey()
    {
        const QString state = freshStateDirectory();
        QVERIFY(QDir().mkpath(state));
        const SealedVault source(freshStateDirectory(), Configuration::agentKeys(), simulator());
        const QByteArray envelope = source.seal("abc");
        const SealedVault vault(state, Configuration::agentKeys(), simulator());
        const auto error = thrownBy<SealedVaultError>([&] { vault.open(envelope); });
        QVERIFY(error);
        QCOMPARE(error->errorCase(), SealedVaultError::Case::secureEnclaveKeyHandleMissing);
        QVERIFY(QDir(state).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot));
    }

    void malformedEnvelopes_data()
    {
        QTest::addColumn<QByteArray>("envelope");
        QByteArray header("TVN1\x01\x00\x40", 7);
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("7 bytes") << header;
        QTest::newRow("wrong magic") << QByteArray("TVN2\x01\x00\x40", 7) + QByteArray(92, 'x');
        QTest::newRow("version 2") << QByteArray("TVN1\x02\x00\x40", 7) + QByteArray(92, 'x');
        QTest::newRow("K=200 in 100 bytes") << QByteArray("TVN1\x01\x00\xc8", 7) + QByteArray(93, 'x');
        QTest::newRow("plain text") << QByteArrayLiteral("tvn_not_sealed_at_all");
    }
    void malformedEnvelopes()
    {
        QFETCH(QByteArray, envelope);
        const SealedVault vault(freshStateDirectory(), Configuration::agentKeys(), simulator());
        vault.seal("abc");
        const auto error = thrownBy<SealedVaultError>([&] { vault.open(envelope); });
        QVERIFY(error);
        QCOMPARE(error->errorCase(), SealedVaultError::Case::malformedEnvelope);
        QCOMPARE(error->errorDescription(), QStringLiteral("The sealed key file is corrupt or has an unexpected format."));
    }

    void tampering_data()
    {
        QTest::addColumn<int>("flipAt");     // -1: none
        QTest::addColumn<int>("truncateTo"); // -1: keep length
        QTest::addColumn<QByteArray>("append");
        QTest::addColumn<int>("expected");
        const int invalidKey = int(VaultCryptoError::Kind::invalidPublicKey);
        const int tag = int(VaultCryptoError::Kind::authenticationFailure);
        const int tooShort = int(VaultCryptoError::Kind::incorrectParameterSize);
        // "abc": header 0..6, public key 7..70, nonce 71..82, ciphertext 83..85, tag 86..101.
        QTest::newRow("public key X") << 7 << -1 << QByteArray() << invalidKey;
        QTest::newRow("public key Y") << 70 << -1 << QByteArray() << invalidKey;
        QTest::newRow("nonce") << 71 << -1 << QByteArray() << tag;
        QTest::newRow("ciphertext") << 84 << -1 << QByteArray() << tag;
        QTest::newRow("tag") << 101 << -1 << QByteArray() << tag;
        QTest::newRow("trailing byte") << -1 << -1 << QByteArray("\x00", 1) << tag;
        QTest::newRow("one byte short") << -1 << 101 << QByteArray() << tag;
        QTest::newRow("empty box") << -1 << 71 << QByteArray() << tooShort;
        QTest::newRow("27-byte box") << -1 << 98 << QByteArray() << tooShort;
    }
    void tampering()
    {
        QFETCH(int, flipAt);
        QFETCH(int, truncateTo);
        QFETCH(QByteArray, append);
        QFETCH(int, expected);
        const SealedVault vault(freshStateDirectory(), Configuration::agentKeys(), simulator());
        QByteArray envelope = vault.seal("abc");
        if (flipAt >= 0)
            envelope[flipAt] = char(envelope.at(flipAt) ^ 0x01);
        if (truncateTo >= 0)
            envelope.truncate(truncateTo);
        envelope.append(append);
        const auto error = thrownBy<VaultCryptoError>([&] { vault.open(envelope); });
        QVERIFY(error);
        QCOMPARE(int(error->kind()), expected);
    }

    void configurationsDoNotOpenEachOther()
    {
        const QString state = freshStateDirectory();
        const SealedVault agentKeys(state, Configuration::agentKeys(), simulator());
        const SealedVault bootstrap(state, Configuration::operatorBootstrap(), simulator());
        const QByteArray agentEnvelope = agentKeys.seal("agent");
        const QByteArray bootstrapEnvelope = bootstrap.seal("bootstrap");
        const AuthenticationContext context = approved();

        const auto crossed = thrownBy<VaultCryptoError>([&] { bootstrap.open(agentEnvelope, &context); });
        QVERIFY(crossed);
        QCOMPARE(crossed->kind(), VaultCryptoError::Kind::authenticationFailure);
        const auto reverse = thrownBy<VaultCryptoError>([&] { agentKeys.open(bootstrapEnvelope); });
        QVERIFY(reverse);
        QCOMPARE(reverse->kind(), VaultCryptoError::Kind::authenticationFailure);
    }

    void operatorBootstrapNeedsApprovedPresence()
    {
        const SealedVault vault(freshStateDirectory(), Configuration::operatorBootstrap(), simulator());
        const QByteArray envelope = vault.seal("bootstrap");
        AuthenticationContext unapproved;
        for (const AuthenticationContext *context : std::array<const AuthenticationContext *, 2>{nullptr, &unapproved}) {
            const auto error = thrownBy<SealedVaultError>([&] { vault.open(envelope, context); });
            QVERIFY(error);
            QCOMPARE(error->errorCase(), SealedVaultError::Case::userAuthenticationFailed);
            QVERIFY(error->errorDescription().startsWith(QStringLiteral("Linux unlock failed: ")));
        }
        unapproved.approveUserPresence();
        QCOMPARE(vault.open(envelope, &unapproved), QByteArrayLiteral("bootstrap"));
    }

    // A state directory restored onto another machine carries a handle its TPM cannot load.
    void handleIsBoundToOneTpm()
    {
        const QString state = freshStateDirectory();
        const QByteArray envelope = SealedVault(state, Configuration::agentKeys(), simulator("tpm-a")).seal("abc");
        const SealedVault elsewhere(state, Configuration::agentKeys(), simulator("tpm-b"));
        const auto onOpen = thrownBy<HardwareKeyError>([&] { elsewhere.open(envelope); });
        QVERIFY(onOpen);
        QCOMPARE(onOpen->kind(), HardwareKeyError::Kind::keyNotLoadable);
        // Sealing there must not quietly seal to a key nobody can use.
        const auto onSeal = thrownBy<HardwareKeyError>([&] { elsewhere.seal("new"); });
        QVERIFY(onSeal);
        QCOMPARE(onSeal->kind(), HardwareKeyError::Kind::keyNotLoadable);
    }

    void damagedHandleIsReported_data()
    {
        QTest::addColumn<QByteArray>("handle");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("foreign bytes") << QByteArrayLiteral("not a handle at all");
        QTest::newRow("magic only") << QByteArrayLiteral("TVNTPMK1");
    }
    void damagedHandleIsReported()
    {
        QFETCH(QByteArray, handle);
        const SealedVault vault(freshStateDirectory(), Configuration::agentKeys(), simulator());
        const QByteArray envelope = vault.seal("abc");
        QFile file(vault.handlePath());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(handle);
        file.close();
        const auto error = thrownBy<HardwareKeyError>([&] { vault.open(envelope); });
        QVERIFY(error);
        QCOMPARE(error->kind(), HardwareKeyError::Kind::malformedHandle);
    }

    void withoutTpmNothingIsTouched()
    {
        const auto missing = std::make_shared<TpmKeyProvider>(missingTpmTcti());
        QCOMPARE(missing->availability().state, HardwareKeyAvailability::State::absent);
        const QString state = freshStateDirectory();
        const SealedVault vault(state, Configuration::agentKeys(), missing);
        const QByteArray envelope = SealedVault(freshStateDirectory(), Configuration::agentKeys(), simulator()).seal("x");
        for (const std::function<void()> &operation :
             {std::function<void()>([&] { vault.seal("abc"); }), std::function<void()>([&] { vault.open(envelope); })}) {
            const auto error = thrownBy<SealedVaultError>(operation);
            QVERIFY(error);
            QCOMPARE(error->errorCase(), SealedVaultError::Case::secureEnclaveUnavailable);
        }
        QVERIFY(!QFileInfo::exists(state));
    }

    void systemDefaultFollowsTheEnvironment()
    {
        qputenv("TVN_TPM_TCTI", simulatorTcti("tpm-a").toUtf8());
        QVERIFY(SealedVault::isSupported());
        qputenv("TVN_TPM_TCTI", missingTpmTcti().toUtf8());
        QVERIFY(!SealedVault::isSupported());
        qunsetenv("TVN_TPM_TCTI");
        QCOMPARE(TpmKeyProvider::tctiFromEnvironment(), QStringLiteral("device:/dev/tpmrm0"));
    }

    void keyAgreementFailureOnOpenIsAnAuthenticationFailure()
    {
        auto faulty = std::make_shared<FaultInjectingKeyProvider>();
        const SealedVault vault(freshStateDirectory(), Configuration::agentKeys(), faulty);
        const QByteArray envelope = vault.seal("abc");
        faulty->agreementFailure = HardwareKeyError::authenticationFailed(QStringLiteral("User cancelled."));
        const auto error = thrownBy<SealedVaultError>([&] { vault.open(envelope); });
        QVERIFY(error);
        QCOMPARE(error->errorDescription(), QStringLiteral("Linux unlock failed: User cancelled."));
    }

    void accessControlFailureIsWrapped_data()
    {
        QTest::addColumn<QString>("platformText");
        QTest::addColumn<QString>("expected");
        QTest::newRow("with text") << "no presence mechanism"
                                   << "Could not create the unlock policy: no presence mechanism";
        QTest::newRow("without text") << "" << "Could not create the unlock policy: unknown";
    }
    void accessControlFailureIsWrapped()
    {
        QFETCH(QString, platformText);
        QFETCH(QString, expected);
        auto faulty = std::make_shared<FaultInjectingKeyProvider>();
        faulty->createFailure = HardwareKeyError::accessControlFailed(platformText);
        const SealedVault vault(freshStateDirectory(), Configuration::operatorBootstrap(), faulty);
        const auto error = thrownBy<SealedVaultError>([&] { vault.seal("abc"); });
        QVERIFY(error);
        QCOMPARE(error->errorCase(), SealedVaultError::Case::accessControlCreationFailed);
        QCOMPARE(error->errorDescription(), expected);
        QVERIFY(!QFileInfo::exists(vault.handlePath()));
    }

    void inaccessibleTpmSaysHowToFixIt()
    {
        auto faulty = std::make_shared<FaultInjectingKeyProvider>();
        faulty->inaccessible = HardwareKeyError::permissionDenied(QStringLiteral("/dev/tpmrm0"));
        const SealedVault vault(freshStateDirectory(), Configuration::agentKeys(), faulty);
        const auto error = thrownBy<HardwareKeyError>([&] { vault.seal("abc"); });
        QVERIFY(error);
        QVERIFY(error->description().contains(QStringLiteral("group \"tss\"")));
    }

    // Two first seals racing on one directory: the handle that lands is the one both envelopes use.
    void concurrentFirstSealsShareOneKey()
    {
        const QString state = freshStateDirectory();
        auto sealOnce = [state](const QByteArray &plaintext) {
            return SealedVault(state, Configuration::agentKeys(), simulator()).seal(plaintext);
        };
        QFuture<QByteArray> first = QtConcurrent::run(sealOnce, QByteArrayLiteral("one"));
        QFuture<QByteArray> second = QtConcurrent::run(sealOnce, QByteArrayLiteral("two"));
        const SealedVault vault(state, Configuration::agentKeys(), simulator());
        QCOMPARE(vault.open(first.result()), QByteArrayLiteral("one"));
        QCOMPARE(vault.open(second.result()), QByteArrayLiteral("two"));
        QCOMPARE(QDir(state + QStringLiteral("/seal")).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }
};

QTEST_GUILESS_MAIN(SealedVaultTest)
#include "tst_SealedVault.moc"
