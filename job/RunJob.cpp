#include "RunJob.h"

#include <memory>
#include <optional>

#include "ChangeCheck.h"
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

TRunOutcome RunJob(const TJobSettings& settings, TRunHost& host) {
    std::vector<std::string> findings = CheckChangeList(settings.ChangeText, settings.Match());
    for (std::string& finding : ExclusionFindings(settings.Folders, settings.Masks, settings.Exclusions)) {
        findings.push_back(std::move(finding));
    }
    if (!findings.empty() && !host.RunDespite(findings)) return TRunOutcome::Refused;
    if (!host.Confirm("Confirm", "Are you sure? There's no undo?")) return TRunOutcome::Declined;
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
        walker.CaseSensitive = settings.CaseSensitive;
        walker.WholeWords = settings.WholeWords;
        walker.Journal = journal ? &*journal : nullptr;
        walker.FileFilter = settings.FileFilter;
        walker.OnFileChanged = settings.OnFileChanged;
        walker.Jobs = settings.Jobs;
        walker.EditBinary = settings.EditBinary;
        if (!settings.Exclusions.empty() || settings.GitIgnore) {
            walker.Filter = std::make_shared<TWalkFilter>(settings.Exclusions, settings.GitIgnore);
        }
        for (const auto& folder : settings.Folders) walker.AddPath(folder);
        for (const auto& mask : settings.Masks) walker.AddMask(mask);
        walker.DoProcedureToAllMatchingFiles();
        skipped = walker.Counts.Skipped;
    }
    host.SetStatusText(skipped == 0 ? "All Done" : "All Done, " + IntToText(skipped) + " skipped");
    return StopFlag() ? TRunOutcome::Stopped : TRunOutcome::Done;
}

}  // namespace varnok
