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

// Rewrites the edit pass hands each worker at a time, and the bytes they may
// hold in all: enough to keep every core busy, little enough not to hold much
// memory, and for a Stop to end the run soon (the rewrites in hand are done).
constexpr std::size_t kWritesPerWorker = 2;
constexpr std::size_t kBytesInHand = 64u << 20;

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
    m_readAhead.Stop();
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
    // The workers apply the changes too; the edit pass takes its result
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
    m_writes.SetUp(m_readAhead, Journal);
}

std::vector<std::string> TVarnokDirectory::FilesOf(const std::string& folder,
                                                   const std::string& mask) {
    return m_readAhead.Listing(folder, mask);
}

std::vector<std::string> TVarnokDirectory::FoldersOf(const std::string& folder) {
    return m_readAhead.SubFoldersOf(folder);
}

void TVarnokDirectory::PostProcessProcedure() {
    FinishWrites();
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
    try {
        VisitFile(fileName);
    } catch (...) {
        // The rewrites in hand end first and are reported; a failure among
        // them came earlier in the walk, and it is the one raised.
        FinishWrites();
        throw;
    }
}

void TVarnokDirectory::VisitFile(const std::string& fileName) {
    // A Stop seen while the lines of earlier files went out ends the walk
    // before this file.
    ReportWritten();
    if (StopFlag()) return;
    if (!m_made.empty()) {
        const auto made = m_made.find(EntryOf(fileName));
        if (made != m_made.end() && made->second == TMade::Created) return;
    }
    m_host->SetStatusText("Searching: " + fileName + " ...");
    PumpEvents();

    std::optional<TReadFile> readAhead = m_readAhead.Take(fileName);
    TReadFile read = readAhead ? std::move(*readAhead) : ReadFileToEdit(fileName);
    if (m_replaced.contains({read.File.Info.st_dev, read.File.Info.st_ino})) {
        // Read before this run replaced it (through another name): stale.
        FinishWrites();
        read = ReadFileToEdit(fileName);
    }
    const TFileId id{read.File.Info.st_dev, read.File.Info.st_ino};
    std::string& contents = read.Contents;
    const auto passes = m_dryRunPasses.find(id);
    if (passes != m_dryRunPasses.end()) {
        // The worker's preparation used the contents up.
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
    std::string before, after;  // the observer's, when the rewrite takes the bytes
    if (ReplacementCount != 0) {
        MakeFileText(work);
        if (DryRun) {
            ++m_dryRunPasses[id];
        } else {
            if (told) {
                before = contents;
                after = work.Text + work.Rest;
            }
            WriteBack(fileName, std::move(read), std::move(work));
        }
    }
    m_unreported.push_back({ReportLine(ReplacementCount, fileName), ReplacementCount, m_writes.Added()});
    if (!told || ReplacementCount == 0) {
        ReportWritten();
        return;
    }
    // The observer's output goes right after the file's report line.
    FinishWrites();
    if (DryRun) {
        if (!work.Rest.empty()) after = work.Text + work.Rest;
        OnFileChanged({fileName, ReplacementCount, contents, work.Rest.empty() ? work.Text : after});
    } else {
        OnFileChanged({fileName, ReplacementCount, before, after});
    }
}

void TVarnokDirectory::ReportWritten() {
    if (m_unreported.empty()) return;
    const std::size_t done = m_writes.Done();
    while (!m_unreported.empty() && m_unreported.front().WritesBefore <= done) {
        const TUnreported& file = m_unreported.front();
        m_host->AppendReportLine(file.Line);
        ++Counts.Files;
        Counts.ChangedFiles += file.Replacements != 0;
        Counts.Replacements += file.Replacements;
        m_unreported.pop_front();
        m_host->SetRunCounts(Counts);
    }
}

void TVarnokDirectory::FinishWrites() {
    try {
        m_writes.WaitForRoom(0, 0);
    } catch (...) {
        ReportWritten();
        throw;
    }
    ReportWritten();
}

bool TVarnokDirectory::InHand(const std::string& name) const {
    const auto found = m_namesInHand.find(name);
    return found != m_namesInHand.end() && found->second > m_writes.Done();
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

void TVarnokDirectory::WriteBack(const std::string& fileName, TReadFile read, TWorkingText work) {
    const std::string target = ResolveLink(fileName);
    const TEntry entry = EntryOf(target);
    std::string temp = TemporaryNameFor(target);
    // Names a rewrite in hand still uses (a.txt and a.doc share a.$$$, two
    // names may lead to one file) wait until it is done.
    if (InHand(target) || InHand(temp)) FinishWrites();

    // A file changed a second time in this run keeps its first backup.
    const bool firstChange = !m_made.contains(entry);
    std::optional<std::string> backup;
    if (firstChange) backup = BackupNameFor(target, entry);

    m_writtenFolders.emplace(read.File.Info.st_dev, FolderOf(target));
    std::optional<TJournalEntry> journaled;
    if (Journal) journaled = Record(entry, target, backup, read.ContentsDigest.value());
    m_replaced.insert({read.File.Info.st_dev, read.File.Info.st_ino});
    // A file of the tree that had the temporary name is gone: it is not visited.
    m_made[{entry.Device, entry.Folder, NameOf(temp)}] = TMade::Created;
    if (backup) m_made[{entry.Device, entry.Folder, NameOf(*backup)}] = TMade::Created;
    m_made[entry] = TMade::Rewritten;
    m_namesInHand[target] = m_namesInHand[temp] = m_writes.Added() + 1;

    const std::size_t bytes = read.Contents.size() + work.Text.size() + work.Rest.size();
    m_writes.WaitForRoom(kWritesPerWorker * m_readAhead.Workers() - 1,
                         kBytesInHand > bytes ? kBytesInHand - bytes : 0);
    m_writes.Add({target, std::move(read), std::move(work), std::move(temp), std::move(backup),
                  std::move(journaled)}, bytes);
}

TJournalEntry TVarnokDirectory::Record(const TEntry& entry, const std::string& target,
                                       const std::optional<std::string>& backup, const TDigest& before) {
    if (backup) {
        struct stat info {};
        const bool free = lstat(backup->c_str(), &info) != 0 && errno == ENOENT;
        m_firstBackups[entry] = {CanonicalName(*backup), free};
    }
    const TFirstBackup& first = m_firstBackups.at(entry);
    return {CanonicalName(target), first.Name, first.Made, before, {}};
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
