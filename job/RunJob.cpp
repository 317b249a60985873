#include "RunJob.h"

#include <algorithm>
#include <map>
#include <memory>
#include <optional>

#include "ChangeCheck.h"
#include "ChangeList.h"
#include "FileMask.h"
#include "MyDirectory.h"
#include "RenameNames.h"
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
    if (settings.RenameNames) scope += "File and folder names: renamed\n";
    // Counted as the run reads the list; no change need be prepared for it.
    return scope + "Changes: " + IntToText(static_cast<long long>(ReadChangeList(settings.ChangeText).size()));
}

namespace {

// Two names of a named folder's entries that the renames would give one new
// name, or a new name another entry there holds already: the later is left as
// it is.
void CheckRenames(const TJobSettings& settings, const std::vector<TFolderEntries>& listings,
                  std::vector<std::string>& findings) {
    std::optional<TChangeSet> changes;
    try {
        changes.emplace(settings.ChangeText, settings.Match(), settings.EditBinary);
    } catch (const std::runtime_error&) {
        return;  // the change list's own finding says why
    }
    for (std::size_t i = 0; i < settings.Folders.size(); ++i) {
        const std::string& folder = settings.Folders[i];
        const TFolderEntries& entries = listings[i];
        std::vector<std::string> names;
        for (const std::string& name : entries.Files) {
            if (std::any_of(settings.Masks.begin(), settings.Masks.end(),
                            [&](const std::string& mask) { return MaskMatches(mask, name); })) {
                names.push_back(name);
            }
        }
        if (settings.Recurse) names.insert(names.end(), entries.Folders.begin(), entries.Folders.end());
        std::map<std::string, std::string> byNewName;  // and the first name that gets it
        for (const std::string& name : entries.Files) byNewName.try_emplace(name, name);
        for (const std::string& name : entries.Folders) byNewName.try_emplace(name, name);
        for (const std::string& name : names) {
            const std::string newName = ChangedName(*changes, name);
            if (newName == name) continue;
            const auto [first, added] = byNewName.try_emplace(newName, name);
            if (!added) {
                findings.push_back("Renaming gives " + JoinPath(folder, name) + " the name " + newName + " that " +
                                   JoinPath(folder, first->second) + " has or gets; it will not be renamed");
            }
        }
    }
}

}  // namespace

std::vector<std::string> CheckJob(const TJobSettings& settings) {
    std::vector<std::string> findings = CheckChangeList(settings.ChangeText, settings.Match());
    // Each named folder's first level, listed once for both checks.
    std::vector<TFolderEntries> listings;
    if (settings.RenameNames || !settings.Exclusions.empty()) {
        for (const std::string& folder : settings.Folders) listings.push_back(ReadFolder(folder));
    }
    if (settings.RenameNames) CheckRenames(settings, listings, findings);
    for (std::string& finding : ExclusionFindings(settings.Folders, listings, settings.Masks, settings.Exclusions)) {
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
        walker.EditFilter = settings.EditFilter;
        walker.RenameFilter = settings.RenameFilter;
        walker.OnFileChanged = settings.OnFileChanged;
        walker.OnRenamed = settings.OnRenamed;
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
