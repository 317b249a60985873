#pragma once
// The kept runs as a user knows them: when (local time), where, and what
// they changed, for the undo's question and the list of past runs.

#include <cstddef>
#include <string>
#include <vector>

#include "RunJournal.h"

namespace varnok {

// "8 Dec 2026 23:05 in /home/ann/src (old_name → new_name and 3 more
// changes)": the start in local time, the folders, the first change.
std::string RunDescription(const TJournal& journal);

// "Undo the run of DESCRIPTION: restore N files?"
std::string UndoQuestion(const TJournal& journal, std::size_t files);

// A kept journal, readable or not.
struct TKeptRun {
    std::string Id;
    bool Readable = false;
    std::string Problem;  // why not: "empty", or the reading's error
    TJournal Journal;     // when readable
};

// Every journal of folder, oldest first.
std::vector<TKeptRun> KeptRuns(const std::string& folder);

}  // namespace varnok
