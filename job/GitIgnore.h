#pragma once
// Leaves out of a walk what git would leave out of a work tree: the answers
// match `git ls-files --cached --others --exclude-standard` for a walk that
// does not enter the folders left out.
//
// The repository of a folder: a folder holding a ".git" entry (folder or
// file) is the top of its own work tree, so a nested repository follows its
// own rules and not the outer one's; any other folder belongs to its parent
// folder's repository; a folder whose parent was not asked about (the first)
// looks upward, staying on its file system. Each folder is resolved once.
// Outside any work tree, inside a ".git" folder, or in a bare repository
// nothing is left out.
//
// Within a work tree:
//   - ".git" itself is always left out;
//   - a file in the index is never left out, whatever the rules say, and
//     neither is a folder holding one: git lists tracked files even inside
//     ignored folders. The index comes first because libgit2's rule match
//     does not look at it. The index is read once, when the repository is
//     opened;
//   - otherwise the rules decide: every .gitignore, .git/info/exclude and
//     the user's global excludes file (core.excludesFile, or the XDG
//     default). Within a folder the rules left out but that was kept for its
//     tracked files, everything untracked is left out: git does not look
//     into an excluded folder, so no "!" rule can bring a file back there.
//
// A repository libgit2 refuses to open (owned by another user, a broken
// ".git" file, an index that cannot be read) is reported once through
// TakeProblems and walked as if there were none; a rule file that cannot be
// read is reported the same way and its entry kept.
//
// Calls may come from any thread, one at a time or not: a mutex guards it.

#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace varnok {

class TGitIgnore {
public:
    TGitIgnore();
    ~TGitIgnore();
    TGitIgnore(const TGitIgnore&) = delete;
    TGitIgnore& operator=(const TGitIgnore&) = delete;

    // Whether git would leave out the entry `name` (a file, or a folder when
    // isFolder) of `folder`, an absolute path without a trailing "/" as the
    // walk spells it.
    bool Ignored(const std::string& folder, const std::string& name, bool isFolder);

    // What could not be used since the last call, each once, as
    // {folder, reason}: the walk turns each into a report line.
    std::vector<std::pair<std::string, std::string>> TakeProblems();

private:
    struct TRepository;
    // Where a folder stands: its repository (none: nothing is left out), its
    // path within the work tree ("" or ending in "/"), and whether the rules
    // left it or a folder above it out.
    struct TPlace {
        TRepository* repository = nullptr;
        std::string relative;
        bool excluded = false;
    };
    struct TFolderAnswer {
        bool ignored = false;
        bool excluded = false;
    };

    const TPlace& Resolve(const std::string& folder);
    TPlace Open(const std::string& folder);
    TFolderAnswer AnswerFolder(const std::string& folder, const TPlace& place,
                               const std::string& name);
    bool RulesIgnore(const std::string& folder, const TPlace& place, const std::string& relative);
    void Report(const std::string& folder, const std::string& reason);

    std::mutex m_mutex;
    std::vector<std::unique_ptr<TRepository>> m_repositories;
    std::unordered_map<std::string, TPlace> m_places;
    std::unordered_map<std::string, TFolderAnswer> m_folderAnswers;
    std::unordered_set<std::string> m_reported;
    std::vector<std::pair<std::string, std::string>> m_problems;
};

}  // namespace varnok
