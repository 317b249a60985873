#include "RunUndo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <unordered_map>
#include <utility>
#include <vector>

#include "FileIo.h"
#include "HeldFolder.h"
#include "ReadAhead.h"
#include "RunJob.h"
#include "RunJournal.h"
#include "SafeWrite.h"
#include "TextUtils.h"
#include "WorkerPool.h"

namespace varnok {
namespace {

struct TFileToUndo {
    std::string File, Backup;
    bool MadeBackup = false;
    TDigest Before, After;
};

enum class TUndone { Restored, Changed, Deleted, BackupMissing, BackupChanged };

// Latest change first, each file once: its first change's backup and
// contents before, its last change's contents after.
std::vector<TFileToUndo> FilesToUndo(const std::vector<TJournalEntry>& entries) {
    std::vector<TFileToUndo> files;
    std::unordered_map<std::string, std::size_t> seen;
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        const auto [at, added] = seen.try_emplace(entry->File, files.size());
        if (added) files.push_back({entry->File, {}, false, {}, entry->After});
        TFileToUndo& file = files[at->second];
        file.Backup = entry->Backup;
        file.MadeBackup = entry->MadeBackup;
        file.Before = entry->Before;
    }
    return files;
}

// The file of that name, open, when it is a regular file itself (not a link
// to one); none when there is no such file.
std::optional<TReadFile> OpenIfFile(const std::string& name) {
    TReadFile read;
    clock_gettime(CLOCK_REALTIME, &read.File.ReadAt);
    read.File.Descriptor = open(name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (read.File.Descriptor < 0) {
        if (errno == ENOENT || errno == ELOOP || errno == ENOTDIR) return std::nullopt;
        CannotOpen(name, errno);
    }
    if (fstat(read.File.Descriptor, &read.File.Info) != 0) CannotOpen(name, errno);
    if (!S_ISREG(read.File.Info.st_mode)) return std::nullopt;
    return read;
}

// Whether the open file holds exactly one of the digests; reads it only when
// its size is that of one, and up to its end, however much it grew.
const TDigest* Holds(TReadFile& read, const std::string& name,
                     std::initializer_list<const TDigest*> digests) {
    const auto size = static_cast<std::uint64_t>(read.File.Info.st_size);
    bool mayHold = false;
    for (const TDigest* digest : digests) mayHold = mayHold || digest->Size == size;
    if (!mayHold) return nullptr;
    std::string& data = read.Contents;
    if (!ReadWhole(read.File.Descriptor, data, 0)) CannotOpen(name, errno);
    const TDigest now = DigestOf(data);
    for (const TDigest* digest : digests) {
        if (now == *digest) return digest;
    }
    return nullptr;
}

void RemoveBackup(const std::string& name) {
    if (unlink(name.c_str()) != 0 && errno != ENOENT) CannotDelete(name, errno);
}

bool SyncFileSystemOf(const std::string& folder) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool synced = SyncFileSystem(fd);
    close(fd);
    return synced;
}

// One folder per file system written to, synced once at the end; also when
// an error ends the undo, so that what was restored reaches the disk.
class TWritten {
public:
    ~TWritten() {
        for (const auto& [device, folder] : m_folders) SyncFileSystemOf(folder);
    }
    void Add(const TOpenFile& file, const std::string& name) {
        const auto slash = name.rfind('/');
        m_folders.emplace(file.Info.st_dev, slash == 0 ? "/" : name.substr(0, slash));
    }
    void Sync() {
        for (const auto& [device, folder] : m_folders) {
            if (!SyncFileSystemOf(folder)) throw std::runtime_error("Cannot write to the disk of " + folder);
        }
        m_folders.clear();
    }

private:
    std::map<dev_t, std::string> m_folders;
};

// The last close of a file whose name is gone frees its blocks, and with
// online discard the file system makes the caller wait for that, for each
// file in turn: an undo frees two files per file restored (what the run wrote
// and the backup). Closing on the workers lets those waits overlap with each
// other and with the undo; beyond kClosing descriptors waiting to be closed,
// the undo closes them itself, so that it never holds many.
class TCloser {
public:
    // Outlives the pool: its workers count down what it hands them.
    void Close(std::optional<TReadFile>& file, TWorkerPool& pool) {
        if (!file || file->File.Descriptor < 0) return;
        const int descriptor = std::exchange(file->File.Descriptor, -1);
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

// What the undo of a file found, before anything is written: the verdict,
// what is left to do, and the file and its backup, open and read where needed.
struct TSeen {
    enum class TAction { None, RemoveBackup, Restore };
    TUndone Verdict = TUndone::Restored;
    TAction Action = TAction::None;
    std::optional<TReadFile> Now, Backup;
};

TSeen Inspect(const TFileToUndo& file) {
    TSeen seen;
    const auto verdict = [&seen](TUndone undone, TSeen::TAction action = TSeen::TAction::None) {
        seen.Verdict = undone;
        seen.Action = action;
        return std::move(seen);
    };
    seen.Now = OpenIfFile(file.File);
    if (!seen.Now) {
        struct stat info {};
        return verdict(lstat(file.File.c_str(), &info) == 0 ? TUndone::Changed : TUndone::Deleted);
    }
    const TDigest* holds = Holds(*seen.Now, file.File, {&file.Before, &file.After});
    if (!holds) return verdict(TUndone::Changed);
    seen.Backup = OpenIfFile(file.Backup);
    if (holds == &file.Before) {
        // Restored before, or never rewritten: only the run's backup is left.
        if (!file.MadeBackup || !seen.Backup) return verdict(TUndone::Restored);
        if (!Holds(*seen.Backup, file.Backup, {&file.Before})) return verdict(TUndone::BackupChanged);
        return verdict(TUndone::Restored, TSeen::TAction::RemoveBackup);
    }
    if (!seen.Backup) {
        struct stat info {};
        return verdict(lstat(file.Backup.c_str(), &info) == 0 ? TUndone::BackupChanged : TUndone::BackupMissing);
    }
    if (!Holds(*seen.Backup, file.Backup, {&file.Before})) return verdict(TUndone::BackupChanged);
    return verdict(TUndone::Restored, TSeen::TAction::Restore);
}

// The undo's own temporary names, journaled with the run's (after a torn
// last line is dropped), so that an undo killed while restoring leaves
// nothing the next one does not remove.
class TUndoRecord : public TWriteRecord {
public:
    explicit TUndoRecord(const TJournal& journal) : m_journal(journal) {}
    ~TUndoRecord() override {
        if (m_descriptor >= 0) close(m_descriptor);
    }
    void Temporary(const TPlace&, const std::string& name, const struct stat& file) override {
        if (m_descriptor < 0) {
            m_descriptor = open(m_journal.FileName.c_str(), O_WRONLY | O_CLOEXEC);
            if (m_descriptor < 0 || ftruncate(m_descriptor, static_cast<off_t>(m_journal.WholeLength)) != 0 ||
                lseek(m_descriptor, 0, SEEK_END) < 0) {
                throw std::runtime_error("Cannot write file " + m_journal.FileName);
            }
        }
        const std::string line = TemporaryLine(JoinPath(m_folder, name), file);
        if (write(m_descriptor, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
            throw std::runtime_error("Cannot write file " + m_journal.FileName);
        }
    }
    struct stat KeepOlder(const TPlace&, const std::string&) override { return {}; }  // no backup is made
    void Replacing(bool) override {}
    void Skipped() override {}
    void SetFolder(const std::string& folder) { m_folder = folder; }

private:
    const TJournal& m_journal;
    std::string m_folder;
    int m_descriptor = -1;
};

void Apply(const TFileToUndo& file, TSeen& seen, TWritten& written, TUndoRecord& record) {
    if (seen.Action == TSeen::TAction::Restore) {
        written.Add(seen.Now->File, file.File);
        const TFolderRef folder = TFolder::OpenNamed(FolderOf(file.File));
        int error = 0;
        const TPlace place{folder->Open(&error), folder->Path(), NameOf(file.File)};
        record.SetFolder(FolderOf(file.File));
        TNewContents contents = WriteNewContents(place, seen.Now->File, seen.Backup->Contents, {}, &record);
        if (!PutInPlace(place, seen.Now->File, file.After, contents, nullptr, &record).Replaced) {
            seen.Verdict = TUndone::Changed;
            return;  // the backup stays with it
        }
    }
    if (seen.Action != TSeen::TAction::None && file.MadeBackup) RemoveBackup(file.Backup);
}

// Inspects the files, in order, on the workers ahead of the undo, so that
// reading overlaps writing as in a run; the undo inspects a file itself when
// no worker has got to it. The files and backups of one run are distinct
// names, so restoring one does not change what was seen of another.
class TInspector : public TWorkerPool::TSource {
public:
    explicit TInspector(const std::vector<TFileToUndo>& files) : m_files(files), m_ahead(files.size()) {}
    void SetPool(TWorkerPool* pool) { m_pool = pool; }

    // What was seen of the next file; its error, if inspecting it failed.
    TSeen Next() {
        std::unique_lock lock(m_mutex);
        const std::size_t next = m_taken;
        if (next == m_claimed) {
            ++m_claimed;
            lock.unlock();
            TAhead ahead = InspectAhead(m_files[next]);
            lock.lock();
            m_ahead[next] = std::move(ahead);
        } else {
            m_waitingFor = next;
            m_ready.wait(lock, [&] { return m_ahead[next].has_value(); });
            m_waitingFor = kNone;
            m_bytes -= m_ahead[next]->Bytes;
        }
        TAhead ahead = std::move(*m_ahead[next]);
        m_ahead[next].reset();
        ++m_taken;
        const bool wake = m_claimed - m_taken <= kFilesAhead / 2;
        lock.unlock();
        if (wake && m_pool) m_pool->Wake();
        if (ahead.Error) std::rethrow_exception(ahead.Error);
        return std::move(ahead.Seen);
    }

    bool WorkOnce() override {
        std::unique_lock lock(m_mutex);
        if (m_claimed == m_files.size() || m_claimed >= m_taken + kFilesAhead || m_bytes >= kBytesAhead) {
            return false;
        }
        const std::size_t next = m_claimed++;
        lock.unlock();
        TAhead ahead = InspectAhead(m_files[next]);
        lock.lock();
        m_bytes += ahead.Bytes;
        m_ahead[next] = std::move(ahead);
        if (m_waitingFor == next) m_ready.notify_one();
        return true;
    }

private:
    static constexpr std::size_t kFilesAhead = 32;
    static constexpr std::size_t kBytesAhead = 64u << 20;
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    struct TAhead {
        TSeen Seen;
        std::exception_ptr Error;
        std::size_t Bytes = 0;
    };
    static TAhead InspectAhead(const TFileToUndo& file) {
        TAhead ahead;
        try {
            ahead.Seen = Inspect(file);
            for (const auto* read : {&ahead.Seen.Now, &ahead.Seen.Backup}) {
                if (*read) ahead.Bytes += (*read)->Contents.size();
            }
        } catch (...) {
            ahead.Error = std::current_exception();
        }
        return ahead;
    }

    const std::vector<TFileToUndo>& m_files;
    TWorkerPool* m_pool = nullptr;
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::vector<std::optional<TAhead>> m_ahead;  // claimed and not yet taken
    std::size_t m_claimed = 0, m_taken = 0, m_bytes = 0;
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
            std::optional<TReadFile> held = OpenIfFile(temporary.Name);
            remove = held && Holds(*held, temporary.Name, {&file->second->Before, &file->second->After});
        }
        if (remove) unlink(temporary.Name.c_str());
    }
}

std::string UndoReportLine(TUndone undone, const std::string& fileName) {
    if (undone == TUndone::Restored) return PadRight("Restored", 10, ' ') + fileName;
    const char* reason = undone == TUndone::Changed         ? "changed since the run"
                         : undone == TUndone::Deleted       ? "deleted since the run"
                         : undone == TUndone::BackupMissing ? "backup missing"
                                                            : "backup changed since the run";
    return PadRight("Kept", 10, ' ') + fileName + ": " + reason;
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
    const std::vector<TFileToUndo> files = FilesToUndo(journal.Entries);
    const std::string count = files.size() == 1 ? "1 file" : IntToText(static_cast<long long>(files.size())) + " files";
    if (!host.Confirm("Confirm", "Undo the run of " + journal.Started + ": restore " + count + "?")) {
        return TUndoOutcome::Declined;
    }
    StartReport(clearReport, host);
    ClearStopFlag();
    bool kept = false;
    {
        TWritten written;
        TUndoRecord record(journal);
        {
            TInspector inspector(files);
            TCloser closer;
            TWorkerPool pool(&inspector);  // ends first: its workers use both
            inspector.SetPool(&pool);
            pool.Start(JobThreads(jobs) - 1);
            for (const TFileToUndo& file : files) {
                if (StopFlag()) break;
                host.SetStatusText("Restoring: " + file.File + " ...");
                host.ProcessEvents();
                if (StopFlag()) break;
                TSeen seen = inspector.Next();
                Apply(file, seen, written, record);
                closer.Close(seen.Now, pool);
                closer.Close(seen.Backup, pool);
                kept = kept || seen.Verdict != TUndone::Restored;
                host.AppendReportLine(UndoReportLine(seen.Verdict, file.File));
            }
        }
        if (!StopFlag()) RemoveTemporaries(journal.Temporaries, files);
        written.Sync();
    }
    const bool stopped = StopFlag();
    if (!stopped) MarkUndone(journal);
    host.SetStatusText("All Done");
    return stopped ? TUndoOutcome::Stopped : kept ? TUndoOutcome::Kept : TUndoOutcome::Restored;
}

}  // namespace varnok
