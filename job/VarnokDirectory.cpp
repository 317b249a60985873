#include "VarnokDirectory.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <climits>
#include <memory>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "FileIo.h"
#include "RenameNames.h"
#include "SafeWrite.h"
#include "TextUtils.h"

namespace varnok {
namespace {

std::string Reason(int error) { return ": " + std::generic_category().message(error); }

// Up to this many rewritten files are synced one by one at the end of a run.
constexpr std::size_t kFilesSyncedAlone = 32;

// The folder's name with its links resolved, as the kernel knows it from the
// descriptor (realpath would look up every part of it again).
std::string CanonicalFolderOf(const TDescriptor& folder, const std::string& path) {
    const std::string self = "/proc/self/fd/" + IntToText(folder.Fd);
    char target[PATH_MAX];
    const ssize_t length = readlink(self.c_str(), target, sizeof target);
    if (length <= 0 || length == sizeof target || target[0] != '/') return path;
    return std::string(target, static_cast<std::size_t>(length));
}

// The journal's lines of one rewrite, each before the step it names. A
// worker writing new contents ahead of the edit pass only names temporaries;
// the edit pass gives it the file's entry before placing.
class TRewriteRecord : public TWriteRecord {
public:
    TRewriteRecord(TRunJournal& journal, std::string canonicalFolder)
        : m_journal(journal), m_folder(std::move(canonicalFolder)) {}
    TRewriteRecord(TRunJournal& journal, const TDescriptor& folder, const std::string& path)
        : m_journal(journal), m_descriptor(&folder), m_path(&path) {}

    TJournalEntry Entry;
    bool FirstChange = true;
    bool FirstBackupMade = false;  // of the file's first rewrite, for a later one

