// The cost of a full save and a full load through the store file: as single
// writes, each of which locks, re-reads, rewrites and flushes the whole file,
// and as one transaction, the way the windows save and load.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "StoreTransaction.h"
#include "UMyIniFile.h"

namespace {

using varnok::TMyIniFile;
using varnok::TStoreTransaction;

// A scratch configuration folder on the same disk as /tmp, so that the flush
// of every write is measured as users meet it.
class TScratchConfig {
public:
    TScratchConfig() {
        char pattern[] = "/tmp/varnok-store-bench-XXXXXX";
        m_folder = ::mkdtemp(pattern);
        ::setenv("XDG_CONFIG_HOME", m_folder.c_str(), 1);
    }
    ~TScratchConfig() { std::filesystem::remove_all(m_folder); }

private:
    std::string m_folder;
};

void SaveValues(TMyIniFile& store, int count, int round) {
    for (int i = 0; i < count; ++i) {
        store.WriteText("Varnok\\Dialog", "Value-" + std::to_string(i),
                        "/home/user/projects/folder-" + std::to_string(round));
    }
}

// Argument 1 says whether every value changes: a full save at exit mostly
// writes what the store already holds, and a write that changes nothing
// writes no file.
void BM_FullSave(benchmark::State& state) {
    TScratchConfig scratch;
    TMyIniFile store(varnok::kDefaultStoreKey);
    const int count = static_cast<int>(state.range(0));
    const bool changed = state.range(1) != 0;
    SaveValues(store, count, 0);
    int round = 0;
    for (auto _ : state) SaveValues(store, count, changed ? ++round : 0);
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_FullSave)->ArgNames({"values", "changed"})->Args({100, 1})->Args({100, 0})
    ->Unit(benchmark::kMillisecond);

void BM_FullLoad(benchmark::State& state) {
    TScratchConfig scratch;
    TMyIniFile store(varnok::kDefaultStoreKey);
    const int count = static_cast<int>(state.range(0));
    SaveValues(store, count, 0);
    for (auto _ : state) {
        for (int i = 0; i < count; ++i) {
            benchmark::DoNotOptimize(store.ReadText("Varnok\\Dialog", "Value-" + std::to_string(i), ""));
        }
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_FullLoad)->Arg(100)->Unit(benchmark::kMillisecond);

// The store also holds other configurations, as a user's store does after a
// while, so that the one reading and writing carry a realistic file.
void StoreOtherConfigurations(int count) {
    TStoreTransaction transaction;
    for (int c = 0; c < count; ++c) {
        TMyIniFile other(varnok::ConfigurationStoreKey("Other-" + std::to_string(c)));
        SaveValues(other, 100, c);
    }
    transaction.Commit();
}

void BM_TransactionSave(benchmark::State& state) {
    TScratchConfig scratch;
    StoreOtherConfigurations(static_cast<int>(state.range(1)));
    TMyIniFile store(varnok::kDefaultStoreKey);
    const int count = static_cast<int>(state.range(0));
    int round = 0;
    for (auto _ : state) {
        TStoreTransaction transaction;
        SaveValues(store, count, ++round);
        transaction.Commit();
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_TransactionSave)->ArgNames({"values", "configurations"})->Args({100, 0})->Args({100, 10})
    ->Unit(benchmark::kMillisecond);

void BM_TransactionLoad(benchmark::State& state) {
    TScratchConfig scratch;
    StoreOtherConfigurations(10);
    TMyIniFile store(varnok::kDefaultStoreKey);
    const int count = static_cast<int>(state.range(0));
    SaveValues(store, count, 0);
    for (auto _ : state) {
        TStoreTransaction transaction;
        for (int i = 0; i < count; ++i) {
            benchmark::DoNotOptimize(store.ReadText("Varnok\\Dialog", "Value-" + std::to_string(i), ""));
        }
        transaction.Commit();
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_TransactionLoad)->Arg(100)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
