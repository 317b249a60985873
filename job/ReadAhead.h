#pragma once
// Reading files whole, and reading the files of a listing ahead of their edit
// pass, so that both cores read and match while files are written. A second
// thread reads ahead; the edit pass's thread, rather than wait for a file the
// reader is busy with, reads further files of the listing itself. Only the
// edit pass's thread edits, writes and reports.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

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
};

// Raises "Cannot open file NAME" when it cannot be opened or read.
TReadFile ReadFileToEdit(const std::string& fileName);

class TReadAhead {
public:
    TReadAhead() = default;
    ~TReadAhead();
    TReadAhead(const TReadAhead&) = delete;
    TReadAhead& operator=(const TReadAhead&) = delete;

    // Done to every file read ahead, on either thread; set before the first
    // listing. It must depend on nothing but the file's bytes.
    std::function<void(TReadFile&)> Prepare;

    // The files of a new listing, in the order they will be asked for; what
    // is left of the previous listing is dropped.
    void Listed(const std::vector<std::string>& fileNames);
    // The file if it was read ahead; otherwise the caller reads it itself.
    // Files of the listing passed over are dropped.
    std::optional<TReadFile> Take(const std::string& fileName);

private:
    struct TListing;
    void Work();
    // Reads and prepares one file of the listing that nobody has claimed
    // yet; false when none may be claimed now.
    bool ReadOneAhead(TListing& listing);
    bool ReaderHasWork(const TListing* listing, unsigned generation) const;
    void WakeReader();

    std::mutex m_mutex;
    std::condition_variable m_forReader, m_forTaker;
    // Each side sleeps only after waiting awake for a while, and is woken only
    // while it sleeps: a wake-up costs more than reading a small file.
    std::atomic<bool> m_readerSleeps{false}, m_takerSleeps{false}, m_quit{false};
    std::atomic<unsigned> m_generation{0};
    std::shared_ptr<TListing> m_listing;  // replaced under m_mutex
    std::thread m_thread;
};

}  // namespace varnok
