#include "RunUndo.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <unordered_map>
#include <utility>
#include <vector>

#include "FileIo.h"
#include "HeldFolder.h"
#include "MyDirectory.h"
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
};

// Latest change first, each file once, with every state the run left it in.
std::vector<TFileToUndo> FilesToUndo(const TJournal& journal) {
    std::vector<TFileToUndo> files;
    std::unordered_map<std::string, std::size_t> seen;
    for (auto entry = journal.Entries.rbegin(); entry != journal.Entries.rend(); ++entry) {
        const auto [at, added] = seen.try_emplace(entry->File, files.size());
        if (added) files.push_back({entry->File, {}, false, {}, {}, {}, {}, {}});
        TFileToUndo& file = files[at->second];
        file.Backup = entry->Backup;
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
    return files;
}

// What a name holds, as far as the undo is concerned.
enum class THolds { Nothing, Other, Old, RunOutput };

struct TLook {
    THolds Holds = THolds::Nothing;
    struct stat Info {};
};

std::optional<TDigest> DigestOfFile(const std::string& name) {
    const int fd = open(name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    const TDescriptor closed(fd);
    std::string data;
    if (!ReadWhole(fd, data, 0)) CannotOpen(name, errno);
    return DigestOf(data);
}

// Judged by identity where the journal has one and the modification time is
// old enough to trust; else by the bytes.
TLook Look(const std::string& name, const TFileToUndo& file) {
    TLook look;
    if (lstat(name.c_str(), &look.Info) != 0) {
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
    const std::optional<TDigest> bytes = DigestOfFile(name);
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

TSeen Inspect(const TFileToUndo& file) {
    TSeen seen;
    try {
        seen.File = Look(file.File, file);
        if (seen.File.Holds == THolds::Old || seen.File.Holds == THolds::RunOutput) {
            seen.Backup = Look(file.Backup, file);
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

// Folders of the files restored, one open at a time (files come grouped by
// folder), and one per file system to sync at the end.
class TFolders {
public:
    int Of(const std::string& file) {
        const std::string folder = FolderOf(file);
        if (folder != m_name) {
            m_held = TFolder::OpenNamed(folder);
            int error = 0;
            m_descriptor = m_held->Open(&error);
            if (!m_descriptor) CannotRestore(error == kChangedDuringRun ? ENOENT : error);
            m_name = folder;
            m_toSync.try_emplace(m_held->Device(), m_descriptor);
        }
        return m_descriptor->Fd;
    }
    // Also when an error ends the undo, so that what was restored reaches the disk.
    ~TFolders() {
        for (const auto& [device, folder] : m_toSync) SyncFileSystem(folder->Fd);
    }
    void Sync() {
        for (const auto& [device, folder] : m_toSync) {
            if (!SyncFileSystem(folder->Fd)) throw std::runtime_error("Cannot write to the disk of " + m_name);
        }
        m_toSync.clear();
    }

private:
    std::string m_name;
    TFolderRef m_held;
    TDescriptorRef m_descriptor;
    std::map<dev_t, TDescriptorRef> m_toSync;
};

// The last reference to a file whose name is gone frees its blocks, and with
// online discard the file system makes the caller wait for the disk: what
// the run wrote is dropped on the workers, many waits at once, at most
// kClosing references at a time.
class TCloser {
public:
    void Close(int descriptor, TWorkerPool& pool) {
        if (m_closing.load() >= kClosing) {
            close(descriptor);
            return;
        }
        ++m_closing;
        pool.Submit([this, descriptor] {
            close(descriptor);
            --m_closing;
        });
    }

private:
    static constexpr int kClosing = 32;
    std::atomic<int> m_closing{0};
};

enum class TUndone { Restored, Changed, Deleted, BackupMissing, BackupChanged };

// Puts the file's old inode back under its name, by rename: no space is
// needed, and the old file comes back with its owner, permissions, ACL,
// attributes, links and times. Everything is checked again as it happens:
// the exchange is undone unless both names held what was seen.
TUndone Restore(const TFileToUndo& file, const TSeen& seen, TFolders& folders, const std::function<void(int)>& drop) {
    if (seen.Error) std::rethrow_exception(seen.Error);
    if (seen.File.Holds == THolds::Nothing) return TUndone::Deleted;
    if (seen.File.Holds == THolds::Other) return TUndone::Changed;
    const int folder = folders.Of(file.File);
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
        // What the run wrote, held so that its blocks are freed on a worker.
        const int written = openat(folder, backup.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
        struct stat in {}, out {};
        if (written < 0 || fstat(written, &out) != 0 || fstatat(folder, name.c_str(), &in, AT_SYMLINK_NOFOLLOW) != 0 ||
            !SameInode(in, seen.Backup.Info) || IdentityOf(out) != IdentityOf(seen.File.Info)) {
            // Another program got there between the look and the exchange.
            renameat2(folder, backup.c_str(), folder, name.c_str(), RENAME_EXCHANGE);
            if (written >= 0) close(written);
            return TUndone::Changed;
        }
        const bool removed = unlinkat(folder, backup.c_str(), 0) == 0;
        const int error = errno;
        drop(written);
        if (!removed) CannotRestore(error);
    } else {
        if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) CannotRestore(errno);
        // No exchange in this file system: the check stands for it.
        if (!StillIs(folder, name, seen.File.Info)) return TUndone::Changed;
        if (renameat(folder, backup.c_str(), folder, name.c_str()) != 0) CannotRestore(errno);
    }
    if (!file.MadeBackup) PutOlderBack(folder, backup, file.KeptOlder, false);
    return TUndone::Restored;
}

// Looks at the files, in order, on the workers ahead of the undo; the undo
// looks at a file itself when no worker has got to it. The files and
// backups of one run are distinct names, so restoring one does not change
// what was seen of another.
class TInspector : public TWorkerPool::TSource {
public:
    explicit TInspector(const std::vector<TFileToUndo>& files) : m_files(files), m_ahead(files.size()) {}
    void SetPool(TWorkerPool* pool) { m_pool = pool; }

    TSeen Next() {
        std::unique_lock lock(m_mutex);
        const std::size_t next = m_taken;
        if (next == m_claimed) {
            ++m_claimed;
            lock.unlock();
            TSeen seen = Inspect(m_files[next]);
            lock.lock();
            m_ahead[next] = std::move(seen);
        } else {
            m_waitingFor = next;
            m_ready.wait(lock, [&] { return m_ahead[next].has_value(); });
            m_waitingFor = kNone;
        }
        TSeen seen = std::move(*m_ahead[next]);
        m_ahead[next].reset();
        ++m_taken;
        const bool wake = m_claimed - m_taken <= kFilesAhead / 2;
        lock.unlock();
        if (wake && m_pool) m_pool->Wake();
        return seen;
    }

    bool WorkOnce() override {
        std::unique_lock lock(m_mutex);
        if (m_claimed == m_files.size() || m_claimed >= m_taken + kFilesAhead) return false;
        const std::size_t next = m_claimed++;
        lock.unlock();
        TSeen seen = Inspect(m_files[next]);
        lock.lock();
        m_ahead[next] = std::move(seen);
        if (m_waitingFor == next) m_ready.notify_one();
        return true;
    }

private:
    static constexpr std::size_t kFilesAhead = 64;
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

    const std::vector<TFileToUndo>& m_files;
    TWorkerPool* m_pool = nullptr;
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::vector<std::optional<TSeen>> m_ahead;  // looked at and not yet taken
    std::size_t m_claimed = 0, m_taken = 0;
    std::size_t m_waitingFor = kNone;
};

// What a killed run or undo may have left under hidden temporary names
// (".NAME.RANDOM.$$$"), removed while the name still holds the inode made for
// it, or bytes the run read or wrote for NAME: a kill between an exchange and
// the removal leaves the file swapped out there, kept in the backup, or the
// run's own output that the undo takes back.
void RemoveTemporaries(const std::vector<TTemporary>& temporaries, const std::vector<TFileToUndo>& files) {
    std::unordered_map<std::string, const TFileToUndo*> byName;
    for (const TFileToUndo& file : files) byName.emplace(file.File, &file);
    constexpr std::size_t kSuffix = std::string_view(".RANDOM.$$$").size();
    for (const TTemporary& temporary : temporaries) {
        struct stat info {};
        if (lstat(temporary.Name.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
        bool remove = info.st_dev == temporary.Device && info.st_ino == temporary.Inode;
        const std::string name = NameOf(temporary.Name);
        const auto file = name.size() > kSuffix + 1
                              ? byName.find(JoinPath(FolderOf(temporary.Name), name.substr(1, name.size() - 1 - kSuffix)))
                              : byName.end();
        if (!remove && file != byName.end()) {
            const THolds holds = Look(temporary.Name, *file->second).Holds;
            remove = holds == THolds::Old || holds == THolds::RunOutput;
        }
        if (remove) unlink(temporary.Name.c_str());
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

}  // namespace

TUndoOutcome UndoRun(const std::string& id, bool clearReport, TRunHost& host, unsigned jobs) {
    const std::string folder = RunJournalFolder();
    std::string runId = id;
    if (runId.empty()) {
        const std::optional<std::string> last = LastRunToUndo(folder);
        if (!last) throw std::runtime_error("There is no run to undo");
        runId = *last;
    }
    const TJournal journal = ReadJournal(folder, runId);
    if (journal.Undone) throw std::runtime_error("The run of " + journal.Started + " was undone already");
    const std::vector<TFileToUndo> files = FilesToUndo(journal);
    if (!host.Confirm("Confirm", UndoQuestion(journal, files.size()))) return TUndoOutcome::Declined;
    StartReport(clearReport, host);
    ClearStopFlag();
    bool kept = false;
    {
        TFolders folders;
        {
            TInspector inspector(files);
            TCloser closer;
            TWorkerPool pool(&inspector);  // ends first: its workers use both
            inspector.SetPool(&pool);
            // Mostly waiting for the disk to free blocks: more threads than cores.
            pool.Start(std::max(JobThreads(jobs) - 1, kUndoThreads));
            const auto drop = [&](int descriptor) { closer.Close(descriptor, pool); };
            for (const TFileToUndo& file : files) {
                if (StopFlag()) break;
                host.SetStatusText("Restoring: " + file.File + " ...");
                host.ProcessEvents();
                if (StopFlag()) break;
                // One file that cannot be restored stops nothing else.
                std::string line;
                try {
                    line = UndoReportLine(Restore(file, inspector.Next(), folders, drop), file.File);
                } catch (const std::exception& error) {
                    line = KeptLine(file.File, error.what());
                }
                kept = kept || !line.starts_with("Restored");
                host.AppendReportLine(line);
            }
        }
        if (!StopFlag()) RemoveTemporaries(journal.Temporaries, files);
        folders.Sync();
    }
    const bool stopped = StopFlag();
    if (!stopped && !kept) MarkUndone(journal);
    host.SetStatusText("All Done");
    return stopped ? TUndoOutcome::Stopped : kept ? TUndoOutcome::Kept : TUndoOutcome::Restored;
}

}  // namespace varnok
