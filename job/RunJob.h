#pragma once
// A run: confirmation, report preparation, the walk, "All Done".

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "RunHost.h"

namespace varnok {

// A file that a run changed, or in a dry run would have changed.
struct TFileChange {
    const std::string& FileName;
    long long Count;
    std::string_view Before, After;  // its bytes
};

// The job settings in the order the run takes them.
struct TJobSettings {
    bool ClearReport = false;
    std::vector<std::string> Folders;
    bool Recurse = false;
    bool SpanLines = false;
    std::vector<std::string> ChangeText;  // lines, split at line breaks only
    std::vector<std::string> Masks;
    bool DryRun = false;  // visit and count, write nothing
    // Only the files it accepts are visited; every file when unset. It may
    // be called on another thread than the run's.
    std::function<bool(const std::string& fileName)> FileFilter;
    // Told of every changed file right after its report line.
    std::function<void(const TFileChange&)> OnFileChanged;
};

enum class TRunOutcome { Declined, Done, Stopped };

// Runs the whole job before it returns. A run error (a file that cannot be
// opened or created) is thrown as std::runtime_error carrying its message
// text after the report lines so far were appended; "All Done" is then not
// shown.
TRunOutcome RunJob(const TJobSettings& settings, TRunHost& host);
// The walk of a run and its "All Done", without the question and without
// preparing the report.
TRunOutcome WalkJob(const TJobSettings& settings, TRunHost& host);

// The program-wide stop flag. Safe to set from a signal handler.
void SetStopFlag();
bool StopFlag();

}  // namespace varnok
