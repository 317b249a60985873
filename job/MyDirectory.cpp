#include "MyDirectory.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <atomic>
#include <memory>

#include "FileMask.h"
#include "RunJob.h"

namespace varnok {
namespace {

// Written by the Stop command, possibly from a signal handler.
std::atomic<bool> g_stop{false};
static_assert(std::atomic<bool>::is_always_lock_free);

enum class TWanted { Files, Folders };

struct TDirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

bool IsWanted(DIR* dir, const dirent& entry, TWanted wanted) {
    unsigned char type = entry.d_type;
    if (type == DT_UNKNOWN || (type == DT_LNK && wanted == TWanted::Files)) {
        // A link to a file counts as the file; a link to a folder is never
        // entered, and a broken link is a system entry.
        struct stat info {};
        const int flags = wanted == TWanted::Files ? 0 : AT_SYMLINK_NOFOLLOW;
        if (fstatat(dirfd(dir), entry.d_name, &info, flags) != 0) return false;
        type = S_ISREG(info.st_mode) ? DT_REG : S_ISDIR(info.st_mode) ? DT_DIR : DT_UNKNOWN;
    }
    return wanted == TWanted::Files ? type == DT_REG : type == DT_DIR;
}

// One listing of a folder: the names matching the mask, in the order the file
// system returns them; hidden entries (and so "." and "..") left out. A
// folder that cannot be listed has no entries.
std::vector<std::string> ListNames(const std::string& folder, const std::string& mask,
                                   TWanted wanted) {
    std::vector<std::string> names;
    std::unique_ptr<DIR, TDirCloser> dir(opendir(folder.empty() ? "." : folder.c_str()));
    if (!dir) return names;
    while (const dirent* entry = readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (name.front() == '.' || !MaskMatches(mask, name)) continue;
        if (IsWanted(dir.get(), *entry, wanted)) names.emplace_back(name);
    }
    return names;
}

}  // namespace

void SetStopFlag() { g_stop.store(true); }
bool StopFlag() { return g_stop.load(); }

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (folder.back() == '/') return folder + name;
    return folder + '/' + name;
}

std::vector<std::string> ListFiles(const std::string& folder, const std::string& mask) {
    std::vector<std::string> names = ListNames(folder, mask, TWanted::Files);
    for (auto& name : names) name = JoinPath(folder, name);
    return names;
}

std::vector<std::string> ListFolders(const std::string& folder) {
    std::vector<std::string> names = ListNames(folder, "*.*", TWanted::Folders);
    for (auto& name : names) name = JoinPath(folder, name);
    return names;
}

void TMyDirectory::SetState(TEventPump* eventPump, bool recurse) {
    m_eventPump = eventPump;
    Recurse = recurse;
}

void TMyDirectory::AddPath(const std::string& folder) { Paths.push_back(folder); }
void TMyDirectory::AddMask(const std::string& mask) { Masks.push_back(mask); }

void TMyDirectory::PumpEvents() {
    if (m_eventPump) m_eventPump->ProcessEvents();
}

void TMyDirectory::DoProcedureToAllMatchingFiles() {
    g_stop.store(false);
    PreProcessProcedure();
    for (const auto& folder : Paths) DoProcedureToDirectory(folder);
    PostProcessProcedure();
}

void TMyDirectory::DoProcedureToDirectory(const std::string& folder) {
    if (StopFlag()) return;
    PumpEvents();
    PreProcessDirectoryProcedure(folder);
    TheDirectoryProcedure(folder);
    for (const auto& mask : Masks) {
        const std::vector<std::string> fileNames = ListFiles(folder, mask);
        FilesListed(folder, mask, fileNames);
        for (const auto& fileName : fileNames) DoTheFileProcedure(fileName);
    }
    if (!Recurse) return;
    for (const auto& subFolder : ListFolders(folder)) DoProcedureToDirectory(subFolder);
    PostProcessDirectoryProcedure(folder);
}

void TMyDirectory::DoTheFileProcedure(const std::string& fileName) {
    if (!StopFlag()) TheFileProcedure(fileName);
}

void TMyDirectory::TheFileProcedure(const std::string&) {}
void TMyDirectory::TheDirectoryProcedure(const std::string&) {}
void TMyDirectory::PreProcessProcedure() {}
void TMyDirectory::PostProcessProcedure() {}
void TMyDirectory::PreProcessDirectoryProcedure(const std::string&) {}
void TMyDirectory::PostProcessDirectoryProcedure(const std::string&) {}
void TMyDirectory::FilesListed(const std::string&, const std::string&,
                               const std::vector<std::string>&) {}

}  // namespace varnok
