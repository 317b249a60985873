#pragma once
// Reading files whole, and reading the files of a listing ahead of their edit
// pass on a second thread, so that the disk and the kernel's copying overlap
// the matching. Only the edit pass's thread edits, writes and reports; the
// reader only opens and reads, at most a few files ahead.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
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

    // Done by the reader to every file it read; set before the first listing.
    // It must depend on nothing but the file's bytes.
    std::function<void(TReadFile&)> Prepare;

    // The files of a new listing, in the order they will be asked for; what
    // is left of the previous listing is dropped.
    void Listed(const std::vector<std::string>& fileNames);
    // The file if it was read ahead; otherwise the caller reads it itself.
    // Files of the listing passed over are dropped.
    std::optional<TReadFile> Take(const std::string& fileName);

private:
    struct TReady {
        std::string Name;
        std::optional<TReadFile> File;  // none when reading failed
        std::size_t Bytes;
    };
    void Work();
    // Reads and prepares a file; none when it cannot be read.
    std::optional<TReadFile> ReadPrepared(const std::string& fileName);

    std::mutex m_mutex;
    // Each side is woken only while it waits, and the reader only once half
    // of what it read ahead is taken: a wake-up costs more than a small file.
    std::condition_variable m_forReader, m_forTaker;
    bool m_readerWaits = false, m_takerWaits = false;
    std::deque<std::string> m_waiting;
    std::deque<TReady> m_ready;
    std::size_t m_readyBytes = 0;
    std::string m_reading;
    // A file the taker read itself while the reader was busy; the taker's own.
    std::optional<TReady> m_side;
    unsigned m_listing = 0;
    bool m_quit = false;
    std::thread m_thread;
};

}  // namespace varnok
