#include "RunJob.h"

#include <memory>
#include <optional>

#include "ChangeCheck.h"
#include "ChangeList.h"
#include "RunJournal.h"
#include "TextUtils.h"
#include "VarnokDirectory.h"

namespace varnok {

void StartReport(bool clearReport, TRunHost& host) {
    if (clearReport) {
        host.ClearReport();
    } else {
        host.AppendReportLine("");
        host.AppendReportLine(std::string(62, '.'));
        host.AppendReportLine("");
    }
}

std::string RunScope(const TJobSettings& settings) {
    std::string scope = (settings.Folders.size() == 1 ? "Folder: " : "Folders: ") + Joined(settings.Folders) + "\n";
    scope += settings.Recurse ? "Sub-folders: searched\n" : "Sub-folders: not searched\n";
    scope += (settings.Masks.size() == 1 ? "Mask: " : "Masks: ") + Joined(settings.Masks) + "\n";
    if (!settings.Exclusions.empty()) scope += "Excluded: " + Joined(settings.Exclusions) + "\n";
    if (settings.GitIgnore) scope += "Files git ignores: left out\n";
    if (settings.EditBinary) scope += "Binary files: edited before their first NUL\n";
    if (settings.CaseSensitive) scope += "Match case\n";
    if (settings.WholeWords) scope += "Whole words only\n";
    if (settings.SpanLines) scope += "Span lines when matching\n";
    if (settings.KeepCase) scope += "Keep case\n";
    std::size_t changes = 0;
    try {
        changes = TChangeSet(settings.ChangeText, settings.Match()).Searches().size();
    } catch (const std::runtime_error&) {
        changes = static_cast<std::size_t>(kMaxChanges) + 1;  // refused by the walk, which says why
    }
    return scope + "Changes: " + IntToText(static_cast<long long>(changes));
}

std::vector<std::string> CheckJob(const TJobSettings& settings) {
    std::vector<std::string> findings = CheckChangeList(settings.ChangeText, settings.Match());
    for (std::string& finding : ExclusionFindings(settings.Folders, settings.Masks, settings.Exclusions)) {
        findings.push_back(std::move(finding));
    }
    return findings;
}

TRunOutcome RunJob(const TJobSettings& settings, TRunHost& host) {
    RefuseTooManyChanges(ReadChangeList(settings.ChangeText).size());
    if (!settings.ChangeListChecked) {
        const std::vector<std::string> findings = CheckJob(settings);
        if (!findings.empty() && !host.RunDespite(findings)) return TRunOutcome::Refused;
    }
    if (!host.Confirm("Confirm", "Are you sure? There's no undo?", RunScope(settings))) return TRunOutcome::Declined;
    StartReport(settings.ClearReport, host);
    return WalkJob(settings, host);
}

TRunOutcome WalkJob(const TJobSettings& settings, TRunHost& host) {
    long long skipped = 0;
    {
        // Outlives the walker, whose end syncs it.
        std::optional<TRunJournal> journal;
        if (!settings.DryRun) journal.emplace(RunJournalFolder(), settings);
        TVarnokDirectory walker;
        walker.SetState(host, settings.Recurse, settings.SpanLines, settings.ChangeText);
        walker.DryRun = settings.DryRun;
        walker.Options = settings;
        walker.Journal = journal ? &*journal : nullptr;
        walker.FileFilter = settings.FileFilter;
        walker.OnFileChanged = settings.OnFileChanged;
        walker.Jobs = settings.Jobs;

        for (const auto& folder : settings.Folders) walker.AddPath(folder);
        for (const auto& mask : settings.Masks) walker.AddMask(mask);
        walker.DoProcedureToAllMatchingFiles();
        skipped = walker.Counts.Skipped;
    }
    host.SetStatusText(skipped == 0 ? "All Done" : "All Done, " + IntToText(skipped) + " skipped");
    return StopFlag() ? TRunOutcome::Stopped : TRunOutcome::Done;
}

}  // namespace varnok
