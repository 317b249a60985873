// A whole run over a tree of many small files, the shape of a source tree:
// what counts there is the walk and the reading, not the matching.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "job/RunJob.h"

namespace {

namespace fs = std::filesystem;

class TSilentHost : public varnok::TRunHost {
public:
    bool RunDespite(const std::vector<std::string>&) override { return true; }
    bool Confirm(const std::string&, const std::string&) override { return true; }
    void ClearReport() override {}
    void AppendReportLine(const std::string&) override {}
    void SetStatusText(const std::string&) override {}
    void ProcessEvents() override {}
};

// folders x files of about 10 KB of LF lines; every 100th file holds the
// word "quillion" once.
fs::path MakeTree(int folders, int files)
{
    const fs::path root = fs::temp_directory_path() / ("varnok-job-bench-" + std::to_string(getpid()));
    fs::remove_all(root);
    std::mt19937 random(7);
    int made = 0;
    for (int d = 0; d < folders; ++d) {
        const fs::path folder = root / ("part" + std::to_string(d % 8)) / ("folder" + std::to_string(d));
        fs::create_directories(folder);
        for (int f = 0; f < files; ++f, ++made) {
            std::string text;
            while (text.size() < 10000) {
                text.append(random() % 8, ' ');
                text += "value = compute(index, " + std::to_string(random() % 1000) + ");\n";
            }
            if (made % 100 == 0) text += "quillion\n";
            std::ofstream(folder / ("file" + std::to_string(f) + ".c"), std::ios::binary) << text;
        }
    }
    return root;
}

void RunOver(benchmark::State& state, const char* pattern)
{
    const fs::path root = MakeTree(static_cast<int>(state.range(0)), 25);
    varnok::TJobSettings settings;
    settings.Folders = {root.string()};
    settings.Recurse = true;
    settings.Masks = {"*.*"};
    settings.ChangeText = {pattern, "frobnicator", ""};
    settings.DryRun = true;  // the tree stays the same from one run to the next
    TSilentHost host;
    for (auto _ : state) benchmark::DoNotOptimize(varnok::RunJob(settings, host));
    state.SetItemsProcessed(state.iterations() * state.range(0) * 25);
    fs::remove_all(root);
}

void BM_TreeNoMatch(benchmark::State& state) { RunOver(state, "zzqqnomatch"); }
void BM_TreeFewMatches(benchmark::State& state) { RunOver(state, "quillion"); }

BENCHMARK(BM_TreeNoMatch)->Arg(400)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TreeFewMatches)->Arg(400)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
