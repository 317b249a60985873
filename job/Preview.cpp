#include "Preview.h"

#include <memory>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "UnifiedDiff.h"

namespace varnok {
namespace {

// The host's status line and events, nothing of the report.
class TDryRunHost : public TRunHost {
public:
    explicit TDryRunHost(TRunHost* host) : m_host(host) {}
    // A walk asks nothing: these are never called.
    bool RunDespite(const std::vector<std::string>&) override { return true; }
    bool Confirm(const std::string&, const std::string&) override { return true; }
    void ClearReport() override {}
    void AppendReportLine(const std::string&) override {}
    void SetStatusText(const std::string& text) override {
        if (m_host) m_host->SetStatusText(text);
    }
    void ProcessEvents() override {
        if (m_host) m_host->ProcessEvents();
    }

private:
    TRunHost* m_host;
};

}  // namespace

TPreview PreviewJob(TJobSettings job, TRunHost& host) {
    TPreview preview;
    std::unordered_map<std::string, std::size_t> rows;
    job.DryRun = true;
    job.OnFileChanged = [&](const TFileChange& change) {
        const auto [row, added] = rows.try_emplace(change.FileName, preview.Files.size());
        if (added) preview.Files.push_back({change.FileName, 0});
        preview.Files[row->second].Count += change.Count;
    };
    TDryRunHost dryRunHost(&host);
    preview.Outcome = WalkJob(job, dryRunHost);
    return preview;
}

std::string PreviewDiff(TJobSettings job, const std::string& fileName) {
    std::optional<std::string> before;
    std::string after;
    job = OnlyFiles(std::move(job), {fileName});
    job.DryRun = true;
    job.OnFileChanged = [&](const TFileChange& change) {
        if (!before) before.emplace(change.Before);
        after.assign(change.After);
    };
    TDryRunHost quiet(nullptr);
    WalkJob(job, quiet);
    std::string diff;
    if (before) AppendUnifiedDiff(diff, fileName, *before, after);
    return diff;
}

TJobSettings OnlyFiles(TJobSettings job, const std::vector<std::string>& fileNames) {
    // Shared: the filter is copied into the walker and its workers.
    job.FileFilter = [names = std::make_shared<const std::unordered_set<std::string>>(fileNames.begin(),
                                                                                      fileNames.end())](
                         const std::string& fileName) { return names->contains(fileName); };
    return job;
}

}  // namespace varnok
