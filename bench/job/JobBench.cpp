// Whole runs over trees of many small files, the shape of a source tree. With
// rare matches what counts is the walk and the reading; with dense ones, where
// every file is rewritten, it is making the files: a dry run over the same
// tree tells reading and editing from writing.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "job/RunJob.h"
#include "job/RunUndo.h"

namespace {

namespace fs = std::filesystem;

class TSilentHost : public varnok::TRunHost {
public:
    bool RunDespite(const std::vector<std::string>&) override { return true; }
    bool Confirm(const std::string&, const std::string&, const std::string&) override { return true; }
    void ClearReport() override {}
    void AppendReportLine(const std::string&) override {}
    void SetStatusText(const std::string&) override {}
    void ProcessEvents() override {}
};

// folders x files of about 10 KB of LF lines; every 100th file holds the
// word "quillion" once, and every file "zorblatt" on every 25th line.
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
                if (random() % 25 == 0) text += "zorblatt(value);\n";
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

// Puts every file's backup back in its place: the tree as it was, untimed.
void Restore(const fs::path& root)
{
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const fs::path& backup = entry.path();
        if (backup.extension() == ".BAK") fs::rename(backup, fs::path(backup).replace_extension(".c"));
    }
}

// The run that changes every file of root.
varnok::TJobSettings DenseRun(const fs::path& root)
{
    varnok::TJobSettings settings;
    settings.Folders = {root.string()};
    settings.Recurse = true;
    settings.Masks = {"*.c"};
    settings.ChangeText = {"zorblatt", "zb", ""};
    return settings;
}

// Every file changes: a real run, backups and all, or a dry run; the second
// argument is the number of threads (0: one per core).
void RewriteAll(benchmark::State& state, bool dryRun)
{
    const int folders = static_cast<int>(state.range(0));
    const fs::path root = MakeTree(folders, 5);
    varnok::TJobSettings settings = DenseRun(root);
    settings.DryRun = dryRun;
    settings.Jobs = static_cast<unsigned>(state.range(1));
    TSilentHost host;
    for (auto _ : state) {
        benchmark::DoNotOptimize(varnok::RunJob(settings, host));
        state.PauseTiming();
        Restore(root);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * folders * 5);
    fs::remove_all(root);
}

void BM_DenseRewrite(benchmark::State& state) { RewriteAll(state, false); }
void BM_DenseDryRun(benchmark::State& state) { RewriteAll(state, true); }

// The undo of BM_DenseRewrite's run, which puts the tree back itself: to set
// against BM_DenseRewrite, on the same tree and file system.
void BM_DenseUndo(benchmark::State& state)
{
    const int folders = static_cast<int>(state.range(0));
    const fs::path root = MakeTree(folders, 5);
    const varnok::TJobSettings settings = DenseRun(root);
    TSilentHost host;
    for (auto _ : state) {
        state.PauseTiming();
        varnok::RunJob(settings, host);
        state.ResumeTiming();
        benchmark::DoNotOptimize(varnok::UndoRun("", true, host));
    }
    state.SetItemsProcessed(state.iterations() * folders * 5);
    fs::remove_all(root);
}

// What every run pays before it reads a file: starting varnok-run, loading
// its libraries, and ending it.
void BM_RunnerStart(benchmark::State& state)
{
    char program[] = VARNOK_RUNNER;
    char version[] = "--version";
    char* const arguments[] = {program, version, nullptr};
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    for (auto _ : state) {
        pid_t pid = 0;
        int status = 0;
        if (posix_spawn(&pid, program, &quiet, nullptr, arguments, environ) != 0 || waitpid(pid, &status, 0) != pid ||
            status != 0) {
            state.SkipWithError("cannot start " VARNOK_RUNNER);
            break;
        }
    }
    posix_spawn_file_actions_destroy(&quiet);
}

BENCHMARK(BM_TreeNoMatch)->Arg(400)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TreeFewMatches)->Arg(400)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DenseDryRun)->Args({400, 0})->Args({400, 1})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DenseRewrite)->Args({400, 0})->Args({400, 1})->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);
BENCHMARK(BM_DenseUndo)->Arg(400)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);
BENCHMARK(BM_RunnerStart)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    // The runs' journals go to a folder of the benchmark's own.
    const fs::path state = fs::temp_directory_path() / ("varnok-job-bench-state-" + std::to_string(getpid()));
    setenv("XDG_STATE_HOME", state.c_str(), 1);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fs::remove_all(state);
    return 0;
}
