#pragma once
// The rewrites of a run, handed over in walk order. Each is written on a
// worker of the pool as soon as one is free, so that the costly part, a fresh
// file and its contents, is done on every core at once; but they take their
// files' names (journal line, backup, rename) one after the other in walk
// order. A failure thus leaves every later file as it was, and the run ends
// there as if the files had been written one by one.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "ReadAhead.h"
#include "RunJournal.h"
#include "SafeWrite.h"
#include "WorkingText.h"

namespace varnok {

// What came of a rewrite, once it took its name or was left out; a file's
// first rewrite in a run also tells its later ones about its backup.
struct TRewriteOutcome {
    bool Placed = false;
    std::string SkipReason;  // left as it is, and why
    bool BackupMade = false;  // the backup name was free
};

struct TRewrite {
    std::string Target;  // the full name that takes the new contents
    TReadFile Read;      // the file as it was read, still open
    TWorkingText Work;   // the new contents: Text, then Rest
    std::optional<std::string> Backup;  // in the file's folder; none: an earlier change of this run made it
    // The journal's line, its After taken from Work on the worker; none when
    // the run keeps no journal.
    std::optional<TJournalEntry> Journaled;
    std::shared_ptr<TRewriteOutcome> Outcome;
    std::shared_ptr<const TRewriteOutcome> FirstOutcome;  // of the file's first rewrite in the run
};

class TOrderedWrites {
public:
    TOrderedWrites() = default;
    // Waits for the writes still in hand: they use this object.
    ~TOrderedWrites();
    TOrderedWrites(const TOrderedWrites&) = delete;
    TOrderedWrites& operator=(const TOrderedWrites&) = delete;

    // Set before the first Add.
    void SetUp(TReadAhead& pool, TRunJournal* journal);
    // bytes: what the rewrite holds in memory until it is done.
    void Add(TRewrite rewrite, std::size_t bytes);
    // How many were added, and how many of them took their names in order.
    std::size_t Added() const;
    std::size_t Done() const;
    // Waits until no more than files rewrites holding no more than bytes
    // are still to be done, or until the writes failed and ended; then
    // raises the failure, if any.
    void WaitForRoom(std::size_t files, std::size_t bytes);

private:
    struct TItem {
        TRewrite Rewrite;
        TPlace Place;
        std::unique_ptr<TWriteRecord> Record;  // the journal's, for Rewrite
        TNewContents Contents;
        std::exception_ptr Failure;
        std::size_t Bytes = 0;
        bool Written = false;
    };
    void Write(TItem& item);
    // Puts the written items at the head of the queue in place, one at a
    // time, unless another thread does already.
    void PutWrittenInPlace(std::unique_lock<std::mutex>& lock);

    TReadAhead* m_pool = nullptr;
    TRunJournal* m_journal = nullptr;
    mutable std::mutex m_mutex;
    std::condition_variable m_progress;
    std::deque<std::unique_ptr<TItem>> m_queue;  // added and not yet in place
    std::size_t m_added = 0, m_done = 0, m_bytes = 0;  // m_bytes: held by the queue
    bool m_placing = false;
    std::exception_ptr m_failure;  // the first, in walk order; nothing is placed after it
};

}  // namespace varnok
