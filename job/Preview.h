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

struct TPreview {
    std::vector<TPreviewFile> Files;  // in the order of the walk, each name once
    TRunOutcome Outcome = TRunOutcome::Done;
};

// The dry run of job without the question; its report lines are not kept,
// the host shows its status and pumps its events as in a run, and Stop ends
// it as it ends a run.
TPreview PreviewJob(TJobSettings job, TRunHost& host);

// The diff a run of job would make of fileName as it is now; "" when the run
// would leave it as it is.
std::string PreviewDiff(TJobSettings job, const std::string& fileName);

// job visiting only the files named.
TJobSettings OnlyFiles(TJobSettings job, const std::vector<std::string>& fileNames);

}  // namespace varnok
