// The batch runner's command line and change list, and the edit pass's text
// conversion that the change list feeds:
//   - a command line either is refused as a usage error or reads as options
//     that, written out plainly, read the same again;
//   - the change list is built from the lines exactly as the designed
//     algorithm builds it;
//   - the edit pass's shortcuts (working text kept with LF breaks, files
//     skipped because no pattern occurs) give the bytes and the count of the
//     designed conversion: lines joined with CR LF, changed, split again and
//     written with the file's own line ends.
//
// Input: a byte n, then n arguments each ended by a NUL, then the change list
// ended by a NUL, then the file's bytes.
//
// The parser lives in the runner's own translation unit, which this target
// compiles itself, so that nothing here runs a job or touches a file.

#include "../app/varnok-run-cli.cpp"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "VarnokDirectory.h"
#include "WorkingText.h"

namespace {

using varnok::TOptions;
using Lines = std::vector<std::string>;

[[noreturn]] void Mismatch(const std::string& what) {
    std::fprintf(stderr, "%s\n", what.c_str());
    std::abort();
}

std::string Join(const Lines& parts) {
    std::string out;
    for (const std::string& part : parts) out += "[" + part + "]";
    return out;
}

// The options as the plainest command line that asks for them.
Lines Spelled(const TOptions& options) {
    Lines args{"varnok-run"};
    for (const std::string& mask : options.Job.Masks) args.insert(args.end(), {"--mask", mask});
    if (options.ChangesFile) args.insert(args.end(), {"--changes", *options.ChangesFile});
    if (options.Config) args.insert(args.end(), {"--config", *options.Config});
    const std::pair<bool, const char*> flags[] = {
        {options.Job.Recurse, "-r"}, {options.Job.SpanLines, "-s"}, {options.Job.DryRun, "-n"},
        {options.Yes, "-y"},         {options.Quiet, "-q"},         {options.Help, "-h"},
        {options.Version, "--version"}};
    for (const auto& [on, flag] : flags)
        if (on) args.emplace_back(flag);
    args.emplace_back("--");
    args.insert(args.end(), options.Job.Folders.begin(), options.Job.Folders.end());
    return args;
}

std::string Describe(const TOptions& o) {
    return "folders " + Join(o.Job.Folders) + " masks " + Join(o.Job.Masks) + " changes " +
           (o.ChangesFile ? "[" + *o.ChangesFile + "]" : "none") + " config " +
           (o.Config ? "[" + *o.Config + "]" : "none") + " flags " + std::to_string(o.Job.Recurse) +
           std::to_string(o.Job.SpanLines) + std::to_string(o.Job.DryRun) + std::to_string(o.Yes) +
           std::to_string(o.Quiet) + std::to_string(o.Help) + std::to_string(o.Version);
}

void CheckCommandLine(const Lines& args) {
    TOptions options;
    try {
        options = varnok::Parse(args);
    } catch (const varnok::TUsageError&) {
        return;
    }
    const Lines spelled = Spelled(options);
    TOptions again;
    try {
        again = varnok::Parse(spelled);
    } catch (const varnok::TUsageError& error) {
        Mismatch(std::string("spelled out, the command line is refused: ") + error.what() + "\n" +
                 Join(args) + "\n" + Join(spelled));
    }
    if (Describe(options) != Describe(again)) {
        Mismatch("spelled out, the command line reads otherwise\n" + Join(args) + "\n" +
                 Describe(options) + "\n" + Describe(again));
    }
}

// The designed building of the pairs, step by step, with 1-based pairs.
void DesignedPairs(const Lines& lines, Lines& search, Lines& replace) {
    search.assign(1, "");
    replace.assign(1, "");
    const long long n = static_cast<long long>(lines.size());
    long long count = 0;
    long long j = 0;
    while (j < n - 1) {
        ++count;
        search.resize(count + 1);
        replace.resize(count + 1);
        search[count] = lines[j];
        if (j < n - 1) ++j;
        replace[count] = lines[j];
        if (j < n - 1) ++j;
        if (search[count].empty()) --count;
        if (j < n - 1) ++j;
    }
    search.resize(count + 1);
    replace.resize(count + 1);
    search.erase(search.begin());
    replace.erase(replace.begin());
}

// A host that nothing is asked of: the change list is built without a walk.
class TQuietHost : public varnok::TRunHost {
public:
    bool RunDespite(const std::vector<std::string>&) override { return false; }
    bool Confirm(const std::string&, const std::string&, const std::string&) override { return false; }
    void ClearReport() override {}
    void AppendReportLine(const std::string&) override {}
    void SetStatusText(const std::string&) override {}
    void ProcessEvents() override {}
};

bool IsBreak(char c) { return c == '\r' || c == '\n'; }

// The designed edit of a file's bytes: the count, and the bytes written when
// it is not 0.
long long DesignedEdit(const std::string& contents, const Lines& search, const Lines& replace,
                       bool spanLines, std::string& written) {
    const std::size_t nul = contents.find('\0');
    const std::string text = contents.substr(0, nul);
    std::string work;
    for (const std::string& line : varnok::SplitLines(text)) work += line + "\r\n";
    long long count = 0;
    for (std::size_t i = 0; i < search.size(); ++i) {
        count += varnok::ReplaceAll(work, search[i], replace[i], false, true, true, false, true, spanLines);
    }
    if (count == 0) return 0;
    const std::size_t brk = text.find_first_of("\r\n");
    const bool lf = brk == std::string::npos || text[brk] == '\n';
    const std::string eol = lf ? "\n" : "\r\n";
    written.clear();
    for (const std::string& line : varnok::SplitLines(work)) written += line + eol;
    if (nul != std::string::npos) {
        const bool textEndedWithBreak = !text.empty() && IsBreak(text.back());
        if (!textEndedWithBreak && written.ends_with(eol)) written.resize(written.size() - eol.size());
        written += contents.substr(nul);
    }
    return count;
}

void CheckChangeList(const std::string& changeText, bool spanLines, const std::string& contents) {
    std::istringstream in(changeText);
    const Lines lines = varnok::ReadChanges("-", in);
    for (const std::string& line : lines) {
        if (line.find_first_of("\r\n") != std::string::npos) Mismatch("a line holds a line break");
    }
    TQuietHost host;
    varnok::TVarnokDirectory walker;
    walker.SetState(host, false, spanLines, lines);
    walker.PreProcessProcedure();
    Lines search, replace;
    DesignedPairs(lines, search, replace);
    const Lines built(walker.SearchStrings.begin(), walker.SearchStrings.begin() + walker.ChangeCount);
    const Lines builtReplace(walker.ReplaceStrings.begin(), walker.ReplaceStrings.begin() + walker.ChangeCount);
    if (built != search || builtReplace != replace) {
        Mismatch("the pairs differ\n" + Join(lines) + "\n" + Join(built) + " " + Join(builtReplace) + "\n" +
                 Join(search) + " " + Join(replace));
    }

    // Chained changes can double the text once each: a long list is a slow
    // input, not a slow engine.
    if (search.size() > 2) {
        walker.PostProcessProcedure();
        return;
    }

    // The edit pass's way, from the pieces it is made of.
    bool lineNeutral = true;
    std::vector<varnok::TPreparedChange> prepared;
    for (std::size_t i = 0; i < search.size(); ++i) {
        lineNeutral = lineNeutral && varnok::IsLineNeutral(search[i], replace[i]);
        prepared.emplace_back(search[i], replace[i], false, true, true, false, true, spanLines);
    }
    std::string designed;
    const long long designedCount = DesignedEdit(contents, search, replace, spanLines, designed);
    const bool skipped = lineNeutral && std::none_of(prepared.begin(), prepared.end(), [&](const auto& change) {
                             return change.MayMatch(contents);
                         });
    if (skipped) {
        if (designedCount != 0) Mismatch("a file with a match was skipped\n" + Join(search));
    } else {
        std::string bytes = contents;
        varnok::TWorkingText work = varnok::MakeWorkingText(bytes, lineNeutral);
        long long count = 0;
        for (const auto& change : prepared) count += change.ReplaceAll(work.Text);
        if (count != designedCount) {
            Mismatch("the count differs: " + std::to_string(count) + " " + std::to_string(designedCount) +
                     "\n" + Join(search) + " " + Join(replace));
        }
        if (count != 0) {
            varnok::MakeFileText(work);
            if (work.Text + work.Rest != designed) {
                Mismatch("the bytes differ\n" + Join(search) + " " + Join(replace) + "\n[" + work.Text +
                         work.Rest + "]\n[" + designed + "]");
            }
        }
    }
    walker.PostProcessProcedure();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::size_t argCount = data[0] % 12;
    Lines args{"varnok-run"};
    std::size_t at = 0;
    const auto take = [&] {
        const std::size_t end = std::min(input.find('\0', at), input.size());
        std::string part = input.substr(at, end - at);
        at = std::min(end + 1, input.size());
        return part;
    };
    while (args.size() <= argCount) args.push_back(take());
    const std::string changeText = take();
    const std::string contents = input.substr(at);
    CheckCommandLine(args);
    CheckChangeList(changeText, data[0] & 0x80, contents);
    return 0;
}
