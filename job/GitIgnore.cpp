#include "GitIgnore.h"

#include <dlfcn.h>
#include <git2.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <stdexcept>
#include <string_view>
#include <system_error>

namespace varnok {

namespace {

// libgit2 is loaded when a run first asks about ignored files: linked, its
// chain of libraries (TLS, Kerberos, SSH) cost every start of the program
// several milliseconds, most of a small run.
struct TLibGit2 {
    decltype(&::git_libgit2_init) libgit2_init;
    decltype(&::git_libgit2_shutdown) libgit2_shutdown;
    decltype(&::git_error_last) error_last;
    decltype(&::git_repository_open_ext) repository_open_ext;
    decltype(&::git_repository_free) repository_free;
    decltype(&::git_repository_is_bare) repository_is_bare;
    decltype(&::git_repository_workdir) repository_workdir;
    decltype(&::git_repository_path) repository_path;
    decltype(&::git_repository_index) repository_index;
    decltype(&::git_index_free) index_free;
    decltype(&::git_index_get_bypath) index_get_bypath;
    decltype(&::git_index_has_conflicts) index_has_conflicts;
    decltype(&::git_index_find) index_find;
    decltype(&::git_index_find_prefix) index_find_prefix;
    decltype(&::git_ignore_path_is_ignored) ignore_path_is_ignored;
};

template <class TFunction>
void Bind(void* library, const char* name, TFunction*& function) {
    function = reinterpret_cast<TFunction*>(dlsym(library, name));
    if (!function) throw std::runtime_error(std::string("Cannot load libgit2: ") + dlerror());
}

// Loaded once, never unloaded; throws the reason it cannot be.
const TLibGit2& Git() {
    static const TLibGit2 git = [] {
        void* library = dlopen(VARNOK_LIBGIT2_SONAME, RTLD_NOW | RTLD_LOCAL);
        if (!library) throw std::runtime_error(std::string("Cannot load libgit2: ") + dlerror());
        TLibGit2 loaded{};
        Bind(library, "git_libgit2_init", loaded.libgit2_init);
        Bind(library, "git_libgit2_shutdown", loaded.libgit2_shutdown);
        Bind(library, "git_error_last", loaded.error_last);
        Bind(library, "git_repository_open_ext", loaded.repository_open_ext);
        Bind(library, "git_repository_free", loaded.repository_free);
        Bind(library, "git_repository_is_bare", loaded.repository_is_bare);
        Bind(library, "git_repository_workdir", loaded.repository_workdir);
        Bind(library, "git_repository_path", loaded.repository_path);
        Bind(library, "git_repository_index", loaded.repository_index);
        Bind(library, "git_index_free", loaded.index_free);
        Bind(library, "git_index_get_bypath", loaded.index_get_bypath);
        Bind(library, "git_index_has_conflicts", loaded.index_has_conflicts);
        Bind(library, "git_index_find", loaded.index_find);
        Bind(library, "git_index_find_prefix", loaded.index_find_prefix);
        Bind(library, "git_ignore_path_is_ignored", loaded.ignore_path_is_ignored);
        return loaded;
    }();
    return git;
}

}  // namespace

struct TGitIgnore::TRepository {
    git_repository* Repository = nullptr;
    git_index* Index = nullptr;
    ~TRepository() {
        Git().index_free(Index);
        Git().repository_free(Repository);
    }
};

namespace {

std::string Join(const std::string& folder, const std::string& name) {
    return folder.ends_with('/') ? folder + name : folder + "/" + name;
}

std::string LastError(int code) {
    const git_error* error = Git().error_last();
    if (error && error->message) return error->message;
    return "libgit2 error " + std::to_string(code);
}

// libgit2 1.5 fails its ownership check with "not found" from the config
// class when no safe.directory is set at all, which reads as if there were
// no repository.
std::string OpenFailure(int code) {
    const git_error* error = Git().error_last();
    if (code == GIT_ENOTFOUND && error && error->klass == GIT_ERROR_CONFIG) {
        return "not owned by the current user (" + LastError(code) + ")";
    }
    return LastError(code);
}

bool NoRepository(int code) {
    const git_error* error = Git().error_last();
    return code == GIT_ENOTFOUND && error && error->klass == GIT_ERROR_REPOSITORY;
}

}  // namespace

TGitIgnore::TGitIgnore() {
    if (int code = Git().libgit2_init(); code < 0) {
        throw std::runtime_error("Cannot start libgit2: " + LastError(code));
    }
}

TGitIgnore::~TGitIgnore() {
    m_repositories.clear();
    Git().libgit2_shutdown();
}

bool TGitIgnore::Ignored(const std::string& folder, const std::string& name, bool isFolder) {
    std::lock_guard lock(m_mutex);
    const TPlace& place = Resolve(folder);
    if (!place.repository) return false;
    if (name == ".git") return true;
    if (isFolder) return AnswerFolder(folder, place, name).ignored;
    const std::string relative = place.relative + name;
    git_index* index = place.repository->Index;
    // Conflicted files have no entry at stage 0, only at 1 to 3.
    std::size_t position = 0;
    if (Git().index_get_bypath(index, relative.c_str(), 0) ||
        (Git().index_has_conflicts(index) &&
         Git().index_find(&position, index, relative.c_str()) == 0)) {
        return false;
    }
    return place.excluded || RulesIgnore(folder, place, relative);
}

std::vector<std::pair<std::string, std::string>> TGitIgnore::TakeProblems() {
    std::lock_guard lock(m_mutex);
    return std::exchange(m_problems, {});
}

const TGitIgnore::TPlace& TGitIgnore::Resolve(const std::string& folder) {
    if (auto known = m_places.find(folder); known != m_places.end()) return known->second;
    TPlace place;
    const std::size_t slash = folder.rfind('/');
    auto parent = m_places.end();
    if (slash != std::string::npos && folder.size() > 1) {
        parent = m_places.find(slash == 0 ? "/" : folder.substr(0, slash));
    }
    struct stat info {};
    const bool ownTree =
        lstat(Join(folder, ".git").c_str(), &info) == 0 || (errno != ENOENT && errno != ENOTDIR);
    if (parent == m_places.end() || ownTree) {
        place = Open(folder);
    } else if (parent->second.repository) {
        const TPlace above = parent->second;
        const std::string name = folder.substr(slash + 1);
        place = {above.repository, above.relative + name + "/",
                 AnswerFolder(parent->first, above, name).excluded};
    }
    return m_places.emplace(folder, std::move(place)).first->second;
}

TGitIgnore::TPlace TGitIgnore::Open(const std::string& folder) {
    git_repository* opened = nullptr;
    if (int code = Git().repository_open_ext(&opened, folder.c_str(), 0, nullptr); code < 0) {
        if (!NoRepository(code)) Report(folder, OpenFailure(code));
        return {};
    }
    auto repository = std::make_unique<TRepository>();
    repository->Repository = opened;
    if (Git().repository_is_bare(opened)) return {};

    // The walk's spelling of the folder may go through links; libgit2's work
    // tree does not.
    char real[PATH_MAX];
    if (!realpath(folder.c_str(), real)) {
        Report(folder, std::generic_category().message(errno));
        return {};
    }
    const std::string path = std::string(real) + (std::string_view(real) == "/" ? "" : "/");
    const std::string workTree = Git().repository_workdir(opened);
    if (!path.starts_with(workTree) || path.starts_with(Git().repository_path(opened))) return {};
    TPlace place{nullptr, path.substr(workTree.size()), false};

    for (const auto& known : m_repositories) {
        if (std::string_view(Git().repository_path(known->Repository)) ==
            Git().repository_path(opened)) {
            place.repository = known.get();
        }
    }
    if (!place.repository) {
        if (int code = Git().repository_index(&repository->Index, opened); code < 0) {
            Report(folder, "cannot read the index: " + LastError(code));
            return {};
        }
        place.repository = m_repositories.emplace_back(std::move(repository)).get();
    }
    // A walk that starts below the top of a work tree may start inside a
    // folder the rules leave out.
    if (!place.relative.empty()) place.excluded = RulesIgnore(folder, place, place.relative);
    return place;
}

TGitIgnore::TFolderAnswer TGitIgnore::AnswerFolder(const std::string& folder, const TPlace& place,
                                                   const std::string& name) {
    const std::string path = Join(folder, name);
    if (auto known = m_folderAnswers.find(path); known != m_folderAnswers.end())
        return known->second;
    const std::string relative = place.relative + name;
    TFolderAnswer answer;
    answer.excluded = place.excluded || RulesIgnore(folder, place, relative + "/");
    if (answer.excluded) {
        git_index* index = place.repository->Index;
        // A submodule is one entry under the folder's own name.
        const bool tracked = Git().index_get_bypath(index, relative.c_str(), 0) ||
                             Git().index_find_prefix(nullptr, index, (relative + "/").c_str()) == 0;
        answer.ignored = !tracked;
    }
    return m_folderAnswers.emplace(path, answer).first->second;
}

bool TGitIgnore::RulesIgnore(const std::string& folder, const TPlace& place,
                             const std::string& relative) {
    int ignored = 0;
    if (int code =
            Git().ignore_path_is_ignored(&ignored, place.repository->Repository, relative.c_str());
        code < 0) {
        Report(folder, LastError(code));
        return false;
    }
    return ignored != 0;
}

void TGitIgnore::Report(const std::string& folder, const std::string& reason) {
    if (m_reported.insert(folder + '\n' + reason).second) m_problems.emplace_back(folder, reason);
}

}  // namespace varnok
