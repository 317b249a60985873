#pragma once
// The run journal: one plain-text file per run that rewrote files, kept in
// RunJournalFolder() under the run's start time in UTC, so that the run can be
// undone later (see RunUndo.h). It names the run's folders, masks and change
// text, then holds one line per rewritten file:
//
//   File "NAME" SIZE HASH -> SIZE HASH backup "BACKUP" made|replaced
//        read IDENTITY placed IDENTITY
//
// (on one line) the contents before and after (see Digest.h) and the backup;
// "made" when this run created the backup, "replaced" when the name held an
// older one; the identity (DEVICE INODE SIZE SECONDS.NANOSECONDS of the
// modification time) of the file read and of the one put in its place, which
// lets an undo know them without reading them. A file changed twice in a run
// has a line for each change, so every state it went through is known.
// Journals of version 1 (no "Version" line) have no identities.
// Names are quoted with \\, \", \n, \r, \t and \xHH for other control bytes.
// Beside them, the write path's own (SafeWrite.h):
//
//   Temp "NAME" DEVICE INODE       a hidden temporary name about to be made
//   Older "BACKUP" kept "KEPT"     an older backup replaced, kept as KEPT
//   Skipped "NAME"                 the rewrite of the line before was left out
//
// and the renames of a run that renames names, each before it is done:
//
//   Rename "OLD" -> "NEW" DEVICE INODE    (a Skipped "OLD" after it: not done)
//
// A run that was not cut short ends with "Ended": no temporary named before
// it is left, so an undo need not look for them.
//
// Older backups are kept in the folder ID.kept beside the journal: a hard
// link where it is on the same file system, else a copy of at most
// kKeptCopyLimit bytes.
//
// Each line is appended whole, by one write, before the file's new contents
// take its name; nothing is synced until the run's final sync. A killed run
// thus leaves only true lines, the last perhaps torn, which readers ignore. A
// completed undo appends "Undone TIME". The newest kJournalsKept are kept:
// the older ones are removed ten at a time, when there would be ten more.

#include <sys/stat.h>

#include <cstdint>
#include <ctime>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Digest.h"
#include "RunJob.h"

namespace varnok {

constexpr int kJournalsKept = 50;
constexpr long long kKeptCopyLimit = 256LL << 20;
// The older backups kept with the journals, counting only files that exist
// nowhere else (one link): beyond it the oldest journals go.
constexpr long long kKeptSpaceLimit = 1LL << 30;
constexpr int kJournalVersion = 2;

// $XDG_STATE_HOME/Tavrin Software/Quillets/runs (~/.local/state when unset).
std::string RunJournalFolder();

// What names a file's contents without reading them, as long as the
// modification time is not too recent to trust (see SafeWrite.h).
struct TFileIdentity {
    dev_t Device = 0;
    ino_t Inode = 0;
    std::uint64_t Size = 0;
    timespec Modified{};
    bool operator==(const TFileIdentity& other) const;
};
TFileIdentity IdentityOf(const struct stat& info);

struct TJournalEntry {
    std::string File;    // full name, links resolved
    std::string Backup;  // full name of the backup holding the contents from before the run
    bool MadeBackup = false;
    TDigest Before, After;
    std::optional<TFileIdentity> Read, Placed;
};

struct TTemporary {
    std::string Name;
    dev_t Device = 0;
    ino_t Inode = 0;
};

struct TJournalRename {
    std::string From, To;  // full names, links resolved
    dev_t Device = 0;
    ino_t Inode = 0;
};

struct TKeptBackup {
    std::string Backup, Kept;
};

class TRunJournal {
public:
    // Nothing is created before the first entry.
    TRunJournal(std::string folder, const TJobSettings& settings);
    // Syncs what a run ended by an error had written.
    ~TRunJournal();
    TRunJournal(const TRunJournal&) = delete;
    TRunJournal& operator=(const TRunJournal&) = delete;

    // Safe from several threads at once. The first entry creates the journal
    // (and removes the oldest beyond kJournalsKept). Raises "Cannot create
    // file NAME: REASON" or "Cannot write file NAME: REASON".
    void Add(const TJournalEntry& entry);
    void AddTemporary(const std::string& name, const struct stat& file);
    void AddSkipped(const std::string& file);
    void AddRename(const TJournalRename& rename);
    // Keeps the entry name of folder, the older backup fullName, and returns
    // what was kept; raises TCannotKeep (SafeWrite.h) with the reason.
    struct stat KeepOlder(int folder, const std::string& name, const std::string& fullName);
    // Puts what was added on disk; raises "Cannot write to the disk of FOLDER".
    void Sync();
    // The run is over with no temporary left: written and synced last.
    void End();

private:
    // Under m_mutex.
    void AddLine(const std::string& line);
    void Create(const std::string& firstLine);
    int KeptFolder();

    std::mutex m_mutex;
    const std::string m_folder;
    std::string m_header;
    timespec m_started{};
    std::string m_fileName;
    int m_descriptor = -1;
    bool m_synced = true;
    int m_keptFolder = -1;
    std::string m_keptFolderName;
    long long m_kept = 0;
};

// A journal as read back.
struct TJournal {
    std::string Id;        // the file's name without ".txt"
    std::string FileName;
    std::string Started;   // "YYYY-MM-DD HH:MM:SS UTC"
    int Version = 1;
    std::vector<std::string> Folders, Masks, ChangeText;
    TJobOptions Options;
    std::vector<TJournalEntry> Entries;
    std::vector<TTemporary> Temporaries;  // those named after the last "Ended"
    std::vector<TKeptBackup> KeptBackups;
    std::vector<TJournalRename> Renames;  // in the order done
    bool Undone = false;
    std::size_t WholeLength = 0;  // bytes up to the end of its last whole line

    std::size_t FileCount() const;  // files rewritten, each counted once
};

// The ids of the journals in folder, oldest first.
std::vector<std::string> JournalIds(const std::string& folder);
// Raises "No run journal ID" or "The run journal NAME cannot be read (line N)".
TJournal ReadJournal(const std::string& folder, const std::string& id);
// The newest journal not marked undone that can be read; journals that are
// empty or cannot be read are passed over.
std::optional<TJournal> LastJournalToUndo(const std::string& folder);
std::optional<std::string> LastRunToUndo(const std::string& folder);  // its id
// Appends "Undone TIME" (dropping a torn last line first) and syncs it.
void MarkUndone(const TJournal& journal);

// The journal's line for a temporary name.
std::string TemporaryLine(const std::string& name, const struct stat& file);

// A name in double quotes, escaped as above.
std::string Quoted(const std::string& text);

}  // namespace varnok
