#include "MyDirectory.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

}  // namespace

void SetStopFlag() { g_stop.store(true); }
bool StopFlag() { return g_stop.load(); }
void ClearStopFlag() { g_stop.store(false); }

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (folder.back() == '/') return folder + name;
    return folder + '/' + name;
}

namespace {

std::vector<std::string> Joined(const std::string& folder, const std::vector<std::string>& names,
                                const std::string& mask) {
    std::vector<std::string> joined;
    for (const auto& name : names) {
        if (MaskMatches(mask, name)) joined.push_back(JoinPath(folder, name));
    }
    return joined;
}

TFolderEntries ReadEntries(DIR* dir) {
    TFolderEntries entries;
    if (!dir) return entries;
    while (const dirent* entry = readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name.front() == '.') continue;
        if (IsWanted(dir, *entry, TWanted::Files)) {
            entries.Files.emplace_back(name);
        } else if (IsWanted(dir, *entry, TWanted::Folders)) {
            entries.Folders.emplace_back(name);
        }
    }
    return entries;
}

}  // namespace

TFolderEntries ReadFolder(const std::string& folder) {
    std::unique_ptr<DIR, TDirCloser> dir(opendir(folder.empty() ? "." : folder.c_str()));
    return ReadEntries(dir.get());
}

TFolderEntries ReadFolderAt(int folderDescriptor) {
    const int own = fcntl(folderDescriptor, F_DUPFD_CLOEXEC, 0);
    if (own < 0) return {};
    std::unique_ptr<DIR, TDirCloser> dir(fdopendir(own));
    if (!dir) close(own);
    return ReadEntries(dir.get());
}

std::vector<std::string> FilesMatching(const std::string& folder, const TFolderEntries& entries,
                                       const std::string& mask) {
    return Joined(folder, entries.Files, mask);
}

std::vector<std::string> SubFolders(const std::string& folder, const TFolderEntries& entries) {
    return Joined(folder, entries.Folders, "*.*");
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
        const std::vector<std::string> fileNames = FilesOf(folder, mask);
        for (const auto& fileName : fileNames) DoTheFileProcedure(fileName);
    }
    if (!Recurse) return;
    for (const auto& subFolder : FoldersOf(folder)) DoProcedureToDirectory(subFolder);
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
std::vector<std::string> TMyDirectory::FilesOf(const std::string& folder, const std::string& mask) {
    return FilesMatching(folder, ReadFolder(folder), mask);
}

std::vector<std::string> TMyDirectory::FoldersOf(const std::string& folder) {
    return SubFolders(folder, ReadFolder(folder));
}

}  // namespace varnok
