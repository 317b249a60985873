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
#include <string>
#include <thread>
#include <vector>

#include "Digest.h"
#include "MyDirectory.h"
#include "SafeWrite.h"
#include "WorkingText.h"

namespace varnok {

// A file read whole and still open (a backup may be copied from it).
class TReadFile {
public:
    TReadFile() = default;
    ~TReadFile();
    TReadFile(TReadFile&& other) noexcept;
    TReadFile& operator=(TReadFile&& other) noexcept;

    TOpenFile File;
    std::string Contents;
    // Left by the preparation on a worker, if any: the working text with the
    // changes applied (Contents is then used up) and their count.
    std::optional<TWorkingText> Edited;
    long long EditedCount = 0;
    // Of Contents as read, taken before the changes used them up, when the
    // run keeps a journal and a change may apply.
    std::optional<TDigest> ContentsDigest;
};

// Raises "Cannot open file NAME" when it cannot be opened or read. Given the
// descriptor of the file's folder, only the name's last part is looked up.
TReadFile ReadFileToEdit(const std::string& fileName, int folder = AT_FDCWD);

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

    // Starts the workers on the walk the edit pass is about to make: the
    // files of each folder of paths, mask by mask, then its sub-folders when
    // recurse is set, with the walker's own listings.
    void Start(const std::vector<std::string>& paths, const std::vector<std::string>& masks,
               bool recurse);
    // Ends the workers, once they have done every task handed to them, and
    // drops what they read.
    void Stop();
    std::size_t Workers() const { return m_workers.size(); }
    // Runs task on a worker, ahead of reading further files.
    void Submit(std::function<void()> task);

    // The next listing of the edit pass's walk: the files of folder matching
    // mask, as the workers listed it when they got there first, or listed now.
    std::vector<std::string> Listing(const std::string& folder, const std::string& mask);
    // The folders below folder that a recursive walk enters, as the workers
    // found them, or read now. Asked for right after folder's last listing.
    std::vector<std::string> SubFoldersOf(const std::string& folder) const;
    // The file if it was read ahead; otherwise the caller reads it itself.
    // Files of the listing passed over are dropped.
    std::optional<TReadFile> Take(const std::string& fileName);

private:
    // A folder held open while its files are read ahead.
    struct TFolderHandle {
        explicit TFolderHandle(const std::string& folder);
        ~TFolderHandle();
        TFolderHandle(const TFolderHandle&) = delete;
        TFolderHandle& operator=(const TFolderHandle&) = delete;
        const int Descriptor;
    };
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
    // Queues listing as number n of the walk; gives the one to read from:
    // none when the edit pass is past it, or the edit pass's own.
    std::shared_ptr<TListing> ListingAhead(std::size_t n, std::shared_ptr<TListing> listing);
    // Reads and prepares one file of the listing that nobody has claimed
    // yet; false when none may be claimed now.
    bool ReadOneAhead(TListing& listing);
    bool HasRoom() const;
    std::vector<std::string> FilesWanted(const std::string& folder, const TFolderEntries& entries,
                                         const std::string& mask) const;
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
    std::vector<std::string> m_paths, m_masks;
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
