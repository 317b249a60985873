#include "ReadAhead.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <stdexcept>
#include <thread>
#include <utility>

namespace varnok {
namespace {

// Enough to keep the reader busy, little enough not to hold much memory.
constexpr std::size_t kFilesAhead = 16;
constexpr std::size_t kBytesAhead = 64u << 20;
constexpr int kAwakeWaits = 200;

[[noreturn]] void CannotOpen(const std::string& name) {
    throw std::runtime_error("Cannot open file " + name);
}

// O_NONBLOCK: a name that turned into a FIFO since its listing must not block.
TOpenFile OpenForReading(const std::string& fileName) {
    TOpenFile file;
    file.Descriptor = open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (file.Descriptor < 0) CannotOpen(fileName);
    if (fstat(file.Descriptor, &file.Info) != 0 || !S_ISREG(file.Info.st_mode)) {
        close(file.Descriptor);
        CannotOpen(fileName);
    }
    return file;
}

// Big files: huge pages halve the cost of the page faults of the buffer.
void PreferHugePages(std::string& buffer, std::size_t size) {
    constexpr std::size_t kPage = 4096;
    if (size < (4u << 20)) return;
    const auto begin = (reinterpret_cast<std::uintptr_t>(buffer.data()) + kPage - 1) & ~(kPage - 1);
    madvise(reinterpret_cast<void*>(begin), (size - kPage) & ~(kPage - 1), MADV_HUGEPAGE);
}

}  // namespace

TReadFile::~TReadFile() {
    if (File.Descriptor >= 0) close(File.Descriptor);
}

TReadFile::TReadFile(TReadFile&& other) noexcept
    : File(other.File),
      Contents(std::move(other.Contents)),
      Edited(std::move(other.Edited)),
      EditedCount(other.EditedCount) {
    other.File.Descriptor = -1;
}

TReadFile& TReadFile::operator=(TReadFile&& other) noexcept {
    std::swap(File, other.File);
    Contents.swap(other.Contents);
    Edited.swap(other.Edited);
    EditedCount = other.EditedCount;
    return *this;
}

// One read of the size fstat saw; only a file that claims to be empty (some
// kernel files do) is read up to its end.
TReadFile ReadFileToEdit(const std::string& fileName) {
    TReadFile whole;
    whole.File = OpenForReading(fileName);
    const auto size = static_cast<std::size_t>(whole.File.Info.st_size);
    std::string& data = whole.Contents;
    data.reserve(size);
    PreferHugePages(data, size);
    data.resize(size == 0 ? 65536 : size);
    std::size_t used = 0;
    for (;;) {
        if (used == data.size()) {
            if (size != 0) break;
            data.resize(data.size() * 2);
        }
        const ssize_t n = read(whole.File.Descriptor, data.data() + used, data.size() - used);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) CannotOpen(fileName);
        if (n == 0) break;
        used += static_cast<std::size_t>(n);
    }
    data.resize(used);
    return whole;
}

TReadAhead::~TReadAhead() {
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_forReader.notify_one();
    if (m_thread.joinable()) m_thread.join();
}

void TReadAhead::Listed(const std::vector<std::string>& fileNames) {
    {
        std::lock_guard lock(m_mutex);
        ++m_listing;
        m_waiting.assign(fileNames.begin(), fileNames.end());
        m_ready.clear();
        m_readyBytes = 0;
        m_side.reset();
    }
    if (!m_thread.joinable() && fileNames.size() > 1) m_thread = std::thread([this] { Work(); });
    m_forReader.notify_one();
}

std::optional<TReadFile> TReadAhead::Take(const std::string& fileName) {
    if (m_side) {
        std::optional<TReady> side = std::exchange(m_side, std::nullopt);
        if (side->Name == fileName) return std::move(side->File);
    }
    std::unique_lock lock(m_mutex);
    int spins = 0;
    for (;;) {
        if (!m_ready.empty()) {
            TReady ready = std::move(m_ready.front());
            m_ready.pop_front();
            m_readyBytes -= ready.Bytes;
            if (m_readerWaits && m_ready.size() <= kFilesAhead / 2) m_forReader.notify_one();
            if (ready.Name == fileName) return std::move(ready.File);
        } else if (m_reading == fileName && !m_side && !m_waiting.empty()) {
            // Rather than wait for the reader, read the file after this one:
            // both threads then read, which is what a listing of small files
            // with few changes needs.
            std::string next = std::move(m_waiting.front());
            m_waiting.pop_front();
            lock.unlock();
            m_side.emplace(TReady{next, ReadPrepared(next), 0});
            lock.lock();
        } else if (m_reading == fileName) {
            // Most files take the reader microseconds: wait awake for a while
            // first, since falling asleep and being woken costs more than that.
            if (spins++ < kAwakeWaits) {
                lock.unlock();
                std::this_thread::yield();
                lock.lock();
                continue;
            }
            m_takerWaits = true;
            m_forTaker.wait(lock);
            m_takerWaits = false;
        } else {
            // Not read yet: the caller reads it now, and the reader goes on after it.
            const auto at = std::find(m_waiting.begin(), m_waiting.end(), fileName);
            if (at != m_waiting.end()) m_waiting.erase(m_waiting.begin(), at + 1);
            return std::nullopt;
        }
    }
}

std::optional<TReadFile> TReadAhead::ReadPrepared(const std::string& fileName) {
    try {
        TReadFile file = ReadFileToEdit(fileName);
        if (Prepare) Prepare(file);
        return file;
    } catch (const std::exception&) {
        // Done again by the edit pass, which then raises the error in its turn.
        return std::nullopt;
    }
}

void TReadAhead::Work() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        while (!m_quit && (m_waiting.empty() || m_ready.size() >= kFilesAhead ||
                           m_readyBytes >= kBytesAhead)) {
            m_readerWaits = true;
            m_forReader.wait(lock);
            m_readerWaits = false;
        }
        if (m_quit) return;
        const std::string name = std::move(m_waiting.front());
        m_waiting.pop_front();
        m_reading = name;
        const unsigned listing = m_listing;
        lock.unlock();
        std::optional<TReadFile> file = ReadPrepared(name);
        const std::size_t bytes = file ? file->Contents.size() : 0;
        lock.lock();
        if (listing == m_listing) {
            m_readyBytes += bytes;
            m_ready.push_back({name, std::move(file), bytes});
        }
        m_reading.clear();
        if (m_takerWaits) m_forTaker.notify_one();
    }
}

}  // namespace varnok
