#pragma once
// The job the desktop program keeps in its settings dialog, read back for the
// batch runner: the values the dialog's full load restores, with the same
// defaults and one-row fallbacks, so that a stored job runs the same here.

#include <string>
#include <vector>

#include "JobOptions.h"

namespace varnok {

struct TStoredJob : TJobOptions {
    std::vector<std::string> Folders;
    std::vector<std::string> Masks;
    std::vector<std::string> ChangeText;  // lines of the shared change list
};

// The job stored under configuration `configName`, or under the default store
// key for "". A name that is not stored is refused with
// "No configuration named '<name>' is stored": its defaults (the temp folder,
// every file) would otherwise run the change list where nobody asked.
TStoredJob LoadStoredJob(const std::string& configName);

}  // namespace varnok
