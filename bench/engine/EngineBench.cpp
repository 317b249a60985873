// Throughput of the text engine on large texts, with the options the edit pass
// uses (case-blind, wild cards, expanded replacement, balanced parentheses).

#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "engine/Engine.h"

namespace {

using varnok::ReplaceAll;

// Source-like text: indented lines of identifiers, calls and operators, CR LF.
std::string CodeText(std::size_t size, unsigned seed)
{
    static const char* const kWords[] = {"int", "value", "count", "result", "return", "if",
                                         "for", "index", "buffer", "name", "size", "data",
                                         "Item", "Next", "total", "while", "string", "const"};
    std::mt19937 random(seed);
    std::string s;
    s.reserve(size + 256);
    while (s.size() < size) {
        s.append(random() % 4 * 2, ' ');
        const int words = 2 + static_cast<int>(random() % 6);
        for (int w = 0; w < words; ++w) {
            s += kWords[random() % std::size(kWords)];
            switch (random() % 6) {
            case 0: s += "(a, b)"; break;
            case 1: s += " = "; break;
            case 2: s += "->"; break;
            case 3: s += "[i] "; break;
            default: s += ' '; break;
            }
        }
        s += ";\r\n";
    }
    s.resize(size);
    return s;
}

int Edit(std::string& text, const std::string& pattern, const std::string& replacement,
         bool spanLines = false)
{
    return ReplaceAll(text, pattern, replacement, false, true, true, false, true, spanLines);
}

void BM_LiteralNoMatch(benchmark::State& state)
{
    std::string text = CodeText(100 << 20, 1);
    for (auto _ : state) {
        const int n = Edit(text, "results_total", "x");
        benchmark::DoNotOptimize(n);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_LiteralNoMatch)->Unit(benchmark::kMillisecond)->MinTime(2);

void BM_LiteralMillionReplacements(benchmark::State& state)
{
    // One "Quillet" in every 100 bytes: 1,048,576 of them in 100 MB.
    std::string line = CodeText(93, 2);
    line.replace(40, 7, "Quillet");
    std::string text;
    for (int i = 0; i < (1 << 20); ++i) text += line;
    for (auto _ : state) {
        state.PauseTiming();
        std::string work = text;
        state.ResumeTiming();
        const int n = Edit(work, "quillet", "varnok");
        if (n != (1 << 20)) state.SkipWithError("wrong count");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_LiteralMillionReplacements)->Unit(benchmark::kMillisecond)->MinTime(2);

void BM_WildCardCalls(benchmark::State& state)
{
    const std::string text = CodeText(10 << 20, 3);
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::string work = text;
        state.ResumeTiming();
        n = Edit(work, "count({*}1)", "total({}1)");
    }
    state.counters["replacements"] = n;
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_WildCardCalls)->Unit(benchmark::kMillisecond)->MinTime(2);

// Texts of 1 MB for the backtracking-heavy patterns.
enum TShape { LinesOfA, OneRunOfA, XThenLinesOfA, ParenLines, OpeningParenLines };

std::string Shape(TShape shape)
{
    const std::size_t size = 1 << 20;
    std::string s;
    s.reserve(size + 2048);
    while (s.size() < size) {
        switch (shape) {
        case LinesOfA: s += std::string(1000, 'a') + "\r\n"; break;
        case OneRunOfA: s += std::string(1000, 'a'); break;
        case XThenLinesOfA: s += "x" + std::string(999, 'a') + "\r\n"; break;
        case ParenLines: s += std::string(300, '(') + std::string(299, ')') + "\r\n"; break;
        case OpeningParenLines:
            for (int i = 0; i < 500; ++i) s += "(a";
            s += "\r\n";
            break;
        }
    }
    s.resize(size);
    return s;
}

void Pathological(benchmark::State& state, const char* pattern, TShape shape, bool spanLines)
{
    const std::string text = Shape(shape);
    int n = 0;
    for (auto _ : state) {
        std::string work = text;
        n = Edit(work, pattern, "!", spanLines);
    }
    state.counters["replacements"] = n;
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

BENCHMARK_CAPTURE(Pathological, repeats_lines, "a+a+a+a+a+a+b", LinesOfA, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Pathological, repeats_one_run, "a+a+a+a+a+a+b", OneRunOfA, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Pathological, sequences_lines, "x*a*a*a*a*b", XThenLinesOfA, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Pathological, sequences_spanning, "x*a*a*a*a*b", XThenLinesOfA, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Pathological, leading_sequence, "*a*a*a*b", LinesOfA, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Pathological, groups, "{a*}1{a*}2{a+}3b", LinesOfA, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Pathological, unbalanced_parens, "(*)*)", ParenLines, false)->Unit(benchmark::kMillisecond);
// Every start position at a depth of its own.
BENCHMARK_CAPTURE(Pathological, depth_per_start, "?+}1{*q", OpeningParenLines, false)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
