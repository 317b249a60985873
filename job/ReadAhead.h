#pragma once
// Reading files whole, and the pool of workers that read, edit and write the
// files of a run: std::thread::hardware_concurrency() threads walk the folders
// ahead of the edit pass, read their files and apply the changes to them, and
// take on the writes the edit pass hands them before anything else. The edit
// pass's thread, rather than wait for a file a worker is busy with, reads
// further files of its listing itself. Only its own listings decide which
// files are visited, and only it decides what is written and reports.

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
#include <thread>
#include <vector>

#include "Digest.h"
#include "HeldFolder.h"
#include "MyDirectory.h"
#include "SafeWrite.h"
#include "WorkingText.h"

namespace varnok {

// A file read whole and still open (its backup is linked from it).
class TReadFile {
public:
    TReadFile() = default;
    ~TReadFile();
    TReadFile(TReadFile&& other) noexcept;
    TReadFile& operator=(TReadFile&& other) noexcept;

    TOpenFile File;
    TFolderRef Folder;
    TDescriptorRef FolderDescriptor;  // Folder's, held while the file is in hand
    std::string Contents;
    // Left by the preparation on a worker, if any: the working text with the
    // changes applied (Contents is then used up) and their count.
    std::optional<TWorkingText> Edited;
    long long EditedCount = 0;
    // Of Contents as read, taken before the changes used them up, when the
    // run keeps a journal and a change may apply.
    std::optional<TDigest> ContentsDigest;
};

// A file that turned into something else than a file since its listing (a
// link, a FIFO), or whose folder did: the walk leaves it out.
struct TChangedDuringRun : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The file fileName names in folder (only the last part of the name is looked
// up there, and a link is not followed). Raises "Cannot open file NAME:
// REASON" when it cannot be opened or read, or TChangedDuringRun.
TReadFile ReadFileToEdit(const TFolderRef& folder, const std::string& fileName);

// A listing of the walk: the files of a folder matching a mask.
struct TWalkListing {
    std::vector<std::string> Files;
    TFolderRef Folder;
    int Error = 0;  // why the folder could not be read (see ReasonText)
    bool FirstOfFolder = false;  // its first mask's
};

class TReadAhead {
public:
    TReadAhead();
    ~TReadAhead();
    TReadAhead(const TReadAhead&) = delete;
    TReadAhead& operator=(const TReadAhead&) = delete;

    // Done to every file read ahead, on any thread; set before Start. It
    // must depend on nothing but the file's bytes.
    std::function<void(TReadFile&)> Prepare;
    // When set, the files it rejects are left out of every listing; set
    // before Start. Called on any thread.
    std::function<bool(const std::string& fileName)> Wanted;

    // Opens the folders of paths (raising "Cannot open folder NAME: REASON")
    // and starts the workers on the walk the edit pass is about to make: the
    // files of each folder of paths, mask by mask, then its sub-folders when
    // recurse is set.
    void Start(const std::vector<std::string>& paths, const std::vector<std::string>& masks,
               bool recurse);
    // Ends the workers, once they have done every task handed to them, and
    // drops what they read.
    void Stop();
    std::size_t Workers() const { return m_workers.size(); }
    // Runs task on a worker, ahead of reading further files.
    void Submit(std::function<void()> task);

    // The next listing of the walk, which the edit pass knows as the files
    // of folder matching mask: listed by a worker, or now when none is at it.
    // Every folder is listed once, so the edit pass and the workers see the
    // same files.
    TWalkListing Listing(const std::string& folder, const std::string& mask);
    // The folders below folder that a recursive walk enters, as its listing
    // found them. Asked for right after folder's last listing.
    std::vector<std::string> SubFoldersOf(const std::string& folder) const;
    // The file if it was read ahead; otherwise the caller reads it itself.
    // Files of the listing passed over are dropped.
    std::optional<TReadFile> Take(const std::string& fileName);

private:
    struct TListing;
    struct TWalk;
    void Work();
    // What a worker does next, under m_mutex: false when there is nothing.
    bool HasWork() const;
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
    void WakeWorkers();

    std::mutex m_mutex;
    std::condition_variable m_forWorkers, m_forTaker;
    // Woken only while asleep: a wake-up costs more than reading a small file.
    // A sleeper counts itself before it looks for work, so that who makes work
    // after that sees it.
    std::atomic<int> m_workersAsleep{0};
    std::atomic<bool> m_takerSleeps{false}, m_quit{false};
    // Listings from number m_queueStart on, under m_mutex: the edit pass's
    // current one first, then those the workers made ahead of it.
    std::deque<std::shared_ptr<TListing>> m_queue;
    std::size_t m_queueStart = 0;
    std::atomic<std::size_t> m_takerListing{0};  // number of the edit pass's listing, plus one
    std::shared_ptr<TListing> m_current;         // the edit pass's own
    std::atomic<std::size_t> m_filesAhead{0}, m_bytesAhead{0};  // claimed and not yet taken
    // The workers' walk, fixed before they start; the rest under m_mutex.
    std::vector<TFolderRef> m_paths;
    std::vector<std::string> m_masks;
    bool m_recurse = false;
    std::unique_ptr<TWalk> m_walk;
    bool m_listing = false;  // a worker reads a folder of the walk
    bool m_walked = false;
    std::size_t m_listed = 0;  // the number of the walk's next listing
    std::deque<std::shared_ptr<TListing>> m_reading;  // listings with files still to claim
    std::deque<std::function<void()>> m_tasks;
    std::vector<std::thread> m_workers;
};

}  // namespace varnok
