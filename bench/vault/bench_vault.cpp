// Seal and open times of the sealed vault and the profile store against the TPM named by
// TVN_TPM_TCTI (bench/vault/run.sh starts a simulator for it).

#include "HardwareKeyProvider.h"
#include "LocalAgentProfileStore.h"
#include "SealedVault.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

const QByteArray agentKey = QByteArrayLiteral("tvn_YmVuY2htYXJrLWFnZW50LWtleS1tYXRlcmlhbA");

bool requireTpm(benchmark::State &state)
{
    if (HardwareKeyProvider::systemDefault()->availability().isAvailable())
        return true;
    state.SkipWithError("no TPM answers: set TVN_TPM_TCTI (bench/vault/run.sh starts swtpm)");
    return false;
}

void availability(benchmark::State &state)
{
    const auto provider = HardwareKeyProvider::systemDefault();
    for (auto _ : state)
        benchmark::DoNotOptimize(provider->availability());
}

// The first seal of a configuration creates the TPM key and its handle.
void firstSeal(benchmark::State &state)
{
    if (!requireTpm(state))
        return;
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir directory;
        const SealedVault vault(directory.path(), SealedVault::Configuration::agentKeys());
        state.ResumeTiming();
        benchmark::DoNotOptimize(vault.seal(agentKey));
    }
}

void seal(benchmark::State &state)
{
    if (!requireTpm(state))
        return;
    QTemporaryDir directory;
    const SealedVault vault(directory.path(), SealedVault::Configuration::agentKeys());
    vault.seal(agentKey);
    for (auto _ : state)
        benchmark::DoNotOptimize(vault.seal(agentKey));
}

void open(benchmark::State &state)
{
    if (!requireTpm(state))
        return;
    QTemporaryDir directory;
    const SealedVault vault(directory.path(), SealedVault::Configuration::agentKeys());
    const QByteArray envelope = vault.seal(agentKey);
    for (auto _ : state)
        benchmark::DoNotOptimize(vault.open(envelope));
}

// What the signer does per agent start: every guard, then one open.
void storeRead(benchmark::State &state)
{
    if (!requireTpm(state))
        return;
    QTemporaryDir directory;
    const LocalAgentProfileStore store(directory.path());
    store.storeTorvane(QString::fromUtf8(agentKey), QStringLiteral("bench"));
    for (auto _ : state)
        benchmark::DoNotOptimize(store.readTorvane(QStringLiteral("bench")));
}

// A new key: seal, write, read back and open.
void storeNewKey(benchmark::State &state)
{
    if (!requireTpm(state))
        return;
    QTemporaryDir directory;
    const LocalAgentProfileStore store(directory.path());
    int counter = 0;
    for (auto _ : state)
        store.storeTorvane(QString::fromUtf8(agentKey) + QString::number(++counter), QStringLiteral("bench"));
}

} // namespace

BENCHMARK(availability)->Unit(benchmark::kMillisecond);
BENCHMARK(firstSeal)->Unit(benchmark::kMillisecond);
BENCHMARK(seal)->Unit(benchmark::kMillisecond);
BENCHMARK(open)->Unit(benchmark::kMillisecond);
BENCHMARK(storeRead)->Unit(benchmark::kMillisecond);
BENCHMARK(storeNewKey)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
