#include "VarnokDirectory.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <system_error>

#include "ChangeList.h"
#include "engine/Engine.h"
#include "RunJob.h"
#include "RunJournal.h"
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

// The working text of contents; when kept, contents stays as it was.
TWorkingText WorkingTextOf(std::string& contents, bool lineNeutral, bool keepContents) {
    if (!keepContents) return MakeWorkingText(contents, lineNeutral);
    std::string copy = contents;
    return MakeWorkingText(copy, lineNeutral);
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
    Counts = {};
    if (m_host) m_host->SetRunCounts(Counts);
    SearchStrings.clear();
    ReplaceStrings.clear();
    ChangeCount = 0;
    const std::vector<std::string> none;
    std::vector<TChange> list = ReadChangeList(m_changes ? *m_changes : none);
    if (list.size() > static_cast<std::size_t>(kMaxChanges)) {
        throw std::runtime_error("The change list holds more than " + IntToText(kMaxChanges) + " changes");
    }
    m_lineNeutral = true;
    for (TChange& change : list) {
        m_lineNeutral = m_lineNeutral && IsLineNeutral(change.Search, change.Replace);
        SearchStrings.push_back(std::move(change.Search));
        ReplaceStrings.push_back(std::move(change.Replace));
    }
    ChangeCount = static_cast<int>(SearchStrings.size());
    m_prepared = std::make_shared<std::vector<TPreparedChange>>();
    for (std::size_t i = 0; i < SearchStrings.size(); ++i) {
        m_prepared->emplace_back(SearchStrings[i], ReplaceStrings[i], CaseSensitive,
                                 /*WildCards=*/true, /*ExpandReplacement=*/true, WholeWords,
                                 /*BalanceParens=*/true, SpanLines);
    }
    // The reader applies the changes too; the edit pass takes its result
    // unless the file changed since.
    m_readAhead.Prepare = nullptr;
    if (ChangeCount != 0) {
        m_readAhead.Prepare = [changes = std::shared_ptr<const std::vector<TPreparedChange>>(m_prepared),
                               lineNeutral = m_lineNeutral, journaled = Journal != nullptr,
                               keep = bool(OnFileChanged)](TReadFile& file) {
            if (NoneMayMatch(*changes, lineNeutral, file.Contents)) {
                file.Edited.emplace();
                file.EditedCount = 0;
                return;
            }
            if (journaled) file.ContentsDigest = DigestOf(file.Contents);
            file.Edited = WorkingTextOf(file.Contents, lineNeutral, keep);
            file.EditedCount = ApplyAll(*changes, file.Edited->Text);
        };
    }
    m_readAhead.Wanted = FileFilter;
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
    if (Journal) Journal->Sync();
}

bool TVarnokDirectory::ChangesMayApply() {
    if (StopFlag()) return false;
    PumpEvents();
    return true;
}

void TVarnokDirectory::ApplyChanges(std::string& text) {
    if (ChangesMayApply()) ReplacementCount += ApplyAll(*m_prepared, text);
}

void TVarnokDirectory::ApplyAgain(std::string& contents) {
    if (NoneMayMatch(*m_prepared, m_lineNeutral, contents)) return;
    TWorkingText work = WorkingTextOf(contents, m_lineNeutral, true);
    if (ApplyAll(*m_prepared, work.Text) == 0) return;
    MakeFileText(work);
    contents = work.Text + work.Rest;
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
    const auto passes = m_dryRunPasses.find(id);
    if (passes != m_dryRunPasses.end()) {
        // The reader's preparation used the contents up.
        if (read.Edited) contents = ReadFileToEdit(fileName).Contents;
        read.Edited.reset();
        for (int pass = 0; pass < passes->second; ++pass) ApplyAgain(contents);
    }

    // Told of a change, the observer is given the bytes from before it too.
    const bool told = static_cast<bool>(OnFileChanged);
    ReplacementCount = 0;
    TWorkingText work;
    if (read.Edited) {
        work = std::move(*read.Edited);
        if (ChangesMayApply()) ReplacementCount = read.EditedCount;
    } else if (!NoneMayMatch(*m_prepared, m_lineNeutral, contents)) {
        if (Journal) read.ContentsDigest = DigestOf(contents);
        work = WorkingTextOf(contents, m_lineNeutral, told);
        ApplyChanges(work.Text);
    }
    if (ReplacementCount != 0) {
        MakeFileText(work);
        if (DryRun) {
            ++m_dryRunPasses[id];
        } else {
            WriteBack(fileName, file, work, read.ContentsDigest);
        }
    }
    m_host->AppendReportLine(ReportLine(ReplacementCount, fileName));
    if (told && ReplacementCount != 0) {
        const std::string joined = work.Rest.empty() ? std::string() : work.Text + work.Rest;
        OnFileChanged({fileName, ReplacementCount, contents, work.Rest.empty() ? work.Text : joined});
    }
    ++Counts.Files;
    Counts.ChangedFiles += ReplacementCount != 0;
    Counts.Replacements += ReplacementCount;
    m_host->SetRunCounts(Counts);
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
                                 TWorkingText& work, const std::optional<TDigest>& before) {
    const std::string target = ResolveLink(fileName);
    const TEntry entry = EntryOf(target);
    const std::string temp = TemporaryNameFor(target);

    // A file changed a second time in this run keeps its first backup.
    const bool firstChange = !m_made.contains(entry);
    const std::string backup = firstChange ? BackupNameFor(target, entry) : std::string();

    m_writtenFolders.emplace(file.Info.st_dev, FolderOf(target));
    if (Journal) Record(target, entry, backup, before.value(), work);
    ReplaceContents(target, file, temp, firstChange ? &backup : nullptr, work.Text, work.Rest);
    m_replaced.insert({file.Info.st_dev, file.Info.st_ino});
    // A file of the tree that had the temporary name is gone: it is not visited.
    m_made[{entry.Device, entry.Folder, NameOf(temp)}] = TMade::Created;
    if (firstChange) m_made[{entry.Device, entry.Folder, NameOf(backup)}] = TMade::Created;
    m_made[entry] = TMade::Rewritten;
}

void TVarnokDirectory::Record(const std::string& target, const TEntry& entry,
                              const std::string& backup, const TDigest& before,
                              const TWorkingText& work) {
    if (!backup.empty()) {
        struct stat info {};
        const bool free = lstat(backup.c_str(), &info) != 0 && errno == ENOENT;
        m_firstBackups[entry] = {CanonicalName(backup), free};
    }
    const TFirstBackup& first = m_firstBackups.at(entry);
    Journal->Add({CanonicalName(target), first.Name, first.Made, before, DigestOf(work.Text, work.Rest)});
}

std::string TVarnokDirectory::CanonicalName(const std::string& path) {
    const std::string folder = FolderOf(path);
    if (folder != m_canonicalOf) {
        std::unique_ptr<char, decltype(&std::free)> resolved(realpath(folder.c_str(), nullptr), &std::free);
        if (!resolved) CannotOpen(path, errno);
        m_canonicalFolder = resolved.get();
        m_canonicalOf = folder;
    }
    return JoinPath(m_canonicalFolder, NameOf(path));
}

}  // namespace varnok
