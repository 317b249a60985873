#pragma once
// Reading files whole, and reading files ahead of their edit pass, so that
// both cores read and match while files are written. A second thread walks
// the folders ahead of the edit pass and reads their files; the edit pass's
// thread, rather than wait for a file the reader is busy with, reads further
// files of its listing itself. Only the edit pass's thread edits, writes and
// reports, and only its own listings decide which files are visited.

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
    // Left by the reader's preparation, if any: the working text with the
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
    TReadAhead() = default;
    ~TReadAhead();
    TReadAhead(const TReadAhead&) = delete;
    TReadAhead& operator=(const TReadAhead&) = delete;

    // Done to every file read ahead, on either thread; set before Start. It
    // must depend on nothing but the file's bytes.
    std::function<void(TReadFile&)> Prepare;
    // When set, the files it rejects are left out of every listing; set
    // before Start. Called on either thread.
    std::function<bool(const std::string& fileName)> Wanted;

    // Starts the reader on the walk the edit pass is about to make: the
    // files of each folder of paths, mask by mask, then its sub-folders when
    // recurse is set, with the walker's own listings.
    void Start(const std::vector<std::string>& paths, const std::vector<std::string>& masks,
               bool recurse);
    // Ends the reader and drops what it read.
    void Stop();

    // The next listing of the edit pass's walk: the files of folder matching
    // mask, as the reader listed them when it got there first, or listed now.
    std::vector<std::string> Listing(const std::string& folder, const std::string& mask);
    // The folders below folder that a recursive walk enters, as the reader
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
    // Waits, awake for a while and then asleep, until ready() or the end.
    template <class TReady> void ReaderWaitsFor(TReady ready);
    void WakeReader();

    std::mutex m_mutex;
    std::condition_variable m_forReader, m_forTaker;
    // Each side sleeps only after waiting awake for a while, and is woken only
    // while it sleeps: a wake-up costs more than reading a small file.
    std::atomic<bool> m_readerSleeps{false}, m_takerSleeps{false}, m_quit{false};
    // Listings from number m_queueStart on, under m_mutex: the edit pass's
    // current one first, then those the reader made ahead of it.
    std::deque<std::shared_ptr<TListing>> m_queue;
    std::size_t m_queueStart = 0;
    std::atomic<std::size_t> m_takerListing{0};  // number of the edit pass's listing, plus one
    std::shared_ptr<TListing> m_current;         // the edit pass's own
    std::atomic<std::size_t> m_filesAhead{0}, m_bytesAhead{0};  // claimed and not yet taken
    // The reader's walk, fixed before it starts.
    std::vector<std::string> m_paths, m_masks;
    bool m_recurse = false;
    std::thread m_thread;
};

}  // namespace varnok
