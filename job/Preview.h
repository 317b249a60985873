#pragma once
// A look at a run before it writes anything: the dry run of the same job
// lists the files it would change, and the diff of one of them is made when
// it is asked for, from that file alone, by the same edit as the run's.
// Between the look and the run nothing is kept of the files but their names
// and counts: a run reads every file again, whatever changed since.

#include <string>
#include <vector>

#include "RunHost.h"
#include "RunJob.h"

namespace varnok {

struct TPreviewFile {
    std::string FileName;
    long long Count = 0;  // over all its visits
};

// A file or folder the run would give a new name.
struct TPreviewRename {
    std::string Name, NewName;  // full names, as the report spells them
    bool Folder = false;
};

struct TPreview {
    std::vector<TPreviewFile> Files;  // with a replacement, in the order of the walk, each name once
    std::vector<TPreviewRename> Renames;  // in the order the run gives them: deepest first
    TRunOutcome Outcome = TRunOutcome::Done;
};

// The dry run of job without the question; its report lines are not kept,
// the host shows its status and pumps its events as in a run, and Stop ends
// it as it ends a run.
TPreview PreviewJob(TJobSettings job, TRunHost& host);

// The diff a run of job would make of fileName as it is now; "" when the run
// would leave it as it is.
std::string PreviewDiff(TJobSettings job, const std::string& fileName);

// job changing only the contents of the files named and giving only the
// renames named (by their old names); it visits no other file.
TJobSettings OnlyChecked(TJobSettings job, const std::vector<std::string>& fileNames,
                         const std::vector<std::string>& renamed);

}  // namespace varnok