    void Temporary(const TPlace&, const std::string& name, const struct stat& file) override {
        if (m_folder.empty()) m_folder = CanonicalFolderOf(*m_descriptor, *m_path);
        m_journal.AddTemporary(JoinPath(m_folder, name), file);
    }
    struct stat KeepOlder(const TPlace& place, const std::string& name) override {
        return m_journal.KeepOlder(place.Folder->Fd, name, Entry.Backup);
    }
    void Replacing(bool backupMade) override {
        Entry.MadeBackup = FirstChange ? backupMade : FirstBackupMade;
        m_journal.Add(Entry);
    }
    void Skipped() override { m_journal.AddSkipped(Entry.File); }

private:
    TRunJournal& m_journal;
    std::string m_folder;
    const TDescriptor* m_descriptor = nullptr;
    const std::string* m_path = nullptr;
};

}  // namespace

std::size_t TVarnokDirectory::TEntryHash::operator()(const TEntry& e) const {
    return std::hash<std::string>()(e.Name) ^ (std::hash<ino_t>()(e.Folder) * 31) ^
           std::hash<dev_t>()(e.Device);
}

TVarnokDirectory::~TVarnokDirectory() {
    // Left only when an error ended the run; that error is what gets reported,
    // this makes sure that what was written still reaches the disk.
    m_readAhead.Stop();
    for (const auto& [device, folder] : m_writtenFolders) SyncFileSystem(folder.first->Fd);
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
    const std::vector<std::string> none;
    TMatchOptions match = Options.Match();
    match.SpanLines = SpanLines;
    m_changeSet = std::make_shared<const TChangeSet>(m_changes ? *m_changes : none, match, Options.EditBinary);
    SearchStrings = m_changeSet->Searches();
    ReplaceStrings = m_changeSet->Replacements();
    ChangeCount = static_cast<int>(SearchStrings.size());
    m_readAhead.Prepare = [this](TReadFile& file) { Prepare(file); };
    m_readAhead.Wanted = FileFilter;
    if (!Options.Exclusions.empty() || Options.GitIgnore) {
        m_readAhead.Filter = std::make_shared<TWalkFilter>(Options.Exclusions, Options.GitIgnore);
    }
    m_readAhead.WholeBinaryFiles = Options.EditBinary;
    m_readAhead.Jobs = Jobs;
    m_readAhead.Start(Paths, Masks, Recurse);
}

// Reads only what the walk fixed before it started: the change list, the
// options, the journal (which takes lines from any thread).
void TVarnokDirectory::Prepare(TReadFile& file) const {
    const bool kept = static_cast<bool>(OnFileChanged);
    const bool writes = !DryRun;
    if (EditFilter && !EditFilter(file.Name)) {
        file.Edit.emplace();  // visited for its name alone
        return;
    }
    const auto digest = [&file](std::string_view contents) { file.ContentsDigest = DigestOf(contents); };
    file.Edit = EditContents(file.Contents, *m_changeSet, kept, writes ? digest : std::function<void(std::string_view)>());
    if (!writes || file.Edit->Count == 0) return;
    TWorkingText& work = file.Edit->Work;
    if (Journal) file.NewDigest = DigestOf(work.Text, work.Rest);
    const TPlace place{file.FolderDescriptor, file.Folder->Path(), NameOf(file.Name)};
    std::optional<TRewriteRecord> record;
    if (Journal) record.emplace(*Journal, *file.FolderDescriptor, file.Folder->Path());
    file.NewContents = WriteNewContents(place, file.File, work.Text, work.Rest, record ? &*record : nullptr);
    if (!kept) std::exchange(work, {});  // frees: a move assignment may keep the buffers
}

std::vector<std::string> TVarnokDirectory::FilesOf(const std::string& folder,
                                                   const std::string& mask) {
    TWalkListing listing = m_readAhead.Listing(folder, mask);
    m_folder = std::move(listing.Folder);
    if (Options.RenameNames && listing.FirstOfFolder && listing.Error == 0 && m_folder) NoteFolder(m_folder);
    for (const auto& [name, reason] : listing.Skipped) Report(name, 0, reason, true);
    if (listing.Error != 0 && listing.FirstOfFolder) Report(folder, 0, ReasonText(listing.Error), true);
    return std::move(listing.Files);
}

std::vector<std::string> TVarnokDirectory::FoldersOf(const std::string& folder) {
    return m_readAhead.SubFoldersOf(folder);
}

void TVarnokDirectory::PostProcessProcedure() {
    m_readAhead.Stop();
    // After every pass: a later mask's pass still finds each file by its name.
    if (!StopFlag()) RenameAll();
    SearchStrings.clear();
    ReplaceStrings.clear();
    m_changeSet.reset();
    SyncWritten();
    if (Journal) Journal->End();
}

void TVarnokDirectory::SyncWritten() {
    // A few files and their folders alone; many, one sync of each whole file
    // system instead of one per file.
    const auto cannot = [](const std::string& folder) {
        throw std::runtime_error("Cannot write to the disk of " + folder + Reason(errno));
    };
    if (m_syncWholeFileSystems) {
        for (const auto& [device, folder] : m_writtenFolders) {
            if (!SyncFileSystem(folder.first->Fd)) cannot(folder.second);
        }
    } else {
        for (const auto& [file, folder] : m_writtenFiles) {
            if (!SyncFile(file->Fd)) cannot(folder);
        }
        for (const auto& [descriptor, folder] : m_changedFolders) {
            if (!SyncFolder(descriptor->Fd)) cannot(folder);
        }
    }
    m_writtenFolders.clear();
    m_writtenFiles.clear();
    m_changedFolders.clear();
    if (Journal) Journal->Sync();
}

bool TVarnokDirectory::ChangesMayApply() {
    if (StopFlag()) return false;
    PumpEvents();
    return true;
}

void TVarnokDirectory::ApplyChanges(std::string& text) {
    if (ChangesMayApply()) ReplacementCount += m_changeSet->ApplyAll(text);
}

void TVarnokDirectory::TheFileProcedure(const std::string& fileName) {
    if (StopFlag()) return;
    if (!m_made.empty()) {
        const auto made = m_made.find(EntryOf(*m_folder, fileName));
        if (made != m_made.end() && made->second == TMade::Created) return;
    }
    m_host->SetStatusText("Searching: " + fileName + " ...");
    PumpEvents();

    std::optional<TReadFile> read = m_readAhead.Take(fileName);
    if (!read && !(read = ReadOrSkip(fileName))) return;
    if (m_replaced.contains({read->File.Info.st_dev, read->File.Info.st_ino})) {
        // Read before this run replaced it (through another name, a hard
        // link, or in an earlier mask's pass): stale.
        read.reset();
        if (!(read = ReadOrSkip(fileName))) return;
    }
    TReadFile& file = *read;
    const TFileId id{file.File.Info.st_dev, file.File.Info.st_ino};
    const bool told = static_cast<bool>(OnFileChanged);
    const auto passes = m_dryRunPasses.find(id);
    if (passes != m_dryRunPasses.end()) {
        // The file as the earlier passes of a real run would have left it.
        file.Contents = ReadFileToEdit(file.Folder, fileName, Options.EditBinary).Contents;
        for (int pass = 0; pass < passes->second; ++pass) {
            TEdit again = EditContents(file.Contents, *m_changeSet, false);
            if (again.Count != 0) file.Contents = again.Work.Text + again.Work.Rest;
        }
        file.Edit = EditContents(file.Contents, *m_changeSet, told);
    }

    ReplacementCount = ChangesMayApply() ? file.Edit->Count : 0;
    if (ReplacementCount == 0) {
        const TEdit& edit = *file.Edit;
        Report(fileName, 0, edit.Unwritable, false, edit.LeftBinary && !StopFlag());
        if (!edit.Unwritable.empty() || StopFlag()) return;
        const std::string newName = NoteFile(file, fileName, file.File.Info);
        if (told && !newName.empty()) OnFileChanged({fileName, 0, {}, {}, {}, newName});
        return;
    }
    if (DryRun) {
        ++m_dryRunPasses[id];
        Report(fileName, ReplacementCount, {}, false);
        const std::string newName = NoteFile(file, fileName, file.File.Info);
        if (told) TellChanged(fileName, file, newName);
        return;
    }
    const TPlaced placed = Rewrite(fileName, file);
    Report(fileName, ReplacementCount, placed.Reason, false);
    std::string newName;
    if (placed.Replaced) newName = NoteFile(file, fileName, file.NewContents->Info());
    if (told) TellChanged(fileName, file, newName);
}

std::string TVarnokDirectory::NoteFile(const TReadFile& file, const std::string& fileName, const struct stat& info) {
    if (!Options.RenameNames) return {};
    const std::string name = NameOf(fileName);
    const std::string newName = ChangedName(*m_changeSet, name);
    const bool renamed = newName != name;
    if (renamed) {
        int depth = 1;
        for (const TFolder* folder = file.Folder.get(); folder->Parent(); folder = folder->Parent().get()) ++depth;
        const auto [at, added] = m_renameOf.try_emplace(EntryOf(*file.Folder, fileName), m_renames.size());
        if (added) m_renames.push_back({file.Folder, name, newName, info.st_dev, info.st_ino, depth, false});
        // A later pass that rewrote it again left another file under the name.
        m_renames[at->second].Device = info.st_dev;
        m_renames[at->second].Inode = info.st_ino;
    }
    // Also a file that keeps its name moves with a folder renamed above it.
    const std::string newPath =
        JoinPath(NewPathOf(file.Folder), renamed && NameRefusal(newName).empty() ? newName : name);
    return newPath == fileName ? std::string() : newPath;
}

void TVarnokDirectory::NoteFolder(const TFolderRef& folder) {
    if (!folder->Parent() || m_newPaths.contains(folder.get())) return;
    const std::string newName = ChangedName(*m_changeSet, folder->Name());
    const bool renamed = newName != folder->Name();
    m_newPaths[folder.get()] = {folder, JoinPath(NewPathOf(folder->Parent()),
                                                 renamed && NameRefusal(newName).empty() ? newName : folder->Name())};
    if (!renamed) return;
    int depth = 0;
    for (const TFolder* up = folder.get(); up->Parent(); up = up->Parent().get()) ++depth;
    m_renames.push_back({folder->Parent(), folder->Name(), newName, folder->Device(), folder->Inode(), depth, true});
}

std::string TVarnokDirectory::NewPathOf(const TFolderRef& folder) {
    const auto known = m_newPaths.find(folder.get());
    if (known != m_newPaths.end()) return known->second.second;
    if (!folder->Parent()) return folder->Path();
    return JoinPath(NewPathOf(folder->Parent()), folder->Name());
}

// Deepest first, so that every name is still spelled as the walk met it when
// its turn comes; in walk order within a depth.
void TVarnokDirectory::RenameAll() {
    std::stable_sort(m_renames.begin(), m_renames.end(),
                     [](const TRename& a, const TRename& b) { return a.Depth > b.Depth; });
    std::set<std::pair<TFileId, std::string>> planned;  // a dry run's new names, by folder
    for (const TRename& rename : m_renames) Rename(rename, planned);
    m_renames.clear();
    m_renameOf.clear();
    m_newPaths.clear();
}

void TVarnokDirectory::Rename(const TRename& rename, std::set<std::pair<TFileId, std::string>>& planned) {
    const std::string& folderPath = rename.Parent->Path();
    const std::string oldPath = JoinPath(folderPath, rename.OldName);
    if (RenameFilter && !RenameFilter(oldPath)) return;
    const std::string newPath = JoinPath(folderPath, rename.NewName);
    const auto skip = [&](const std::string& reason) { Report(oldPath, 0, reason, true); };
    if (const std::string refused = NameRefusal(rename.NewName); !refused.empty()) return skip(refused);
    int error = 0;
    const TDescriptorRef folder = rename.Parent->Open(&error);
    if (!folder) return skip(ReasonText(error));
    struct stat info {};
    if (fstatat(folder->Fd, rename.OldName.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return skip(errno == ENOENT ? ReasonText(kChangedDuringRun) : ReasonText(errno));
    }
    if (info.st_dev != rename.Device || info.st_ino != rename.Inode) return skip(ReasonText(kChangedDuringRun));
    const TFileId folderId{rename.Parent->Device(), rename.Parent->Inode()};
    if (fstatat(folder->Fd, rename.NewName.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 ||
        planned.contains({folderId, rename.NewName})) {
        return skip("exists already");
    }
    if (DryRun) {
        planned.insert({folderId, rename.NewName});
    } else {
        std::string canonicalFolder;
        if (Journal) {
            canonicalFolder = CanonicalFolderOf(*folder, folderPath);
            Journal->AddRename({JoinPath(canonicalFolder, rename.OldName), JoinPath(canonicalFolder, rename.NewName),
                                rename.Device, rename.Inode});
        }
        const std::string reason = RenameHeld(folder->Fd, rename.OldName, rename.NewName, rename.Device,
                                              rename.Inode, ReasonText(kChangedDuringRun));
        if (!reason.empty()) {
            if (Journal) Journal->AddSkipped(JoinPath(canonicalFolder, rename.OldName));
            return skip(reason);
        }
        m_writtenFolders.try_emplace(rename.Device, folder, folderPath);
        if (std::none_of(m_changedFolders.begin(), m_changedFolders.end(),
                         [&](const auto& changed) { return changed.first == folder; })) {
            m_changedFolders.emplace_back(folder, folderPath);
        }
    }
    m_host->AppendReportLine(PadRight("Renamed", 10, ' ') + oldPath + " -> " + newPath);
    if (OnRenamed) OnRenamed(oldPath, newPath, rename.Folder);
}

// UTF-16 text is shown as the UTF-8 it was edited as.
void TVarnokDirectory::TellChanged(const std::string& fileName, const TReadFile& file, const std::string& newName) {
    const TEdit& edit = *file.Edit;
    const TWorkingText& work = edit.Work;
    if (IsUtf16(edit.Kind)) {
        OnFileChanged(
            {fileName, ReplacementCount, edit.ShownBefore, edit.ShownAfter, EncodingName(edit.Kind), newName});
        return;
    }
    const std::string after = work.Rest.empty() ? std::string() : work.Text + work.Rest;
    OnFileChanged({fileName, ReplacementCount, file.Contents, work.Rest.empty() ? work.Text : after, {}, newName});
}

void TVarnokDirectory::Report(const std::string& name, long long replacements, const std::string& skipReason,
                              bool folder, bool binary) {
    if (binary) {
        m_host->AppendReportLine(PadRight("Binary", 10, ' ') + name);
    } else if (!skipReason.empty()) {
        m_host->AppendReportLine(PadRight("Skipped", 10, ' ') + name + ": " + skipReason);
        ++Counts.Skipped;
    } else {
        m_host->AppendReportLine(ReportLine(replacements, name));
        Counts.ChangedFiles += replacements != 0;
        Counts.Replacements += replacements;
    }
    Counts.Files += !folder;
    m_host->SetRunCounts(Counts);
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

TPlaced TVarnokDirectory::Rewrite(const std::string& fileName, TReadFile& read) {
    const TEntry entry = EntryOf(*read.Folder, fileName);
    // A file changed a second time in this run keeps its first backup.
    const auto first = m_firstRewrites.find(entry);
    const bool firstChange = first == m_firstRewrites.end();
    std::optional<std::string> backup;
    if (firstChange) backup = BackupNameFor(fileName, entry);

    std::optional<TRewriteRecord> record;
    if (Journal) {
        const std::string canonical = CanonicalName(read, fileName);
        record.emplace(*Journal, FolderOf(canonical));
        record->Entry = {canonical, firstChange ? CanonicalName(read, *backup) : first->second.Backup,
                         false, read.ContentsDigest.value(), read.NewDigest.value(),
                         IdentityOf(read.File.Info), IdentityOf(read.NewContents->Info())};
        record->FirstChange = firstChange;
        record->FirstBackupMade = !firstChange && first->second.BackupMade;
    }
    m_writtenFolders.try_emplace(read.File.Info.st_dev, read.FolderDescriptor, read.Folder->Path());
    const TPlace place{read.FolderDescriptor, read.Folder->Path(), NameOf(fileName)};
    const std::string backupName = backup ? NameOf(*backup) : std::string();
    // Held for the final sync; closed with it, or at once if not placed.
    TDescriptorRef written;
    if (!m_syncWholeFileSystems && m_writtenFiles.size() < kFilesSyncedAlone) {
        written = std::make_shared<const TDescriptor>(dup(read.NewContents->Descriptor()));
    }
    const TPlaced placed = PutInPlace(place, read.File, read.ContentsDigest.value(), *read.NewContents,
                                      backup ? &backupName : nullptr, record ? &*record : nullptr);
    if (!placed.Replaced) return placed;
    if (!written || written->Fd < 0) {
        m_syncWholeFileSystems = true;
        m_writtenFiles.clear();
        m_changedFolders.clear();
    } else {
        m_writtenFiles.emplace_back(std::move(written), read.Folder->Path());
        if (std::none_of(m_changedFolders.begin(), m_changedFolders.end(),
                         [&](const auto& folder) { return folder.first == read.FolderDescriptor; })) {
            m_changedFolders.emplace_back(read.FolderDescriptor, read.Folder->Path());
        }
    }
    m_replaced.insert({read.File.Info.st_dev, read.File.Info.st_ino});
    m_made[entry] = TMade::Rewritten;
    if (firstChange) {
        m_made[EntryOf(*read.Folder, *backup)] = TMade::Created;
        m_firstRewrites[entry] = {CanonicalName(read, *backup), record ? record->Entry.MadeBackup : false};
    }
    return placed;
}

// The name with its folder's links resolved, from the folder held: the same
// file wherever an undo runs from.
std::string TVarnokDirectory::CanonicalName(const TReadFile& read, const std::string& path) {
    if (read.Folder.get() != m_canonicalOf) {
        m_canonicalFolder = CanonicalFolderOf(*read.FolderDescriptor, read.Folder->Path());
        m_canonicalOf = read.Folder.get();
    }
    return JoinPath(m_canonicalFolder, NameOf(path));
}

std::optional<TReadFile> TVarnokDirectory::ReadOrSkip(const std::string& fileName) {
    try {
        return m_readAhead.ReadAndPrepare(m_folder, fileName);
    } catch (const TChangedDuringRun&) {
        Report(fileName, 0, ReasonText(kChangedDuringRun), false);
        return std::nullopt;
    }
}

}  // namespace varnok
