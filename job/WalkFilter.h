#pragma once
// What a walk leaves out of the folders the user named: the user's
// exclusion masks and, when asked, whatever git would ignore there.
//
// An exclusion mask without a "/" is matched against the name of each file
// and each sub-folder (a sub-folder left out is not entered); one with a "/"
// against the path below the named folder, where "*" also matches "/"
// ("docs/old/*"); one ending in "/" against folders only. The masks' own
// wild-card rules otherwise (FileMask.h). A named folder itself is never
// left out.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "HeldFolder.h"

namespace varnok {

class TGitIgnore;

bool ExclusionMatches(const std::string& mask, const std::string& relativePath, bool isFolder);

// What the change-list check says of the exclusions: each mask that finds
// files in the first level of a named folder (listings: those levels, folder
// by folder), all of which they leave out.
std::vector<std::string> ExclusionFindings(const std::vector<std::string>& folders,
                                           const std::vector<TFolderEntries>& listings,
                                           const std::vector<std::string>& masks,
                                           const std::vector<std::string>& exclusions);

class TWalkFilter {
public:
    TWalkFilter(std::vector<std::string> exclusions, bool gitIgnore);
    ~TWalkFilter();
    TWalkFilter(const TWalkFilter&) = delete;
    TWalkFilter& operator=(const TWalkFilter&) = delete;

    // Takes out of entries what is left out. folder: as the walk spells it;
    // relative: its path below the named folder ("" for that folder).
    void Apply(const std::string& folder, const std::string& relative, TFolderEntries& entries);
    // Folders whose git repository could not be opened since the last call,
    // with why; they are walked as if git ignored nothing.
    std::vector<std::pair<std::string, std::string>> TakeProblems();

private:
    std::vector<std::string> m_exclusions;
    std::unique_ptr<TGitIgnore> m_git;
    std::string m_workingFolder;
};

}  // namespace varnok
