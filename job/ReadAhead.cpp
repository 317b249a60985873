#include "ReadAhead.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <utility>

namespace varnok {
namespace {

// Enough to keep the workers busy, little enough not to hold much memory.
constexpr std::size_t kFilesAhead = 32;
constexpr std::size_t kBytesAhead = 64u << 20;
constexpr std::size_t kListingsAhead = 256;  // many folders may hold no matching file
constexpr std::size_t kListingsRead = 2;     // the one read from and the next, listed
// Waiting awake, for a file a worker is finishing or for room to read ahead,
// before going to sleep.
constexpr int kAwakeWaits = 200;
// A sleeping worker looks again after this even if nobody woke it.
constexpr auto kWorkerNap = std::chrono::milliseconds(5);

// What a slot of a listing holds; only the claimer writes a slot that is
// kReading, only the edit pass touches one that is kReady.
enum TSlotState : int { kFree, kReading, kReady, kDone };

[[noreturn]] void CannotOpen(const std::string& name, int error) {
    if (error == kChangedDuringRun || error == ELOOP) throw TChangedDuringRun(name);
    throw std::runtime_error("Cannot open file " + name + ": " + ReasonText(error));
}

// O_NOFOLLOW: a name that turned into a link since its listing is left out.
// O_NONBLOCK: a name that turned into a FIFO since its listing must not block.
// O_NOATIME where the file's owner allows it: searching a file is no use of
// it, and sparing the inode update makes reading a tree much cheaper.
TOpenFile OpenForReading(int folder, const std::string& fileName) {
    TOpenFile file;
    constexpr int flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW;
    const char* name = fileName.c_str() + (fileName.rfind('/') + 1);
    clock_gettime(CLOCK_REALTIME, &file.ReadAt);
    file.Descriptor = openat(folder, name, flags | O_NOATIME);
    if (file.Descriptor < 0 && errno == EPERM) file.Descriptor = openat(folder, name, flags);
    if (file.Descriptor < 0) CannotOpen(fileName, errno);
    if (fstat(file.Descriptor, &file.Info) != 0 || !S_ISREG(file.Info.st_mode)) {
        const int error = S_ISREG(file.Info.st_mode) ? errno : kChangedDuringRun;
        close(file.Descriptor);
        CannotOpen(fileName, error);
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
std::optional<TReadFile> ReadPrepared(const TFolderRef& folder, const std::string& fileName,
                                      const std::function<void(TReadFile&)>& prepare) {
    try {
        TReadFile file = ReadFileToEdit(folder, fileName);
        if (prepare) prepare(file);
        return file;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// Names a listing, for telling the workers' apart from the edit pass's.
std::string KeyOf(const std::string& folder, const std::string& mask) {
    return folder + '\0' + mask;
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
      Folder(std::move(other.Folder)),
      FolderDescriptor(std::move(other.FolderDescriptor)),
      Contents(std::move(other.Contents)),
      Edited(std::move(other.Edited)),
      EditedCount(other.EditedCount),
      ContentsDigest(other.ContentsDigest) {
    other.File.Descriptor = -1;
}

TReadFile& TReadFile::operator=(TReadFile&& other) noexcept {
    std::swap(File, other.File);
    Folder.swap(other.Folder);
    FolderDescriptor.swap(other.FolderDescriptor);
    Contents.swap(other.Contents);
    Edited.swap(other.Edited);
    EditedCount = other.EditedCount;
    ContentsDigest = other.ContentsDigest;
    return *this;
}

// One read of the size fstat saw; only a file that claims to be empty (some
// kernel files do) is read up to its end.
TReadFile ReadFileToEdit(const TFolderRef& folder, const std::string& fileName) {
    TReadFile whole;
    int error = 0;
    whole.FolderDescriptor = folder->Open(&error);
    if (!whole.FolderDescriptor) CannotOpen(fileName, error);
    whole.Folder = folder;
    whole.File = OpenForReading(whole.FolderDescriptor->Fd, fileName);
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
        if (n < 0) CannotOpen(fileName, errno);
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

    TListing(TFolderRef folder, const std::string& mask, std::vector<std::string> fileNames)
        : Key(KeyOf(folder->Path(), mask)),
          Names(std::move(fileNames)),
          Slots(std::make_unique<TSlot[]>(Names.size())),
          Folder(std::move(folder)) {}

    bool MayClaim() const { return NextClaim.load() < Names.size(); }

    const std::string Key;
    const std::vector<std::string> Names;
    const std::unique_ptr<TSlot[]> Slots;
    const TFolderRef Folder;
    int Error = 0;
    bool FirstOfFolder = false;
    std::optional<std::vector<TFolderRef>> SubFolders;  // after the last mask's, in a recursive walk
    std::atomic<std::size_t> NextClaim{0};  // the first slot nobody claimed
    std::size_t Cursor = 0;  // the edit pass's: the first slot not yet taken or passed over
};

TReadAhead::TReadAhead() = default;
TReadAhead::~TReadAhead() { Stop(); }

// The walk of the edit pass, one listing at a time: a folder's listings mask
// by mask, then its sub-folders' in turn when recursing.
struct TReadAhead::TWalk {
    struct TLevel {
        std::vector<TFolderRef> Folders;
        std::size_t Next = 0;
    };
    std::vector<TLevel> Pending;
    TFolderRef Folder;
    TFolderEntries Entries;
    std::size_t Mask = 0;  // of Folder's, the next to list; all listed when past the last
};

void TReadAhead::Start(const std::vector<std::string>& paths,
                       const std::vector<std::string>& masks, bool recurse) {
    Stop();
    m_paths.clear();
    for (const std::string& path : paths) m_paths.push_back(TFolder::OpenNamed(path));
    m_masks = masks;
    m_recurse = recurse;
    m_quit = false;
    m_walk = std::make_unique<TWalk>();
    m_walk->Pending.push_back({m_paths, 0});
    m_walk->Mask = m_masks.size();
    m_walked = m_masks.empty();
    m_listed = 0;
    // Signals go to the thread that started the run, as they did before it
    // had workers: the workers start with every signal blocked.
    sigset_t all, before;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &before);
    const unsigned workers = std::max(1u, std::thread::hardware_concurrency());
    try {
        for (unsigned i = 0; i < workers; ++i) m_workers.emplace_back([this] { Work(); });
    } catch (...) {
        pthread_sigmask(SIG_SETMASK, &before, nullptr);
        throw;
    }
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

void TReadAhead::Stop() {
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_forWorkers.notify_all();
    for (std::thread& worker : m_workers) worker.join();
    m_workers.clear();
    m_tasks.clear();
    m_reading.clear();
    m_walk.reset();
    m_listing = false;
    m_queue.clear();
    m_queueStart = 0;
    m_current.reset();
    m_takerListing = 0;
    m_filesAhead = 0;
    m_bytesAhead = 0;
}

void TReadAhead::Submit(std::function<void()> task) {
    {
        std::lock_guard lock(m_mutex);
        m_tasks.push_back(std::move(task));
    }
    m_forWorkers.notify_one();
}

void TReadAhead::WakeWorkers() {
    { std::lock_guard lock(m_mutex); }
    m_forWorkers.notify_one();
}

std::vector<std::string> TReadAhead::FilesWanted(const std::string& folder,
                                                 const TFolderEntries& entries,
                                                 const std::string& mask) const {
    std::vector<std::string> names = FilesMatching(folder, entries, mask);
    if (Wanted) std::erase_if(names, [this](const std::string& name) { return !Wanted(name); });
    return names;
}

bool TReadAhead::HasRoom() const {
    return m_filesAhead.load() < kFilesAhead && m_bytesAhead.load() < kBytesAhead;
}

// What was read for a slot passed over is freed here, or by the thread that read it.
void TReadAhead::Drop(TListing& listing, std::size_t slot) {
    TListing::TSlot& dropped = listing.Slots[slot];
    if (dropped.State.exchange(kDone) == kReady) {
        m_bytesAhead -= dropped.Bytes;
        --m_filesAhead;
        dropped.File.reset();
    }
}

TWalkListing TReadAhead::Listing(const std::string& folder, const std::string& mask) {
    std::vector<std::shared_ptr<TListing>> passed;
    std::unique_lock lock(m_mutex);
    const std::size_t number = m_takerListing;
    for (;;) {
        while (!m_queue.empty() && m_queueStart < number) {
            passed.push_back(std::move(m_queue.front()));
            m_queue.pop_front();
            ++m_queueStart;
        }
        if (!m_queue.empty() || m_walked) break;
        if (!m_listing) {
            ListAhead(lock);
            continue;
        }
        m_takerSleeps = true;
        m_forTaker.wait(lock, [this] { return !m_listing || NextListingQueued(); });
        m_takerSleeps = false;
    }
    if (m_queue.empty() || m_queue.front()->Key != KeyOf(folder, mask)) {
        throw std::logic_error("The walk of " + folder + " is out of step");
    }
    m_current = m_queue.front();
    m_takerListing = number + 1;
    lock.unlock();
    for (const auto& listing : passed) {
        for (std::size_t i = 0; i < listing->Names.size(); ++i) Drop(*listing, i);
    }
    if (m_workersAsleep) WakeWorkers();
    return {m_current->Names, m_current->Folder, m_current->Error, m_current->FirstOfFolder};
}

bool TReadAhead::NextListingQueued() const {
    return m_queueStart + m_queue.size() > m_takerListing;
}

std::vector<std::string> TReadAhead::SubFoldersOf(const std::string& folder) const {
    std::vector<std::string> paths;
    if (m_current && m_current->SubFolders && m_current->Folder->Path() == folder) {
        for (const TFolderRef& subFolder : *m_current->SubFolders) paths.push_back(subFolder->Path());
    }
    return paths;
}

bool TReadAhead::ReadOneAhead(TListing& listing) {
    std::size_t at = listing.NextClaim.load();
    for (;;) {
        if (at >= listing.Names.size() || !HasRoom()) return false;
        if (!listing.NextClaim.compare_exchange_weak(at, at + 1)) continue;
        int state = kFree;
        if (listing.Slots[at].State.compare_exchange_strong(state, kReading)) break;
        at = listing.NextClaim.load();  // passed over already
    }
    ++m_filesAhead;
    TListing::TSlot& slot = listing.Slots[at];
    slot.File = ReadPrepared(listing.Folder, listing.Names[at], Prepare);
    slot.Bytes = HeldBytes(slot.File);
    m_bytesAhead += slot.Bytes;
    int state = kReading;
    if (!slot.State.compare_exchange_strong(state, kReady)) {
        m_bytesAhead -= slot.Bytes;
        --m_filesAhead;
        slot.File.reset();
    } else if (m_takerSleeps) {
        std::lock_guard lock(m_mutex);
        m_forTaker.notify_one();
    }
    return true;
}

std::optional<TReadFile> TReadAhead::Take(const std::string& fileName) {
    TListing* listing = m_current.get();
    if (!listing) return std::nullopt;
    std::size_t wanted = listing->Cursor;
    while (wanted < listing->Names.size() && listing->Names[wanted] != fileName) ++wanted;
    if (wanted == listing->Names.size()) return std::nullopt;
    for (; listing->Cursor < wanted; ++listing->Cursor) Drop(*listing, listing->Cursor);

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
            m_bytesAhead -= slot.Bytes;
            --m_filesAhead;
            taken = std::exchange(slot.File, std::nullopt);
            slot.State.store(kDone);
            break;
        }
        if (state != kReading) break;
        // Rather than wait for a worker, read a file after this one: every
        // thread then reads, which is what a listing of small files with few
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
    listing->Cursor = wanted + 1;
    if (m_workersAsleep) WakeWorkers();
    return taken;
}

std::shared_ptr<TReadAhead::TListing> TReadAhead::NextListing(TWalk& walk) {
    while (walk.Mask == m_masks.size()) {
        while (!walk.Pending.empty() && walk.Pending.back().Next == walk.Pending.back().Folders.size()) {
            walk.Pending.pop_back();
        }
        if (walk.Pending.empty()) return nullptr;
        TWalk::TLevel& level = walk.Pending.back();
        walk.Folder = level.Folders[level.Next++];
        walk.Entries = ListFolder(*walk.Folder);
        walk.Mask = 0;
    }
    const std::string& mask = m_masks[walk.Mask++];
    auto listing = std::make_shared<TListing>(walk.Folder, mask,
                                              FilesWanted(walk.Folder->Path(), walk.Entries, mask));
    listing->Error = walk.Entries.Error;
    listing->FirstOfFolder = walk.Mask == 1;
    if (walk.Mask == m_masks.size() && m_recurse) {
        std::vector<TFolderRef> subFolders;
        for (const std::string& name : walk.Entries.Folders) subFolders.push_back(TFolder::Below(walk.Folder, name));
        walk.Pending.push_back({subFolders, 0});
        listing->SubFolders = std::move(subFolders);
    }
    return listing;
}

// The workers list a folder or two ahead of the files they read, so that the
// edit pass finds each listing made when it gets there.
bool TReadAhead::MayList() const {
    return !m_walked && !m_listing && m_reading.size() < kListingsRead &&
           m_listed < m_takerListing + kListingsAhead;
}

void TReadAhead::ListAhead(std::unique_lock<std::mutex>& lock) {
    m_listing = true;  // the walk is this worker's until it is done
    lock.unlock();
    std::shared_ptr<TListing> listing = NextListing(*m_walk);
    lock.lock();
    m_listing = false;
    if (!listing) {
        m_walked = true;
    } else {
        // In walk order: the edit pass waits for each listing, so it is never past one.
        if (m_queue.empty()) m_queueStart = m_listed;
        ++m_listed;
        m_queue.push_back(listing);
        m_reading.push_back(std::move(listing));
        m_forWorkers.notify_all();
    }
    if (m_takerSleeps) m_forTaker.notify_all();
}

bool TReadAhead::HasWork() const {
    if (m_quit || !m_tasks.empty() || MayList()) return true;
    return HasRoom() && std::any_of(m_reading.begin(), m_reading.end(),
                                    [](const auto& listing) { return listing->MayClaim(); });
}

// Writes first: they free memory and let the edit pass go on. Then a listing
// when the edit pass is about to need it, then reading ahead.
void TReadAhead::Work() {
    std::unique_lock lock(m_mutex);
    while (!m_quit || !m_tasks.empty()) {
        if (!m_tasks.empty()) {
            std::function<void()> task = std::move(m_tasks.front());
            m_tasks.pop_front();
            lock.unlock();
            task();
            lock.lock();
            continue;
        }
        if (m_quit) break;
        if (MayList()) {
            ListAhead(lock);
            continue;
        }
        while (!m_reading.empty() && !m_reading.front()->MayClaim()) m_reading.pop_front();
        if (!m_reading.empty() && HasRoom()) {
            const std::shared_ptr<TListing> listing = m_reading.front();
            lock.unlock();
            ReadOneAhead(*listing);
            lock.lock();
            continue;
        }
        // Awake for a while first: the edit pass usually makes room soon.
        bool work = false;
        for (int spin = 0; spin < kAwakeWaits && !work; ++spin) {
            lock.unlock();
            std::this_thread::yield();
            lock.lock();
            work = HasWork();
        }
        if (work) continue;
        ++m_workersAsleep;
        m_forWorkers.wait_for(lock, kWorkerNap, [this] { return HasWork(); });
        --m_workersAsleep;
    }
}

}  // namespace varnok
