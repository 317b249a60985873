#include "RunUndo.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <condition_variable>
#include <exception>
#include <filesystem>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "FileIo.h"
#include "HeldFolder.h"
#include "MyDirectory.h"
#include "RenameNames.h"
#include "RunHistory.h"
#include "RunJob.h"
#include "RunJournal.h"
#include "SafeWrite.h"
#include "TextUtils.h"
#include "WorkerPool.h"

namespace varnok {
namespace {

constexpr unsigned kUndoThreads = 8;

struct TFileToUndo {
    std::string File, Backup;
    bool MadeBackup = false;       // by the file's first change
    TDigest Before;                // what the file held before the run
    std::optional<TFileIdentity> Old;  // the file the first change read
    std::vector<TDigest> Written;      // what each change of the run wrote
    std::vector<TFileIdentity> Placed;
    std::string KeptOlder;  // where the older backup the first change replaced was kept, if any
    // Hidden names of its own a killed run may have left beside it.
    std::vector<TTemporary> Temporaries;
};

struct TUndoPlan {
    std::vector<TFileToUndo> Files;
    std::vector<TTemporary> Unclaimed;  // temporaries named for no file of the run
};

constexpr std::size_t kTemporarySuffix = std::string_view(".RANDOM.$$$").size();

// The file ".NAME.RANDOM.$$$" was made for: NAME in its folder; "" for a
// name of another form.
std::string FileOfTemporary(const std::string& temporary) {
    const std::string name = NameOf(temporary);
    if (name.size() <= kTemporarySuffix + 1) return {};
    return JoinPath(FolderOf(temporary), name.substr(1, name.size() - 1 - kTemporarySuffix));
}

// Latest change first, each file once, with every state the run left it in.
// The names are moved out of the journal's entries.
TUndoPlan FilesToUndo(TJournal& journal) {
    TUndoPlan plan;
    std::vector<TFileToUndo>& files = plan.Files;
    files.reserve(journal.Entries.size());  // never moved: seen's keys are their names
    std::unordered_map<std::string_view, std::size_t> seen;
    seen.reserve(journal.Entries.size());
    for (auto entry = journal.Entries.rbegin(); entry != journal.Entries.rend(); ++entry) {
        auto at = seen.find(entry->File);
        if (at == seen.end()) {
            files.push_back({std::move(entry->File), {}, false, {}, {}, {}, {}, {}, {}});
            at = seen.emplace(files.back().File, files.size() - 1).first;
        }
        TFileToUndo& file = files[at->second];
        file.Backup = std::move(entry->Backup);  // in the end the first change's
        file.MadeBackup = entry->MadeBackup;
        file.Before = entry->Before;
        file.Old = entry->Read;
        file.Written.push_back(entry->After);
        if (entry->Placed) file.Placed.push_back(*entry->Placed);
    }
    for (TFileToUndo& file : files) {
        if (file.MadeBackup) continue;
        for (const TKeptBackup& kept : journal.KeptBackups) {
            if (kept.Backup == file.Backup) file.KeptOlder = kept.Kept;
        }
    }
    for (const TTemporary& temporary : journal.Temporaries) {
        const auto file = seen.find(FileOfTemporary(temporary.Name));
        if (file == seen.end()) {
            plan.Unclaimed.push_back(temporary);
        } else {
            files[file->second].Temporaries.push_back(temporary);
        }
    }
    return plan;
}

// What a name holds, as far as the undo is concerned.
enum class THolds { Nothing, Other, Old, RunOutput };

struct TLook {
    THolds Holds = THolds::Nothing;
    struct stat Info {};
};

std::optional<TDigest> DigestOfFile(int folder, const std::string& leaf, const std::string& name) {
    const int fd = openat(folder, leaf.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    const TDescriptor closed(fd);
    std::string data;
    if (!ReadWhole(fd, data, 0)) CannotOpen(name, errno);
    return DigestOf(data);
}

// Judged by identity where the journal has one and the modification time is
// old enough to trust; else by the bytes. leaf: the name within folder.
TLook Look(int folder, const std::string& leaf, const std::string& name, const TFileToUndo& file) {
    TLook look;
    if (fstatat(folder, leaf.c_str(), &look.Info, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT && errno != ENOTDIR) CannotOpen(name, errno);
        return look;
    }
    look.Holds = THolds::Other;
    if (!S_ISREG(look.Info.st_mode)) return look;
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    if (!TooRecentToTrust(look.Info, now)) {
        const TFileIdentity identity = IdentityOf(look.Info);
        if (file.Old && identity == *file.Old) {
            look.Holds = THolds::Old;
            return look;
        }
        for (const TFileIdentity& placed : file.Placed) {
            if (identity == placed) {
                look.Holds = THolds::RunOutput;
                return look;
            }
        }
    }
    const std::uint64_t size = static_cast<std::uint64_t>(look.Info.st_size);
    bool mayHold = size == file.Before.Size;
    for (const TDigest& written : file.Written) mayHold = mayHold || size == written.Size;
    if (!mayHold) return look;
    const std::optional<TDigest> bytes = DigestOfFile(folder, leaf, name);
    if (!bytes) return look;
    if (*bytes == file.Before) {
        look.Holds = THolds::Old;
    } else {
        for (const TDigest& written : file.Written) {
            if (*bytes == written) look.Holds = THolds::RunOutput;
        }
    }
    return look;
}

// What the undo of a file found before touching anything, on any thread.
struct TSeen {
    TLook File, Backup;
    std::exception_ptr Error;
};

TSeen Inspect(const TFileToUndo& file, int folder) {
    TSeen seen;
    try {
        seen.File = Look(folder, NameOf(file.File), file.File, file);
        if ((seen.File.Holds == THolds::Old || seen.File.Holds == THolds::RunOutput) &&
            FolderOf(file.Backup) == FolderOf(file.File)) {
            seen.Backup = Look(folder, NameOf(file.Backup), file.Backup, file);
        }
    } catch (...) {
        seen.Error = std::current_exception();
    }
    return seen;
}

[[noreturn]] void CannotRestore(int error) {
    throw std::runtime_error("cannot be restored: " + std::generic_category().message(error));
}

bool StillIs(int folder, const std::string& name, const struct stat& seen) {
    struct stat now {};
    return fstatat(folder, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 && IdentityOf(now) == IdentityOf(seen);
}

// The older backup the run replaced, back under its name from where the
// journal kept it: moved when it is on the same file system, else copied.
// replace: the name holds the run's link of the old file, which it takes
// the place of; else the name must be free.
void PutOlderBack(int folder, const std::string& backupName, const std::string& kept, bool replace) {
    if (kept.empty()) return;
    struct stat info {};
    if (lstat(kept.c_str(), &info) != 0) return;  // put back by an earlier undo
    const unsigned flags = replace ? 0 : RENAME_NOREPLACE;
    if (renameat2(AT_FDCWD, kept.c_str(), folder, backupName.c_str(), flags) == 0) return;
    if (errno != EXDEV) CannotRestore(errno);
    const int from = open(kept.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (from < 0) CannotRestore(errno);
    const TDescriptor closeFrom(from);
    const int to = openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, info.st_mode & 07777);
    if (to < 0) CannotRestore(errno);
    const TDescriptor closeTo(to);
    const timespec times[2] = {info.st_atim, info.st_mtim};
    if (!CopyInto(from, info, to) || futimens(to, times) != 0) CannotRestore(errno);
    const std::string self = "/proc/self/fd/" + std::to_string(to);
    if (replace) unlinkat(folder, backupName.c_str(), 0);
    if (linkat(AT_FDCWD, self.c_str(), folder, backupName.c_str(), AT_SYMLINK_FOLLOW) != 0) CannotRestore(errno);
}

// The folders of the files restored, a few held at a time (files come
// grouped by folder), from any thread; and one per file system, to sync. None
// when the folder is gone.
class TFolders {
public:
    TDescriptorRef Of(const std::string& file) {
        const std::string folder = FolderOf(file);
        std::lock_guard lock(m_mutex);
        for (const auto& [name, descriptor] : m_held) {
            if (name == folder) return descriptor;
        }
        const TFolderRef named = TFolder::OpenNamed(folder);
        int error = 0;
        TDescriptorRef descriptor = named->Open(&error);
        if (!descriptor && (error == kChangedDuringRun || error == ENOENT || error == ENOTDIR)) return nullptr;
        if (!descriptor) CannotRestore(error);
        m_toSync.try_emplace(named->Device(), descriptor, folder);
        if (m_held.size() == kHeld) m_held.pop_front();
        m_held.emplace_back(folder, descriptor);
        return descriptor;
    }
    // Also when an error ends the undo, so that what was restored reaches the disk.
    ~TFolders() {
        for (const auto& [device, folder] : m_toSync) SyncFileSystem(folder.first->Fd);
    }
    void Sync() {
        for (const auto& [device, folder] : m_toSync) {
            if (!SyncFileSystem(folder.first->Fd)) throw std::runtime_error("Cannot write to the disk of " + folder.second);
        }
        m_toSync.clear();
    }

private:
    static constexpr std::size_t kHeld = 16;
    std::mutex m_mutex;
    std::deque<std::pair<std::string, TDescriptorRef>> m_held;
    std::map<dev_t, std::pair<TDescriptorRef, std::string>> m_toSync;
};

enum class TUndone { Restored, Changed, Deleted, BackupMissing, BackupChanged };

// Puts the file's old inode back under its name, by rename: no space is
// needed, and the old file comes back with its owner, permissions, ACL,
// attributes, links and times. Everything is checked again as it happens:
// the exchange is undone unless both names held what was seen.
TUndone Restore(const TFileToUndo& file, const TSeen& seen, int folder) {
    if (seen.Error) std::rethrow_exception(seen.Error);
    if (seen.File.Holds == THolds::Nothing) return TUndone::Deleted;
    if (seen.File.Holds == THolds::Other) return TUndone::Changed;
    const std::string name = NameOf(file.File), backup = NameOf(file.Backup);
    if (FolderOf(file.Backup) != FolderOf(file.File)) return TUndone::BackupMissing;
    if (seen.File.Holds == THolds::Old) {
        // Restored before, or never rewritten: only what the run left beside
        // it, its backup or (killed between the exchange and the removal)
        // what it wrote.
        const bool runs = seen.Backup.Holds == THolds::RunOutput || (seen.Backup.Holds == THolds::Old && file.MadeBackup);
        if (runs && StillIs(folder, backup, seen.Backup.Info) && unlinkat(folder, backup.c_str(), 0) != 0) {
            CannotRestore(errno);
        }
        if (!file.MadeBackup && seen.Backup.Holds != THolds::Other) {
            PutOlderBack(folder, backup, file.KeptOlder, seen.Backup.Holds == THolds::Old);
        }
        return TUndone::Restored;
    }
    if (seen.Backup.Holds == THolds::Nothing) return TUndone::BackupMissing;
    if (seen.Backup.Holds != THolds::Old) return TUndone::BackupChanged;
    if (file.Old && seen.Backup.Info.st_ino != file.Old->Inode) {
        // A copy (no hard links there): it takes the old file's times.
        const timespec times[2] = {{0, UTIME_OMIT}, file.Old->Modified};
        if (utimensat(folder, backup.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) CannotRestore(errno);
    }
    if (renameat2(folder, backup.c_str(), folder, name.c_str(), RENAME_EXCHANGE) == 0) {
        // What is removed must be what the run wrote: unless another program
        // wrote the file between the look and the exchange, it is.
        if (!StillIs(folder, backup, seen.File.Info)) {
            renameat2(folder, backup.c_str(), folder, name.c_str(), RENAME_EXCHANGE);
            return TUndone::Changed;
        }
        if (unlinkat(folder, backup.c_str(), 0) != 0) CannotRestore(errno);
    } else {
        if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) CannotRestore(errno);
        // No exchange in this file system: the check stands for it.
        if (!StillIs(folder, name, seen.File.Info)) return TUndone::Changed;
        if (renameat(folder, backup.c_str(), folder, name.c_str()) != 0) CannotRestore(errno);
    }
    if (!file.MadeBackup) PutOlderBack(folder, backup, file.KeptOlder, false);
    return TUndone::Restored;
}

// What a killed run or undo may have left under a hidden temporary name
// (".NAME.RANDOM.$$$") is removed while the name still holds the inode made
// for it, or bytes the run read or wrote for NAME (file, when known): a kill
// between an exchange and the removal leaves the file swapped out there, kept
// in the backup, or the run's own output that the undo takes back.
void RemoveTemporary(int folder, const std::string& leaf, const TTemporary& temporary, const TFileToUndo* file) {
    struct stat info {};
    if (fstatat(folder, leaf.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode)) return;
    bool remove = info.st_dev == temporary.Device && info.st_ino == temporary.Inode;
    if (!remove && file) {
        const THolds holds = Look(folder, leaf, temporary.Name, *file).Holds;
        remove = holds == THolds::Old || holds == THolds::RunOutput;
    }
    if (remove && unlinkat(folder, leaf.c_str(), 0) != 0 && errno != ENOENT) CannotDelete(temporary.Name, errno);
}

std::string UndoReportLine(TUndone undone, const std::string& fileName);
std::string KeptLine(const std::string& fileName, const std::string& reason);

// Undoes the files on the workers and on the undo's own thread, each file by
// one thread, at most kFilesAhead ahead of the report, which the undo's
// thread makes in order. The files and backups of one run are distinct
// names, so restoring one does not change another.
class TRestorer : public TWorkerPool::TSource {
public:
    TRestorer(const std::vector<TFileToUndo>& files, TFolders& folders)
        : m_files(files), m_folders(folders), m_lines(files.size()) {}
    void SetPool(TWorkerPool* pool) { m_pool = pool; }

    // The report line of the next file, undone by a worker or now; none when
    // a stop left no file in hand.
    std::optional<std::string> Next() {
        std::unique_lock lock(m_mutex);
        const std::size_t next = m_taken;
        if (next == m_claimed) {
            if (m_stopped || next == m_files.size()) return std::nullopt;
            ++m_claimed;
            lock.unlock();
            std::string line = Undo(m_files[next]);
            lock.lock();
            m_lines[next] = std::move(line);
        } else {
            m_waitingFor = next;
            m_ready.wait(lock, [&] { return m_lines[next].has_value(); });
            m_waitingFor = kNone;
        }
        std::string line = std::move(*m_lines[next]);
        m_lines[next].reset();
        ++m_taken;
        const bool wake = m_claimed - m_taken <= kFilesAhead / 2;
        lock.unlock();
        if (wake && m_pool) m_pool->Wake();
        return line;
    }
    // No file is started after this; those in hand are finished.
    void Stop() {
        std::lock_guard lock(m_mutex);
        m_stopped = true;
    }

    // A few files at a time, so that the threads seldom meet on the lock.
    bool WorkOnce() override {
        std::unique_lock lock(m_mutex);
        if (m_stopped || m_claimed == m_files.size() || m_claimed >= m_taken + kFilesAhead) return false;
        const std::size_t first = m_claimed;
        const std::size_t end = std::min({first + kFilesClaimed, m_files.size(), m_taken + kFilesAhead});
        m_claimed = end;
        lock.unlock();
        for (std::size_t next = first; next < end; ++next) {
            std::string line = Undo(m_files[next]);
            lock.lock();
            m_lines[next] = std::move(line);
            const bool waited = m_waitingFor == next;
            lock.unlock();
            if (waited) m_ready.notify_one();
        }
        return true;
    }

private:
    static constexpr std::size_t kFilesAhead = 64, kFilesClaimed = 8;
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

    // One file that cannot be restored stops nothing else.
    std::string Undo(const TFileToUndo& file) {
        try {
            const TDescriptorRef folder = m_folders.Of(file.File);
            if (!folder) return UndoReportLine(TUndone::Deleted, file.File);
            const TUndone undone = Restore(file, Inspect(file, folder->Fd), folder->Fd);
            for (const TTemporary& temporary : file.Temporaries) {
                RemoveTemporary(folder->Fd, NameOf(temporary.Name), temporary, &file);
            }
            return UndoReportLine(undone, file.File);
        } catch (const std::exception& error) {
            return KeptLine(file.File, error.what());
        }
    }

    const std::vector<TFileToUndo>& m_files;
    TFolders& m_folders;
    TWorkerPool* m_pool = nullptr;
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::vector<std::optional<std::string>> m_lines;  // done and not yet reported
    std::size_t m_claimed = 0, m_taken = 0;
    std::size_t m_waitingFor = kNone;
    bool m_stopped = false;
};

// Temporaries named for no file of the run: most are gone, and one listing
// of each folder says which are left.
void RemoveUnclaimed(const std::vector<TTemporary>& temporaries) {
    std::unordered_map<std::string, std::unordered_set<std::string>> present;
    for (const TTemporary& temporary : temporaries) {
        const auto [names, added] = present.try_emplace(FolderOf(temporary.Name));
        if (!added) continue;
        std::error_code error;
        for (std::filesystem::directory_iterator it(names->first, error), end; !error && it != end; it.increment(error)) {
            const std::string name = it->path().filename().string();
            if (name.starts_with('.') && name.ends_with(".$$$")) names->second.insert(name);
        }
    }
    for (const TTemporary& temporary : temporaries) {
        if (present[FolderOf(temporary.Name)].contains(NameOf(temporary.Name))) {
            RemoveTemporary(AT_FDCWD, temporary.Name, temporary, nullptr);
        }
    }
}

std::string KeptLine(const std::string& fileName, const std::string& reason) {
    return PadRight("Kept", 10, ' ') + fileName + ": " + reason;
}

std::string UndoReportLine(TUndone undone, const std::string& fileName) {
    if (undone == TUndone::Restored) return PadRight("Restored", 10, ' ') + fileName;
    return KeptLine(fileName, undone == TUndone::Changed         ? "changed since the run"
                              : undone == TUndone::Deleted       ? "deleted since the run"
                              : undone == TUndone::BackupMissing ? "backup missing"
                                                                 : "backup changed since the run");
}

// The run's renames taken back, latest first, before any contents: the
// journal names files as they were spelled before the renames. A line each.
void UndoRenames(const std::vector<TJournalRename>& renames, TRunHost& host, TRunCounts& counts) {
    for (auto rename = renames.rbegin(); rename != renames.rend() && !StopFlag(); ++rename) {
        const std::string folderName = FolderOf(rename->To);
        std::string reason;
        const int folder = open(folderName.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (folder < 0) {
            reason = errno == ENOENT ? "deleted since the run" : "cannot be restored: " + ReasonText(errno);
        } else {
            reason = RenameHeld(folder, NameOf(rename->To), NameOf(rename->From), rename->Device, rename->Inode,
                                "changed since the run");
            if (reason.empty() && !SyncFolder(folder)) {
                reason = "cannot be restored: Cannot write to the disk of " + folderName + ": " + ReasonText(errno);
            }
            close(folder);
        }
        if (reason.empty()) {
            host.AppendReportLine(PadRight("Renamed", 10, ' ') + rename->To + " -> " + rename->From);
        } else {
            if (reason == "exists already") reason = "its old name " + rename->From + " exists";
            host.AppendReportLine(KeptLine(rename->To, reason));
            ++counts.Skipped;
        }
        host.SetRunCounts(counts);
        host.ProcessEvents();
    }
}

}  // namespace

TUndoOutcome UndoRun(const std::string& id, bool clearReport, TRunHost& host, unsigned jobs) {
    const std::string folder = RunJournalFolder();
    std::optional<TJournal> read = id.empty() ? LastJournalToUndo(folder) : ReadJournal(folder, id);
    if (!read) throw std::runtime_error("There is no run to undo");
    TJournal journal = std::move(*read);
    if (journal.Undone) throw std::runtime_error("The run of " + journal.Started + " was undone already");
    const TUndoPlan plan = FilesToUndo(journal);
    const std::vector<TFileToUndo>& files = plan.Files;
    if (!host.Confirm("Confirm", UndoQuestion(journal, files.size()), {})) return TUndoOutcome::Declined;
    StartReport(clearReport, host);
    ClearStopFlag();
    TRunCounts counts;
    counts.Undo = true;
    host.SetRunCounts(counts);
    UndoRenames(journal.Renames, host, counts);
    {
        TFolders folders;
        {
            TRestorer restorer(files, folders);
            TWorkerPool pool(&restorer);  // ends first: its workers use the restorer
            restorer.SetPool(&pool);
            // Mostly waiting for the disk to free blocks: more threads than cores.
            pool.Start(std::max(JobThreads(jobs) - 1, kUndoThreads));
            for (const TFileToUndo& file : files) {
                host.SetStatusText("Restoring: " + file.File + " ...");
                host.ProcessEvents();
                if (StopFlag()) restorer.Stop();
                const std::optional<std::string> line = restorer.Next();
                if (!line) break;
                ++counts.Files;
                ++(line->starts_with("Restored") ? counts.ChangedFiles : counts.Skipped);
                host.AppendReportLine(*line);
                host.SetRunCounts(counts);
            }
        }
        if (!StopFlag()) RemoveUnclaimed(plan.Unclaimed);
        folders.Sync();
    }
    const bool stopped = StopFlag();
    const bool kept = counts.Skipped > 0;
    if (!stopped && !kept) MarkUndone(journal);
    host.SetStatusText("All Done");
    return stopped ? TUndoOutcome::Stopped : kept ? TUndoOutcome::Kept : TUndoOutcome::Restored;
}

}  // namespace varnok
