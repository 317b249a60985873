// Unified diffs of what a replace-all made of a file: 100 MB with 1,000,000
// changed lines in several shapes, and a small file.

#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "job/UnifiedDiff.h"

namespace {

struct TTexts {
    std::string Before, After;
};

enum class TShape {
    Recurring,   // lines drawn from a pool, so most recur, as in generated text
    Distinct,    // every line different, as in a log
    Confusable,  // the pool also holds the changed lines' new forms unchanged
    AllChanged,  // every line changes
};

// About `bytes` of code-like lines, `changed` of them, spread evenly, holding
// a call foo(...) that becomes bar(...).
TTexts MakeTexts(std::size_t bytes, std::size_t changed, TShape shape)
{
    std::mt19937 random(11);
    const auto word = [&random] {
        static const char* const words[] = {"count", "index", "buffer", "total", "node", "value",
                                            "state", "list", "next", "size", "offset", "entry"};
        return std::string(words[random() % 12]) + std::to_string(random() % 100);
    };
    std::vector<std::string> plain, calls;
    for (int i = 0; i < 40000; ++i) {
        plain.push_back("    " + word() + " = " + word() + " + " + word() + ";");
        calls.push_back("    " + word() + " = foo(" + word() + ", " + word() + ");");
    }
    const auto renamed = [](std::string call) { return call.replace(call.find("foo("), 3, "bar"); };
    if (shape == TShape::Confusable) {
        for (int i = 0; i < 40000; i += 2) plain[i] = renamed(calls[i]);
    }
    if (shape == TShape::AllChanged) plain = calls;
    TTexts texts;
    texts.Before.reserve(bytes + 100);
    texts.After.reserve(bytes + 100);
    const std::size_t lines = bytes / (plain[0].size() + 1);
    std::size_t made = 0;
    for (std::size_t i = 0; texts.Before.size() < bytes; ++i) {
        const std::string end = shape == TShape::Distinct ? " // " + std::to_string(i) + "\n" : "\n";
        const bool change = shape == TShape::AllChanged || (made < changed && made * lines < changed * i);
        const std::string& line = change ? calls[random() % calls.size()] : plain[random() % plain.size()];
        texts.Before += line + end;
        texts.After += (change ? renamed(line) : line) + end;
        made += change;
    }
    return texts;
}

void Diff(benchmark::State& state, const TTexts& texts)
{
    std::string out;
    for (auto _ : state) {
        out.clear();
        varnok::AppendUnifiedDiff(out, "big.txt", texts.Before, texts.After);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * texts.Before.size()));
    state.counters["diff_MB"] = static_cast<double>(out.size()) / 1e6;
}

// The case the diff is made for: 100 MB, 1,000,000 changed lines.
void BM_Diff100MBMillionChangedLines(benchmark::State& state)
{
    static const TTexts texts = MakeTexts(100'000'000, 1'000'000, TShape::Recurring);
    Diff(state, texts);
}
BENCHMARK(BM_Diff100MBMillionChangedLines)->Unit(benchmark::kMillisecond)->Iterations(3);

// The same size in the shapes that cost a diff more.
void BM_Diff100MBOtherShapes(benchmark::State& state)
{
    const auto shape = static_cast<TShape>(state.range(0));
    const TTexts texts = MakeTexts(100'000'000, 1'000'000, shape);
    Diff(state, texts);
}
BENCHMARK(BM_Diff100MBOtherShapes)
    ->ArgName("shape")
    ->Arg(static_cast<int>(TShape::Distinct))
    ->Arg(static_cast<int>(TShape::Confusable))
    ->Arg(static_cast<int>(TShape::AllChanged))
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// A file of a source tree: 10 KB, a few changes.
void BM_DiffSmallFile(benchmark::State& state)
{
    static const TTexts texts = MakeTexts(10'000, 5, TShape::Recurring);
    Diff(state, texts);
}
BENCHMARK(BM_DiffSmallFile)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
