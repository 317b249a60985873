#include "VarnokDirectory.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <system_error>

#include "engine/Engine.h"
#include "RunJob.h"
#include "SafeWrite.h"
#include "TextUtils.h"

namespace varnok {
namespace {

std::string Reason(int error) { return ": " + std::generic_category().message(error); }

[[noreturn]] void CannotOpen(const std::string& name, int error) {
    throw std::runtime_error("Cannot open file " + name + Reason(error));
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A link is edited through to its target; the link itself stays as it is.
std::string ResolveLink(const std::string& fileName) {
    struct stat info {};
    if (lstat(fileName.c_str(), &info) != 0) CannotOpen(fileName, errno);
    if (!S_ISLNK(info.st_mode)) return fileName;
    std::unique_ptr<char, decltype(&std::free)> target(realpath(fileName.c_str(), nullptr),
                                                       &std::free);
    if (!target) CannotOpen(fileName, errno);
    return target.get();
}

// One sync of a whole file system instead of one per file written. False
// with errno set.
bool SyncFileSystemOf(const std::string& folder) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool synced = syncfs(fd) == 0;
    const int error = errno;
    close(fd);
    errno = error;
    return synced;
}

long long ApplyAll(const std::vector<TPreparedChange>& changes, std::string& text) {
    long long count = 0;
    for (const auto& change : changes) count += change.ReplaceAll(text);
    return count;
}

// With line-neutral changes only, bytes in which no pattern occurs at all give
// no replacement: such a file, the usual one, is then neither converted nor
// searched again.
bool NoneMayMatch(const std::vector<TPreparedChange>& changes, bool lineNeutral,
                  const std::string& contents) {
    return lineNeutral && std::none_of(changes.begin(), changes.end(), [&](const auto& change) {
               return change.MayMatch(contents);
           });
}

}  // namespace

std::size_t TVarnokDirectory::TEntryHash::operator()(const TEntry& e) const {
    return std::hash<std::string>()(e.Name) ^ (std::hash<ino_t>()(e.Folder) * 31) ^
           std::hash<dev_t>()(e.Device);
}

TVarnokDirectory::~TVarnokDirectory() {
    // Left only when an error ended the run; that error is what gets reported,
    // this makes sure that what was written still reaches the disk.
    for (const auto& [device, folder] : m_writtenFolders) SyncFileSystemOf(folder);
}

void TVarnokDirectory::SetState(TRunHost& host, bool recurse, bool spanLines,
                                const std::vector<std::string>& changes) {
    TMyDirectory::SetState(&host, recurse);
    m_host = &host;
    SpanLines = spanLines;
    m_changes = &changes;
}

void TVarnokDirectory::PreProcessProcedure() {
    SearchStrings.clear();
    ReplaceStrings.clear();
    ChangeCount = 0;
    const std::vector<std::string> none;
    const auto& lines = m_changes ? *m_changes : none;
    // Three lines a change, with the line advances stopping at the last line:
    // a search line needs a line after it, and a change with an empty search
    // line is dropped whole.
    const long long last = static_cast<long long>(lines.size()) - 1;
    long long j = 0;
    m_lineNeutral = true;
    while (j < last) {
        if (ChangeCount == kMaxChanges && !lines[j].empty()) {
            throw std::runtime_error("The change list holds more than " +
                                     IntToText(kMaxChanges) + " changes");
        }
        const std::string& search = lines[j++];
        const std::string& replace = lines[j];
        if (j < last) ++j;
        if (!search.empty()) {
            SearchStrings.push_back(search);
            ReplaceStrings.push_back(replace);
            ++ChangeCount;
            m_lineNeutral = m_lineNeutral && IsLineNeutral(search, replace);
        }
        if (j < last) ++j;
    }
    m_prepared = std::make_shared<std::vector<TPreparedChange>>();
    for (std::size_t i = 0; i < SearchStrings.size(); ++i) {
        m_prepared->emplace_back(SearchStrings[i], ReplaceStrings[i], /*CaseSensitive=*/false,
                                 /*WildCards=*/true, /*ExpandReplacement=*/true,
                                 /*WholeWords=*/false, /*BalanceParens=*/true, SpanLines);
    }
    // The reader applies the changes too; the edit pass takes its result
    // unless the file changed since.
    m_readAhead.Prepare = nullptr;
    if (ChangeCount != 0) {
        m_readAhead.Prepare = [changes = std::shared_ptr<const std::vector<TPreparedChange>>(m_prepared),
                               lineNeutral = m_lineNeutral](TReadFile& file) {
            if (NoneMayMatch(*changes, lineNeutral, file.Contents)) {
                file.Edited.emplace();
                file.EditedCount = 0;
                return;
            }
            file.Edited = MakeWorkingText(file.Contents, lineNeutral);
            file.EditedCount = ApplyAll(*changes, file.Edited->Text);
        };
    }
    m_readAhead.Start(Paths, Masks, Recurse);
}

std::vector<std::string> TVarnokDirectory::FilesOf(const std::string& folder,
                                                   const std::string& mask) {
    return m_readAhead.Listing(folder, mask);
}

std::vector<std::string> TVarnokDirectory::FoldersOf(const std::string& folder) {
    return m_readAhead.SubFoldersOf(folder);
}

void TVarnokDirectory::PostProcessProcedure() {
    m_readAhead.Stop();
    SearchStrings.clear();
    ReplaceStrings.clear();
    m_prepared.reset();
    SyncWritten();
}

void TVarnokDirectory::SyncWritten() {
    for (const auto& [device, folder] : m_writtenFolders) {
        if (!SyncFileSystemOf(folder)) {
            throw std::runtime_error("Cannot write to the disk of " + folder + Reason(errno));
        }
    }
    m_writtenFolders.clear();
}

bool TVarnokDirectory::ChangesMayApply() {
    if (StopFlag()) return false;
    PumpEvents();
    return true;
}

void TVarnokDirectory::ApplyChanges(std::string& text) {
    if (ChangesMayApply()) ReplacementCount += ApplyAll(*m_prepared, text);
}

void TVarnokDirectory::TheFileProcedure(const std::string& fileName) {
    if (!m_made.empty()) {
        const auto made = m_made.find(EntryOf(fileName));
        if (made != m_made.end() && made->second == TMade::Created) return;
    }
    m_host->SetStatusText("Searching: " + fileName + " ...");
    PumpEvents();

    std::optional<TReadFile> readAhead = m_readAhead.Take(fileName);
    // Read ahead before this run replaced it (through another name): stale.
    if (readAhead && m_replaced.contains({readAhead->File.Info.st_dev, readAhead->File.Info.st_ino})) {
        readAhead.reset();
    }
    TReadFile read = readAhead ? std::move(*readAhead) : ReadFileToEdit(fileName);
    const TOpenFile& file = read.File;
    const TFileId id{file.Info.st_dev, file.Info.st_ino};
    std::string& contents = read.Contents;
    const auto simulated = m_dryRunContents.find(id);
    if (simulated != m_dryRunContents.end()) {
        contents = simulated->second;
        read.Edited.reset();
    }

    ReplacementCount = 0;
    TWorkingText work;
    if (read.Edited) {
        work = std::move(*read.Edited);
        if (ChangesMayApply()) ReplacementCount = read.EditedCount;
    } else if (!NoneMayMatch(*m_prepared, m_lineNeutral, contents)) {
        work = MakeWorkingText(contents, m_lineNeutral);
        ApplyChanges(work.Text);
    }
    if (ReplacementCount != 0) {
        MakeFileText(work);
        if (DryRun) {
            m_dryRunContents[id] = work.Text + work.Rest;
        } else {
            WriteBack(fileName, file, work);
        }
    }
    m_host->AppendReportLine(ReportLine(ReplacementCount, fileName));
}

TVarnokDirectory::TEntry TVarnokDirectory::EntryOf(const std::string& path) {
    std::string folder = FolderOf(path);
    if (folder != m_lastFolder) {
        if (stat(folder.c_str(), &m_lastFolderInfo) != 0) CannotOpen(path, errno);
        m_lastFolder = std::move(folder);
    }
    return {m_lastFolderInfo.st_dev, m_lastFolderInfo.st_ino, NameOf(path)};
}

// ".BAK" in place of the extension, unless that is the file's own name or a
// name this run already made or rewrote: then the full name plus ".BAK", so
// that every file's contents from before the run survive.
std::string TVarnokDirectory::BackupNameFor(const std::string& fileName, const TEntry& entry) {
    const auto taken = [&](const std::string& name) {
        return m_made.contains(TEntry{entry.Device, entry.Folder, NameOf(name)});
    };
    std::string backup = ChangeExtension(fileName, "BAK");
    if (backup == fileName || taken(backup)) {
        backup = fileName + ".BAK";
        while (taken(backup)) backup += ".BAK";
    }
    return backup;
}

void TVarnokDirectory::WriteBack(const std::string& fileName, const TOpenFile& file,
                                 TWorkingText& work) {
    const std::string target = ResolveLink(fileName);
    const TEntry entry = EntryOf(target);
    std::string temp = ChangeExtension(target, "$$$");
    if (temp == target) temp += ".$$$";

    // A file changed a second time in this run keeps its first backup.
    const bool firstChange = !m_made.contains(entry);
    const std::string backup = firstChange ? BackupNameFor(target, entry) : std::string();

    m_writtenFolders.emplace(file.Info.st_dev, FolderOf(target));
    ReplaceContents(target, file, temp, firstChange ? &backup : nullptr, work.Text, work.Rest);
    m_replaced.insert({file.Info.st_dev, file.Info.st_ino});
    // A file of the tree that had the temporary name is gone: it is not visited.
    m_made[{entry.Device, entry.Folder, NameOf(temp)}] = TMade::Created;
    if (firstChange) m_made[{entry.Device, entry.Folder, NameOf(backup)}] = TMade::Created;
    m_made[entry] = TMade::Rewritten;
}

}  // namespace varnok
