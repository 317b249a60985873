#include "Preview.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "EditStep.h"
#include "FileMask.h"
#include "ReadAhead.h"
#include "TextUtils.h"
#include "UnifiedDiff.h"

namespace varnok {
namespace {

// The host's status line and events, nothing of the report.
class TDryRunHost : public TRunHost {
public:
    explicit TDryRunHost(TRunHost* host) : m_host(host) {}
    // A walk asks nothing: these are never called.
    bool RunDespite(const std::vector<std::string>&) override { return true; }
    bool Confirm(const std::string&, const std::string&, const std::string&) override { return true; }
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
        if (change.Count == 0) return;  // renamed alone: a rename of its own
        const auto [row, added] = rows.try_emplace(change.FileName, preview.Files.size());
        if (added) preview.Files.push_back({change.FileName, 0});
        preview.Files[row->second].Count += change.Count;
    };
    job.OnRenamed = [&](const std::string& name, const std::string& newName, bool folder) {
        preview.Renames.push_back({name, newName, folder});
    };
    TDryRunHost dryRunHost(&host);
    preview.Outcome = WalkJob(job, dryRunHost);
    return preview;
}

std::string PreviewDiff(TJobSettings job, const std::string& fileName) {
    // As the run's walk visits it: once per mask its name matches, each
    // visit changing what the one before left.
    if ((job.FileFilter && !job.FileFilter(fileName)) || (job.EditFilter && !job.EditFilter(fileName))) return {};
    const std::string name = NameOf(fileName);
    const auto visits = std::count_if(job.Masks.begin(), job.Masks.end(),
                                      [&name](const std::string& mask) { return MaskMatches(mask, name); });
    if (visits == 0 || name.starts_with('.')) return {};
    const TChangeSet changes(job.ChangeText, job.Match(), job.EditBinary);
    const std::string before = ReadFileToEdit(TFolder::OpenNamed(FolderOf(fileName)), fileName, job.EditBinary).Contents;
    std::string after = before;
    // UTF-16 text is shown as the UTF-8 it is edited as.
    std::optional<std::string> shownBefore;
    std::string shownAfter;
    TTextKind kind = TTextKind::Plain;
    for (long visit = 0; visit < visits; ++visit) {
        TEdit edit = EditContents(after, changes, true);
        if (edit.Count == 0) continue;
        kind = edit.Kind;
        if (!shownBefore) shownBefore = std::move(edit.ShownBefore);
        shownAfter = std::move(edit.ShownAfter);
        after = edit.Work.Text + edit.Work.Rest;
    }
    std::string diff;
    if (!shownBefore) return diff;
    if (IsUtf16(kind)) {
        AppendUnifiedDiff(diff, fileName, *shownBefore, shownAfter, {}, EncodingName(kind));
    } else {
        AppendUnifiedDiff(diff, fileName, before, after);
    }
    return diff;
}

TJobSettings OnlyChecked(TJobSettings job, const std::vector<std::string>& fileNames,
                         const std::vector<std::string>& renamed) {
    // Shared: the filters are copied into the walker and its workers.
    using TNames = const std::unordered_set<std::string>;
    const auto edited = std::make_shared<TNames>(fileNames.begin(), fileNames.end());
    const auto renames = std::make_shared<TNames>(renamed.begin(), renamed.end());
    // A file renamed alone is visited for its name, its contents left as they are.
    job.FileFilter = [edited, renames](const std::string& fileName) {
        return edited->contains(fileName) || renames->contains(fileName);
    };
    job.EditFilter = [edited](const std::string& fileName) { return edited->contains(fileName); };
    job.RenameFilter = [renames](const std::string& name) { return renames->contains(name); };
    return job;
}

}  // namespace varnok
