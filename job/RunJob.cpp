#include "RunJob.h"

#include "VarnokDirectory.h"

namespace varnok {

TRunOutcome RunJob(const TJobSettings& settings, TRunHost& host) {
    if (!host.Confirm("Confirm", "Are you sure? There's no undo?")) return TRunOutcome::Declined;
    if (settings.ClearReport) {
        host.ClearReport();
    } else {
        host.AppendReportLine("");
        host.AppendReportLine(std::string(62, '.'));
        host.AppendReportLine("");
    }
    return WalkJob(settings, host);
}

TRunOutcome WalkJob(const TJobSettings& settings, TRunHost& host) {
    {
        TVarnokDirectory walker;
        walker.SetState(host, settings.Recurse, settings.SpanLines, settings.ChangeText);
        walker.DryRun = settings.DryRun;
        walker.FileFilter = settings.FileFilter;
        walker.OnFileChanged = settings.OnFileChanged;
        for (const auto& folder : settings.Folders) walker.AddPath(folder);
        for (const auto& mask : settings.Masks) walker.AddMask(mask);
        walker.DoProcedureToAllMatchingFiles();
    }
    host.SetStatusText("All Done");
    return StopFlag() ? TRunOutcome::Stopped : TRunOutcome::Done;
}

}  // namespace varnok
