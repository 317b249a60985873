#pragma once
// A run: confirmation, report preparation, the walk, "All Done". A run that
// rewrites files records them in a run journal (RunJournal.h) in
// RunJournalFolder(), from which it can be undone (RunUndo.h).

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "JobOptions.h"
#include "RunHost.h"

namespace varnok {

// A file that a run changed, or in a dry run would have changed.
struct TFileChange {
    const std::string& FileName;
    long long Count;
    std::string_view Before, After;  // its bytes, or its text in UTF-8 when Encoding is named
    std::string_view Encoding;        // "UTF-16LE" or "UTF-16BE"; empty: bytes as they are
    // The full name the run gives it, as the walk would spell it once its
    // folders are renamed too; empty: its name stays. A file only renamed
    // has Count 0 and neither bytes.
    std::string_view NewFileName = {};
};

// The job settings: its options, and what the run works on.
struct TJobSettings : TJobOptions {
    bool ClearReport = false;
    std::vector<std::string> Folders;
    std::vector<std::string> ChangeText;  // lines, split at line breaks only
    std::vector<std::string> Masks;
    bool DryRun = false;  // visit and count, write nothing
    // The change-list check's findings were shown already and the user chose
    // to run: they are not asked about again.
    bool ChangeListChecked = false;
    // Only the files it accepts are visited; every file when unset. It may
    // be called on another thread than the run's.
    std::function<bool(const std::string& fileName)> FileFilter;
    // Of the files visited, those whose contents the run changes; every one
    // when unset. Called as FileFilter is.
    std::function<bool(const std::string& fileName)> EditFilter;
    // Of the renames, those given, by the old name as the report spells it;
    // every one when unset.
    std::function<bool(const std::string& name)> RenameFilter;
    // Told of every changed file right after its report line.
    std::function<void(const TFileChange&)> OnFileChanged;
    // Told of every rename given (in a dry run: that would be given), names
    // as the report's "Renamed" line spells them.
    std::function<void(const std::string& name, const std::string& newName, bool folder)> OnRenamed;
    // The threads that work on the run, its own included; 0: one per core.
    unsigned Jobs = 0;
};

// Refused: the change-list check found something and the host would not run.
enum class TRunOutcome { Declined, Done, Stopped, Refused };

// Runs the whole job before it returns. The change-list check (ChangeCheck.h)
// comes first; its findings go to the host, which may refuse the run before
// the confirmation is asked. A run error (a file that cannot be opened or
// created) is thrown as std::runtime_error carrying its message text after the
// report lines so far were appended; "All Done" is then not shown.
TRunOutcome RunJob(const TJobSettings& settings, TRunHost& host);
// The walk of a run and its "All Done", without the question and without
// preparing the report.
TRunOutcome WalkJob(const TJobSettings& settings, TRunHost& host);

// The change-list check of a job (ChangeCheck.h) and what it finds of the
// exclusions (WalkFilter.h).
std::vector<std::string> CheckJob(const TJobSettings& settings);

// What a run of settings will touch, for its confirmation: the folders,
// whether sub-folders are searched, the masks, the options that change which
// files it touches or how, and the number of changes; a line each.
std::string RunScope(const TJobSettings& settings);

// Empties the report, or else separates what follows from what it holds.
void StartReport(bool clearReport, TRunHost& host);

// The program-wide stop flag. Safe to set from a signal handler.
void SetStopFlag();
bool StopFlag();
// A walk clears it as it starts; so does an undo.
void ClearStopFlag();

}  // namespace varnok
