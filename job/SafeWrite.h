#pragma once
// Rewriting a file of a live tree: other programs write, rename and delete
// while a run works, and a second run may start. A file's new contents take
// its name only while the name still holds the very file the run read,
// unchanged since; the run creates only names no entry has, and removes only
// entries that hold its own inodes.
//
// The calling sequence for one file, and who does each step:
//
//   1. Read (a worker, or the edit pass when it gets to a file first): the
//      file is opened below its held folder (HeldFolder.h) without following
//      a link, read whole through that descriptor, which stays open, and
//      fstat'ed; the clock is noted just before. The changes are applied in
//      memory (EditStep.h).
//   2. WriteNewContents (the same thread, right away): the new bytes go into
//      a fresh file with no name (O_TMPFILE; where the file system has none,
//      under a free hidden name ".X.RANDOM.$$$", created exclusively and
//      journaled at once). It is created with the old file's permission
//      bits (mode 0600 when it has a name), then given the old file's owner
//      and group, its ACL and permission bits, its extended attributes, and
//      its set-id bits where the owner rule keeps them, each only where it
//      differs already.
//   3. Names chosen (the edit pass, in walk order): the backup name (X.BAK,
//      or X.ext.BAK when this run already made X.BAK) and the journal line.
//      New contents the edit pass does not use (the file was read before
//      this run replaced it, or the run stopped) go without taking a name.
//   4. PutInPlace (the edit pass, in walk order):
//      a. check: the held descriptor's fstat has the device, inode, size,
//         modification and change time of the read, and the name still
//         leads to that inode; else the file is left as it is ("changed
//         during the run");
//      b. backup: the inode read is linked (from the held descriptor, not
//         by name) to the free backup name. When an older backup holds the
//         name, it is first kept with the run's journal (RunJournal.h), then
//         exchanged for a link of the inode read made under a free hidden
//         name, which afterwards holds the older backup until 4e;
//      c. journal: the file's line is appended (not synced);
//      d. exchange: the new file gets a free hidden name (journaled before),
//         the contents are compared with the read when the modification time
//         is too recent to trust, the name is checked again, and
//         renameat2(RENAME_EXCHANGE) swaps the new file in. The entry swapped
//         out must be the inode read with the size and modification time of
//         the read; else it is swapped back and the file is left as the
//         other program left it (the journal says "Skipped"). Without an
//         exchange in the file system, a plain rename follows the check;
//      e. the names now holding the old file (it is in the backup) and the
//         older backup (kept with the journal) are removed.
//      Any failure undoes 4b to 4d: every entry that existed before is as
//      it was, the older backup included, and nothing of the run's is left.
//   5. Report (the edit pass): the file's line, in walk order, once 4 is done.
//   6. Final sync (the edit pass, at the end of the run, also a stopped or
//      failed one): up to 32 rewritten files each with fdatasync and their
//      folders with fsync (not waiting for what other programs wrote); more,
//      one syncfs per file system written. Then the journal.
//
// After a kill between any two steps every name holds whole contents: before
// 4b the file is untouched; from 4b on its old contents are under the backup
// name (and the older backup with the journal); before the exchange of 4d the
// file holds its old contents, after it the new. What a kill can leave is a
// hidden temporary ".X.RANDOM.$$$" or an unneeded link, each journaled so
// that the undo removes it while it still holds that inode. A write that
// lands in the old file after 4d's check is not lost: it is in the backup.

#include <sys/stat.h>
#include <time.h>

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "Digest.h"
#include "HeldFolder.h"

namespace varnok {

// A file as read, still open.
struct TOpenFile {
    int Descriptor = -1;
    struct stat Info {};  // at the read
    timespec ReadAt{};    // the clock just before the read began
};

// Where a file is: its folder's descriptor, its folder's full name, and its
// name in that folder.
struct TPlace {
    TDescriptorRef Folder;
    std::string FolderName;
    std::string Name;
    std::string FullName() const;
};

// Raised when an older backup cannot be kept: the file is then skipped.
struct TCannotKeep : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// What the write path tells the run's journal, each before the step it names.
class TWriteRecord {
public:
    virtual ~TWriteRecord() = default;
    // A hidden temporary name about to hold file (or just made to, where
    // files cannot be made without a name).
    virtual void Temporary(const TPlace& place, const std::string& name, const struct stat& file) = 0;
    // Keeps the entry at name (an older backup) with the journal and returns
    // what was kept; raises TCannotKeep with the reason.
    virtual struct stat KeepOlder(const TPlace& place, const std::string& name) = 0;
    // The file is about to take its new contents; backupMade: the backup
    // name was free.
    virtual void Replacing(bool backupMade) = 0;
    // The file was left as it is after Replacing.
    virtual void Skipped() = 0;
};

// The new contents of a file, written and not yet in place; its temporary
// name, if it has one, goes with it unless PutInPlace used it.
class TNewContents {
public:
    TNewContents() = default;
    ~TNewContents();
    TNewContents(TNewContents&& other) noexcept;
    TNewContents& operator=(TNewContents&& other) noexcept;
    // As written: the identity the file has once in place.
    const struct stat& Info() const { return m_info; }
    int Descriptor() const { return m_descriptor; }

private:
    friend TNewContents WriteNewContents(const TPlace&, const TOpenFile&, std::string_view,
                                         std::string_view, TWriteRecord*);
    friend class TPlacing;
    void Release();
    TPlace m_place;           // of the file it is for
    int m_descriptor = -1;
    struct stat m_info {};
    std::string m_tempName;   // in m_place's folder
    bool m_named = false;
};

// A modification time this close to readAt may hide a write made right after
// it: the kernel stamps files from a clock that ticks every few
// milliseconds, and some file systems keep whole (or even) seconds only.
bool TooRecentToTrust(const struct stat& info, const timespec& readAt);

// Copies the whole of from (of that size) to to; false with errno set.
bool CopyInto(int from, const struct stat& info, int to);

// Raises "Cannot create file NAME: REASON" when the new file cannot be made.
TNewContents WriteNewContents(const TPlace& place, const TOpenFile& original, std::string_view text,
                              std::string_view rest, TWriteRecord* record);

// Replaced, or left as it is for Reason.
struct TPlaced {
    bool Replaced = false;
    std::string Reason;
};

// Called, when set, on the edit pass's thread just before step 4a with the
// file's full name: lets tests change the tree between a read and its rewrite.
extern std::function<void(const std::string& fileName)> BeforePlacingForTests;

// Steps 4a to 4e; backupName: in the file's folder, none for no backup;
// readDigest: of the contents read. Raises "Cannot create file NAME:
// REASON" when a step fails, every entry left as it was.
TPlaced PutInPlace(const TPlace& place, const TOpenFile& original, const TDigest& readDigest,
                   TNewContents& contents, const std::string* backupName, TWriteRecord* record);

}  // namespace varnok
