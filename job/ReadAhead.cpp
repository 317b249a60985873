#include "ReadAhead.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <utility>

namespace varnok {
namespace {

// Enough to keep the reader busy, little enough not to hold much memory.
constexpr std::size_t kFilesAhead = 16;
constexpr std::size_t kBytesAhead = 64u << 20;
// Waiting awake: the edit pass for a file the reader is finishing, the reader
// for the next listing (the edit pass lists a folder in well under this).
constexpr int kAwakeWaits = 200;
constexpr auto kReaderAwake = std::chrono::microseconds(500);

// What a slot of a listing holds; only the claimer writes a slot that is
// kReading, only the edit pass touches one that is kReady.
enum TSlotState : int { kFree, kReading, kReady, kDone };

[[noreturn]] void CannotOpen(const std::string& name) {
    throw std::runtime_error("Cannot open file " + name);
}

// O_NONBLOCK: a name that turned into a FIFO since its listing must not block.
// O_NOATIME where the file's owner allows it: searching a file is no use of
// it, and sparing the inode update makes reading a tree much cheaper.
TOpenFile OpenForReading(const std::string& fileName) {
    TOpenFile file;
    constexpr int flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    file.Descriptor = open(fileName.c_str(), flags | O_NOATIME);
    if (file.Descriptor < 0 && errno == EPERM) file.Descriptor = open(fileName.c_str(), flags);
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

// Reads and prepares a file; none when it cannot be read (the edit pass then
// reads it again and raises the error in its turn).
std::optional<TReadFile> ReadPrepared(const std::string& fileName,
                                      const std::function<void(TReadFile&)>& prepare) {
    try {
        TReadFile file = ReadFileToEdit(fileName);
        if (prepare) prepare(file);
        return file;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::size_t HeldBytes(const std::optional<TReadFile>& file) {
    if (!file) return 0;
    const std::size_t edited = file->Edited ? file->Edited->Text.size() + file->Edited->Rest.size() : 0;
    return file->Contents.size() + edited;
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

struct TReadAhead::TListing {
    struct TSlot {
        std::atomic<int> State{kFree};
        std::optional<TReadFile> File;  // none when reading failed
        std::size_t Bytes = 0;
    };

    explicit TListing(const std::vector<std::string>& fileNames)
        : Names(fileNames), Slots(std::make_unique<TSlot[]>(fileNames.size())) {}

    bool MayClaim() const {
        const std::size_t next = NextClaim.load();
        return next < Names.size() && next < Cursor.load() + kFilesAhead &&
               BytesAhead.load() < kBytesAhead;
    }

    // A file passed over: what was read for it is freed here, or by its reader.
    void Drop(TSlot& slot) {
        if (slot.State.exchange(kDone) == kReady) {
            BytesAhead -= slot.Bytes;
            slot.File.reset();
        }
    }

    const std::vector<std::string> Names;
    const std::unique_ptr<TSlot[]> Slots;
    std::atomic<std::size_t> NextClaim{0};   // the first slot nobody claimed
    std::atomic<std::size_t> Cursor{0};      // the first slot not yet taken or passed over
    std::atomic<std::size_t> BytesAhead{0};  // held in slots kReady
};

TReadAhead::~TReadAhead() {
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_forReader.notify_one();
    if (m_thread.joinable()) m_thread.join();
}

void TReadAhead::WakeReader() {
    { std::lock_guard lock(m_mutex); }
    m_forReader.notify_one();
}

void TReadAhead::Listed(const std::vector<std::string>& fileNames) {
    auto listing = fileNames.empty() ? nullptr : std::make_shared<TListing>(fileNames);
    {
        std::lock_guard lock(m_mutex);
        listing.swap(m_listing);
        ++m_generation;
    }
    if (!m_thread.joinable() && fileNames.size() > 1) m_thread = std::thread([this] { Work(); });
    if (m_readerSleeps) m_forReader.notify_one();
}

bool TReadAhead::ReadOneAhead(TListing& listing) {
    std::size_t at = listing.NextClaim.load();
    for (;;) {
        if (at >= listing.Names.size() || at >= listing.Cursor.load() + kFilesAhead ||
            listing.BytesAhead.load() >= kBytesAhead) {
            return false;
        }
        if (!listing.NextClaim.compare_exchange_weak(at, at + 1)) continue;
        int state = kFree;
        if (listing.Slots[at].State.compare_exchange_strong(state, kReading)) break;
        at = listing.NextClaim.load();  // passed over already
    }
    TListing::TSlot& slot = listing.Slots[at];
    slot.File = ReadPrepared(listing.Names[at], Prepare);
    slot.Bytes = HeldBytes(slot.File);
    listing.BytesAhead += slot.Bytes;
    int state = kReading;
    if (!slot.State.compare_exchange_strong(state, kReady)) {
        listing.BytesAhead -= slot.Bytes;
        slot.File.reset();
    } else if (m_takerSleeps) {
        std::lock_guard lock(m_mutex);
        m_forTaker.notify_one();
    }
    return true;
}

std::optional<TReadFile> TReadAhead::Take(const std::string& fileName) {
    // Only this thread replaces the listing, so it may look at it unlocked.
    TListing* listing = m_listing.get();
    if (!listing) return std::nullopt;
    std::size_t at = listing->Cursor.load();
    std::size_t wanted = at;
    while (wanted < listing->Names.size() && listing->Names[wanted] != fileName) ++wanted;
    if (wanted == listing->Names.size()) return std::nullopt;
    for (; at < wanted; ++at) listing->Drop(listing->Slots[at]);
    listing->Cursor.store(wanted);

    TListing::TSlot& slot = listing->Slots[wanted];
    std::optional<TReadFile> taken;
    int spins = 0;
    for (;;) {
        int state = slot.State.load();
        if (state == kFree) {
            if (slot.State.compare_exchange_strong(state, kDone)) break;
            continue;
        }
        if (state == kReady) {
            listing->BytesAhead -= slot.Bytes;
            taken = std::exchange(slot.File, std::nullopt);
            slot.State.store(kDone);
            break;
        }
        if (state != kReading) break;
        // Rather than wait for the reader, read a file after this one: both
        // threads then read, which is what a listing of small files with few
        // changes needs.
        if (ReadOneAhead(*listing)) continue;
        if (spins++ < kAwakeWaits) {
            std::this_thread::yield();
            continue;
        }
        std::unique_lock lock(m_mutex);
        m_takerSleeps = true;
        m_forTaker.wait(lock, [&slot] { return slot.State.load() != kReading; });
        m_takerSleeps = false;
    }
    listing->Cursor.store(wanted + 1);
    if (m_readerSleeps) WakeReader();
    return taken;
}

bool TReadAhead::ReaderHasWork(const TListing* listing, unsigned generation) const {
    return m_quit || m_generation != generation || (listing && listing->MayClaim());
}

void TReadAhead::Work() {
    std::shared_ptr<TListing> listing;
    unsigned generation = 0;
    for (;;) {
        if (m_quit) return;
        if (m_generation != generation) {
            std::lock_guard lock(m_mutex);
            listing = m_listing;
            generation = m_generation;
        }
        if (listing && ReadOneAhead(*listing)) continue;
        const auto awakeUntil = std::chrono::steady_clock::now() + kReaderAwake;
        while (!ReaderHasWork(listing.get(), generation) &&
               std::chrono::steady_clock::now() < awakeUntil) {
            std::this_thread::yield();
        }
        std::unique_lock lock(m_mutex);
        m_readerSleeps = true;
        m_forReader.wait(lock, [&] { return ReaderHasWork(listing.get(), generation); });
        m_readerSleeps = false;
    }
}

}  // namespace varnok
