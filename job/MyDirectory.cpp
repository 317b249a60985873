#include "MyDirectory.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "FileMask.h"
#include "RunJob.h"

namespace varnok {
namespace {

// Written by the Stop command, possibly from a signal handler.
std::atomic<bool> g_stop{false};
static_assert(std::atomic<bool>::is_always_lock_free);

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

}  // namespace

TFolderEntries ReadFolder(const std::string& folder) {
    const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return {{}, {}, errno};
    TFolderEntries entries = ReadEntriesAt(fd);
    close(fd);
    return entries;
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
