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
    for (const auto& [device, folder] : m_writtenFolders) syncfs(folder.first->Fd);
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
                               lineNeutral = m_lineNeutral, keep = bool(OnFileChanged)](TReadFile& file) {
            if (NoneMayMatch(*changes, lineNeutral, file.Contents)) {
                file.Edited.emplace();
                file.EditedCount = 0;
                return;
            }
            file.ContentsDigest = DigestOf(file.Contents);
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
    TWalkListing listing = m_readAhead.Listing(folder, mask);
    m_folder = std::move(listing.Folder);
    if (listing.Error != 0 && listing.FirstOfFolder) ReportSkipped(folder, ReasonText(listing.Error), true);
    return std::move(listing.Files);
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
    // One sync of a whole file system instead of one per file written.
    for (const auto& [device, folder] : m_writtenFolders) {
        if (syncfs(folder.first->Fd) != 0) {
            throw std::runtime_error("Cannot write to the disk of " + folder.second + Reason(errno));
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
        const auto made = m_made.find(EntryOf(*m_folder, fileName));
        if (made != m_made.end() && made->second == TMade::Created) return;
    }
    m_host->SetStatusText("Searching: " + fileName + " ...");
    PumpEvents();

    std::optional<TReadFile> readAhead = m_readAhead.Take(fileName);
    if (!readAhead && !(readAhead = ReadOrSkip(fileName))) return;
    if (m_replaced.contains({readAhead->File.Info.st_dev, readAhead->File.Info.st_ino})) {
        // Read before this run replaced it (through another name, a hard
        // link, or in an earlier mask's pass): stale.
        FinishWrites();
        if (!(readAhead = ReadOrSkip(fileName))) return;
    }
    TReadFile read = std::move(*readAhead);
    const TFileId id{read.File.Info.st_dev, read.File.Info.st_ino};
    std::string& contents = read.Contents;
    const auto passes = m_dryRunPasses.find(id);
    if (passes != m_dryRunPasses.end()) {
        // The worker's preparation used the contents up.
        if (read.Edited) contents = ReadFileToEdit(read.Folder, fileName).Contents;
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
        read.ContentsDigest = DigestOf(contents);
        work = WorkingTextOf(contents, m_lineNeutral, told);
        ApplyChanges(work.Text);
    }
    std::string before, after;  // the observer's, when the rewrite takes the bytes
    std::shared_ptr<const TRewriteOutcome> outcome;
    if (ReplacementCount != 0) {
        MakeFileText(work);
        if (DryRun) {
            ++m_dryRunPasses[id];
        } else {
            if (told) {
                before = contents;
                after = work.Text + work.Rest;
            }
            outcome = WriteBack(fileName, std::move(read), std::move(work));
        }
    }
    m_unreported.push_back({fileName, ReplacementCount, m_writes.Added(), outcome, {}});
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
        const TUnreported& entry = m_unreported.front();
        std::string reason = entry.SkipReason;
        if (entry.Outcome && !entry.Outcome->Placed) reason = entry.Outcome->SkipReason;
        if (!reason.empty()) {
            m_host->AppendReportLine(PadRight("Skipped", 10, ' ') + entry.Name + ": " + reason);
            ++Counts.Skipped;
        } else {
            m_host->AppendReportLine(ReportLine(entry.Replacements, entry.Name));
            Counts.ChangedFiles += entry.Replacements != 0;
            Counts.Replacements += entry.Replacements;
        }
        Counts.Files += !entry.Folder;
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

TVarnokDirectory::TEntry TVarnokDirectory::EntryOf(const TFolder& folder, const std::string& path) {
    return {folder.Device(), folder.Inode(), NameOf(path)};
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

std::shared_ptr<const TRewriteOutcome> TVarnokDirectory::WriteBack(const std::string& fileName, TReadFile read,
                                                                   TWorkingText work) {
    const TEntry entry = EntryOf(*read.Folder, fileName);
    // A name a rewrite in hand still uses (two visits of one file) waits until it is done.
    if (InHand(fileName)) FinishWrites();

    // A file changed a second time in this run keeps its first backup,
    // unless its first rewrite was left out.
    const auto first = m_firstOutcomes.find(entry);
    const bool firstChange = first == m_firstOutcomes.end() || !first->second.Outcome->Placed;
    std::optional<std::string> backup;
    if (firstChange) {
        if (first != m_firstOutcomes.end()) m_made.erase(EntryOf(*read.Folder, first->second.Backup));
        backup = BackupNameFor(fileName, entry);
    }
    auto outcome = std::make_shared<TRewriteOutcome>();
    if (firstChange) m_firstOutcomes[entry] = {CanonicalName(read, *backup), outcome};
    const TFirstRewrite& firstRewrite = m_firstOutcomes.at(entry);

    m_writtenFolders.try_emplace(read.File.Info.st_dev, read.FolderDescriptor, read.Folder->Path());
    std::optional<TJournalEntry> journaled;
    if (Journal) journaled = TJournalEntry{CanonicalName(read, fileName), firstRewrite.Backup, false,
                                           read.ContentsDigest.value(), {}};
    m_replaced.insert({read.File.Info.st_dev, read.File.Info.st_ino});
    if (backup) m_made[EntryOf(*read.Folder, *backup)] = TMade::Created;
    m_made[entry] = TMade::Rewritten;
    m_namesInHand[fileName] = m_writes.Added() + 1;

    const std::size_t bytes = read.Contents.size() + work.Text.size() + work.Rest.size();
    m_writes.WaitForRoom(kWritesPerWorker * m_readAhead.Workers() - 1,
                         kBytesInHand > bytes ? kBytesInHand - bytes : 0);
    std::optional<std::string> backupName;
    if (backup) backupName = NameOf(*backup);
    m_writes.Add({fileName, std::move(read), std::move(work), std::move(backupName), std::move(journaled),
                  outcome, firstChange ? nullptr : firstRewrite.Outcome},
                 bytes);
    return outcome;
}

// The name with its folder's links resolved, from the folder held: the same
// file wherever an undo runs from.
std::string TVarnokDirectory::CanonicalName(const TReadFile& read, const std::string& path) {
    if (read.Folder.get() != m_canonicalOf) {
        const std::string self = "/proc/self/fd/" + IntToText(read.FolderDescriptor->Fd);
        std::unique_ptr<char, decltype(&std::free)> resolved(realpath(self.c_str(), nullptr), &std::free);
        m_canonicalFolder = resolved ? resolved.get() : read.Folder->Path();
        m_canonicalOf = read.Folder.get();
    }
    return JoinPath(m_canonicalFolder, NameOf(path));
}

std::optional<TReadFile> TVarnokDirectory::ReadOrSkip(const std::string& fileName) {
    try {
        return ReadFileToEdit(m_folder, fileName);
    } catch (const TChangedDuringRun&) {
        ReportSkipped(fileName, ReasonText(kChangedDuringRun), false);
        return std::nullopt;
    }
}

void TVarnokDirectory::ReportSkipped(const std::string& name, const std::string& reason, bool folder) {
    m_unreported.push_back({name, 0, m_writes.Added(), nullptr, reason, folder});
    ReportWritten();
}

}  // namespace varnok
