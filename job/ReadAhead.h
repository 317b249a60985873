#pragma once
// Reading files whole, and the read-ahead of a run: the workers of a pool
// (WorkerPool.h) walk the folders ahead of the edit pass, read their files
// and prepare them (the changes applied and the new contents written, see
// SafeWrite.h), each file by one thread, which hands it to the edit pass once.
// The edit pass, rather than wait for a file a worker is busy with, prepares
// further files of its listing itself, and sleeps only when there are none.
// Only its own listings decide which files are visited, and only it decides
// what takes a file's name and what is reported.
//
// Memory: the files being read and edited, and what is kept of them until the
// edit pass takes them, share one budget (kMemoryBudget) whatever the number
// of workers. A file whose edit needs more than the budget is read only while
// no other file is being read or edited.

#include <fcntl.h>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "Digest.h"
#include "EditStep.h"
#include "HeldFolder.h"
#include "MyDirectory.h"
#include "SafeWrite.h"
#include "WalkFilter.h"
#include "WorkerPool.h"

namespace varnok {

constexpr std::size_t kMemoryBudget = 64u << 20;

// A file read whole and still open (its backup is linked from it).
class TReadFile {
public:
    TReadFile() = default;
    ~TReadFile();
    TReadFile(TReadFile&& other) noexcept;
    TReadFile& operator=(TReadFile&& other) noexcept;

    std::string Name;  // as the walk spells it
    TOpenFile File;
    TFolderRef Folder;
    TDescriptorRef FolderDescriptor;  // Folder's, held while the file is in hand
    std::string Contents;
    // Left by the preparation, if any, with Contents used up unless kept:
    // the edit, its new bytes written (and then dropped, unless kept) when
    // the run writes and there was a replacement.
    std::optional<TEdit> Edit;
    std::optional<TNewContents> NewContents;
    // Of Contents as read, when a change may apply; of the new contents,
    // when the run keeps a journal.
    std::optional<TDigest> ContentsDigest, NewDigest;
};

// A file that turned into something else than a file since its listing (a
// link, a FIFO), or whose folder did: the walk leaves it out.
struct TChangedDuringRun : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The file fileName names in folder (only the last part of the name is looked
// up there, and a link is not followed). Raises "Cannot open file NAME:
// REASON" when it cannot be opened or read, or TChangedDuringRun. Unless
// wholeIfBinary, a binary file (TextEncoding.h) is read only up to the
// piece that holds its first NUL.
TReadFile ReadFileToEdit(const TFolderRef& folder, const std::string& fileName, bool wholeIfBinary = true);

// A listing of the walk: the files of a folder matching a mask.
struct TWalkListing {
    std::vector<std::string> Files;
    TFolderRef Folder;
    int Error = 0;  // why the folder could not be read (see ReasonText)
    bool FirstOfFolder = false;  // its first mask's
    // Folders the filter could not judge, and why: walked as if unfiltered.
    std::vector<std::pair<std::string, std::string>> Skipped;
};

class TReadAhead : private TWorkerPool::TSource {
public:
    TReadAhead();
    ~TReadAhead() override;
    TReadAhead(const TReadAhead&) = delete;
    TReadAhead& operator=(const TReadAhead&) = delete;

    // Done to every file read, on any thread; set before Start. It must
    // depend on nothing but the file's bytes and name.
    std::function<void(TReadFile&)> Prepare;
    // When set, the files it rejects are left out of every listing; set
    // before Start. Called on any thread.
    std::function<bool(const std::string& fileName)> Wanted;
    // What the walk leaves out of each folder listed, if anything; and
    // whether a binary file is read whole. Set before Start.
    std::shared_ptr<TWalkFilter> Filter;
    bool WholeBinaryFiles = true;
    // The threads that read, the edit pass's included (JobThreads).
    unsigned Jobs = 0;

    // Opens the folders of paths (raising "Cannot open folder NAME: REASON")
    // and starts the workers on the walk the edit pass is about to make: the
    // files of each folder of paths, mask by mask, then its sub-folders when
    // recurse is set.
    void Start(const std::vector<std::string>& paths, const std::vector<std::string>& masks,
               bool recurse);
    // Ends the workers and drops what they read.
    void Stop();

    // The next listing of the walk, which the edit pass knows as the files
    // of folder matching mask: listed by a worker, or now when none is at it.
    // Every folder is listed once, so the edit pass and the workers see the
    // same files.
    TWalkListing Listing(const std::string& folder, const std::string& mask);
    // The folders below folder that a recursive walk enters, as its listing
    // found them. Asked for right after folder's last listing.
    std::vector<std::string> SubFoldersOf(const std::string& folder) const;
    // The file if it was read ahead; otherwise the caller reads it itself
    // (ReadAndPrepare). Files of the listing passed over are dropped.
    std::optional<TReadFile> Take(const std::string& fileName);
    // Reads and prepares a file of folder now, within the memory budget.
    TReadFile ReadAndPrepare(const TFolderRef& folder, const std::string& fileName);

private:
    struct TListing;
    struct TWalk;
    class TBudget;
    bool WorkOnce() override;
    TReadFile ReadAndPrepare(const TFolderRef& folder, const std::string& fileName, std::size_t* kept);
    // Lists the walk's next folder for the edit pass, if it may; under
    // m_mutex, which it releases while it reads the folder.
    void ListAhead(std::unique_lock<std::mutex>& lock);
    // The walk's next listing, or none at its end.
    std::shared_ptr<TListing> NextListing(TWalk& walk);
    // Reads and prepares one file of the listing that nobody has claimed
    // yet; false when none may be claimed now.
    bool ReadOneAhead(TListing& listing);
    bool HasRoom() const;
    std::vector<std::string> FilesWanted(const std::string& folder, const TFolderEntries& entries,
                                         const std::string& mask) const;
    // Under m_mutex: whether the edit pass's next listing is queued.
    bool NextListingQueued() const;
    void Drop(TListing& listing, std::size_t slot);
    bool MayList() const;
    // Lets the workers go on once enough was taken: waking them for every
    // file would cost more than reading it.
    void WakeWorkersIfRoom();

    std::unique_ptr<TBudget> m_budget;
    std::mutex m_mutex;
    std::condition_variable m_forTaker;
    // The slot the edit pass sleeps for, if any: its worker wakes it.
    std::atomic<const void*> m_takerWaitsFor{nullptr};
    std::atomic<bool> m_takerWaitsForListing{false};
    bool m_quit = false;
    // Listings from number m_queueStart on, under m_mutex: the edit pass's
    // current one first, then those the workers made ahead of it.
    std::deque<std::shared_ptr<TListing>> m_queue;
    std::size_t m_queueStart = 0;
    std::atomic<std::size_t> m_takerListing{0};  // number of the edit pass's listing, plus one
    std::shared_ptr<TListing> m_current;         // the edit pass's own
    std::atomic<std::size_t> m_filesAhead{0};    // claimed and not yet taken
    // The workers' walk, fixed before they start; the rest under m_mutex.
    std::vector<TFolderRef> m_paths;
    std::vector<std::string> m_masks;
    bool m_recurse = false;
    std::unique_ptr<TWalk> m_walk;
    bool m_listing = false;  // a thread reads a folder of the walk
    bool m_walked = false;
    std::size_t m_listed = 0;  // the number of the walk's next listing
    std::deque<std::shared_ptr<TListing>> m_reading;  // listings with files still to claim
    std::unique_ptr<TWorkerPool> m_pool;  // last: its workers use the rest
};

}  // namespace varnok
