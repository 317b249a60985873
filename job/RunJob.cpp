#include "RunJob.h"

#include <optional>

#include "RunJournal.h"
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
    if (!host.Confirm("Confirm", "Are you sure? There's no undo?")) return TRunOutcome::Declined;
    StartReport(settings.ClearReport, host);
    {
        // Outlives the walker, whose end syncs it.
        std::optional<TRunJournal> journal;
        if (!settings.DryRun) journal.emplace(RunJournalFolder(), settings);
        TVarnokDirectory walker;
        walker.SetState(host, settings.Recurse, settings.SpanLines, settings.ChangeText);
        walker.DryRun = settings.DryRun;
        walker.Journal = journal ? &*journal : nullptr;
        for (const auto& folder : settings.Folders) walker.AddPath(folder);
        for (const auto& mask : settings.Masks) walker.AddMask(mask);
        walker.DoProcedureToAllMatchingFiles();
    }
    host.SetStatusText("All Done");
    return StopFlag() ? TRunOutcome::Stopped : TRunOutcome::Done;
}

}  // namespace varnok
