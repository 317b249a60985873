#include "ReadAhead.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "FileIo.h"
#include "TextEncoding.h"

namespace varnok {
namespace {

// Enough to keep the workers busy, few enough to hold few descriptors.
constexpr std::size_t kFilesAhead = 32;
constexpr std::size_t kListingsAhead = 256;  // many folders may hold no matching file
constexpr std::size_t kListingsRead = 2;     // the one read from and the next, listed

// What a slot of a listing holds; only the claimer writes a slot that is
// kReading, only the edit pass touches one that is kReady.
enum TSlotState : int { kFree, kReading, kReady, kDone };

[[noreturn]] void CannotRead(const std::string& name, int error) {
    if (error == kChangedDuringRun || error == ELOOP) throw TChangedDuringRun(name);
    CannotOpen(name, error);
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
    if (file.Descriptor < 0) CannotRead(fileName, errno);
    if (fstat(file.Descriptor, &file.Info) != 0 || !S_ISREG(file.Info.st_mode)) {
        const int error = S_ISREG(file.Info.st_mode) ? errno : kChangedDuringRun;
        close(file.Descriptor);
        CannotRead(fileName, error);
    }
    return file;
}

// The file opened below its folder, not yet read.
TReadFile OpenToEdit(const TFolderRef& folder, const std::string& fileName) {
    TReadFile file;
    file.Name = fileName;
    int error = 0;
    file.FolderDescriptor = folder->Open(&error);
    if (!file.FolderDescriptor) CannotRead(fileName, error);
    file.Folder = folder;
    file.File = OpenForReading(file.FolderDescriptor->Fd, fileName);
    return file;
}

// One read of the size fstat saw; only a file that claims to be empty (some
// kernel files do) is read up to its end. Big files: huge pages halve the
// cost of the page faults of the buffer.
void ReadContents(TReadFile& file, const std::string& fileName, bool wholeIfBinary) {
    constexpr std::size_t kPage = 4096, kPiece = 1u << 20;
    const auto size = static_cast<std::size_t>(file.File.Info.st_size);
    std::string& data = file.Contents;
    data.reserve(size);
    if (size >= (4u << 20)) {
        const auto begin = (reinterpret_cast<std::uintptr_t>(data.data()) + kPage - 1) & ~(kPage - 1);
        madvise(reinterpret_cast<void*>(begin), (size - kPage) & ~(kPage - 1), MADV_HUGEPAGE);
    }
    if (wholeIfBinary || size <= kPiece) {
        if (!ReadWhole(file.File.Descriptor, data, size)) CannotRead(fileName, errno);
        return;
    }
    // Piece by piece: a binary file is known at its first NUL, and the rest
    // is never read. UTF-16 text holds NULs and is read whole.
    data.resize(size);
    std::size_t used = 0;
    bool utf16 = false;
    while (used < size) {
        const std::size_t wanted = std::min(kPiece, size - used);
        const ssize_t got = pread(file.File.Descriptor, data.data() + used, wanted, static_cast<off_t>(used));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) CannotRead(fileName, errno);
        if (got == 0) break;
        if (used == 0) utf16 = IsUtf16(KindOf(std::string_view(data.data(), 2)));
        const bool nul = !utf16 && std::memchr(data.data() + used, '\0', static_cast<std::size_t>(got)) != nullptr;
        used += static_cast<std::size_t>(got);
        if (nul) break;
    }
    data.resize(used);
}

// What an edit of size bytes may need at its peak: the bytes read, an
// upper-cased copy to search and the text being built.
std::size_t EditNeeds(const struct stat& info) {
    return 3 * static_cast<std::size_t>(info.st_size) + 65536;
}

// What is left of a prepared file until the edit pass takes it.
std::size_t KeptBytes(const TReadFile& file) {
    std::size_t bytes = file.Contents.capacity();
    if (file.Edit) bytes += file.Edit->Work.Text.capacity() + file.Edit->Work.Rest.capacity();
    return bytes;
}

// Names a listing, for telling the workers' apart from the edit pass's.
std::string KeyOf(const std::string& folder, const std::string& mask) {
    return folder + '\0' + mask;
}

}  // namespace

TReadFile::~TReadFile() {
    if (File.Descriptor >= 0) close(File.Descriptor);
}

TReadFile::TReadFile(TReadFile&& other) noexcept
    : Name(std::move(other.Name)),
      File(std::exchange(other.File, {})),
      Folder(std::move(other.Folder)),
      FolderDescriptor(std::move(other.FolderDescriptor)),
      Contents(std::move(other.Contents)),
      Edit(std::move(other.Edit)),
      NewContents(std::move(other.NewContents)),
      ContentsDigest(other.ContentsDigest),
      NewDigest(other.NewDigest) {}

TReadFile& TReadFile::operator=(TReadFile&& other) noexcept {
    Name.swap(other.Name);
    std::swap(File, other.File);
    Folder.swap(other.Folder);
    FolderDescriptor.swap(other.FolderDescriptor);
    Contents.swap(other.Contents);
    Edit.swap(other.Edit);
    NewContents.swap(other.NewContents);
    ContentsDigest = other.ContentsDigest;
    NewDigest = other.NewDigest;
    return *this;
}

TReadFile ReadFileToEdit(const TFolderRef& folder, const std::string& fileName, bool wholeIfBinary) {
    TReadFile file = OpenToEdit(folder, fileName);
    ReadContents(file, fileName, wholeIfBinary);
    return file;
}

// The memory of the files being read and edited, and of what is kept of
// them until the edit pass takes them.
class TReadAhead::TBudget {
public:
    // Waits until need fits beside what is in use, or until no other file
    // is being read or edited: those end without waiting for anything, so
    // this never waits for ever, and a file larger than the budget is alone.
    void Acquire(std::size_t need) {
        std::unique_lock lock(m_mutex);
        if (m_inUse + need > kMemoryBudget && m_editing != 0) {
            ++m_waiting;
            m_freed.wait(lock, [&] { return m_inUse + need <= kMemoryBudget || m_editing == 0; });
            --m_waiting;
        }
        m_inUse += need;
        ++m_editing;
    }
    // The edit that acquired need is done; kept: what stays until Release.
    void Settle(std::size_t need, std::size_t kept) {
        std::lock_guard lock(m_mutex);
        m_inUse = m_inUse + kept - need;
        m_kept += kept;
        --m_editing;
        if (m_waiting != 0) m_freed.notify_all();
    }
    void Release(std::size_t kept) {
        std::lock_guard lock(m_mutex);
        m_inUse -= kept;
        m_kept -= kept;
        if (m_waiting != 0) m_freed.notify_all();
    }
    std::size_t Kept() const {
        std::lock_guard lock(m_mutex);
        return m_kept;
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_freed;
    std::size_t m_inUse = 0, m_kept = 0;
    int m_editing = 0, m_waiting = 0;
};

struct TReadAhead::TListing {
    struct TSlot {
        std::atomic<int> State{kFree};
        std::optional<TReadFile> File;  // none when reading or preparing failed
        std::size_t Kept = 0;           // of the budget
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
    std::vector<std::pair<std::string, std::string>> Skipped;
    std::atomic<std::size_t> NextClaim{0};  // the first slot nobody claimed
    std::size_t Cursor = 0;  // the edit pass's: the first slot not yet taken or passed over
};

// The walk of the edit pass, one listing at a time: a folder's listings mask
// by mask, then its sub-folders' in turn when recursing.
struct TReadAhead::TWalk {
    struct TLevel {
        std::vector<TFolderRef> Folders;
        std::size_t Next = 0;
        std::vector<std::string> Relative;  // each folder's path below its named folder
    };
    std::vector<TLevel> Pending;
    TFolderRef Folder;
    std::string Relative;
    TFolderEntries Entries;
    std::size_t Mask = 0;  // of Folder's, the next to list; all listed when past the last
};

TReadAhead::TReadAhead() : m_budget(std::make_unique<TBudget>()) {}
TReadAhead::~TReadAhead() { Stop(); }

void TReadAhead::Start(const std::vector<std::string>& paths,
                       const std::vector<std::string>& masks, bool recurse) {
    Stop();
    m_paths.clear();
    for (const std::string& path : paths) m_paths.push_back(TFolder::OpenNamed(path));
    m_masks = masks;
    m_recurse = recurse;
    m_quit = false;
    m_walk = std::make_unique<TWalk>();
    m_walk->Pending.push_back({m_paths, 0, std::vector<std::string>(m_paths.size())});
    m_walk->Mask = m_masks.size();
    m_walked = m_masks.empty();
    m_listed = 0;
    TWorkerPool::TSource* source = this;
    m_pool = std::make_unique<TWorkerPool>(source);  // set before the workers look at it
    m_pool->Start(JobThreads(Jobs) - 1);
}

void TReadAhead::Stop() {
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    if (m_pool) m_pool->Stop();  // before the workers stop looking at it
    m_pool.reset();
    m_reading.clear();
    m_walk.reset();
    m_listing = false;
    m_queue.clear();
    m_queueStart = 0;
    m_current.reset();
    m_takerListing = 0;
    m_filesAhead = 0;
    m_budget = std::make_unique<TBudget>();
}

std::vector<std::string> TReadAhead::FilesWanted(const std::string& folder,
                                                 const TFolderEntries& entries,
                                                 const std::string& mask) const {
    std::vector<std::string> names = FilesMatching(folder, entries, mask);
    if (Wanted) std::erase_if(names, [this](const std::string& name) { return !Wanted(name); });
    return names;
}

bool TReadAhead::HasRoom() const {
    return m_filesAhead.load() < kFilesAhead && m_budget->Kept() < kMemoryBudget;
}

void TReadAhead::WakeWorkersIfRoom() {
    if (m_pool && m_filesAhead.load() <= kFilesAhead / 2 && m_budget->Kept() <= kMemoryBudget / 2) {
        m_pool->Wake();
    }
}

// What was read for a slot passed over is freed here, or by the thread that read it.
void TReadAhead::Drop(TListing& listing, std::size_t slot) {
    TListing::TSlot& dropped = listing.Slots[slot];
    if (dropped.State.exchange(kDone) == kReady) {
        m_budget->Release(dropped.Kept);
        --m_filesAhead;
        dropped.File.reset();
    }
}

TReadFile TReadAhead::ReadAndPrepare(const TFolderRef& folder, const std::string& fileName) {
    return ReadAndPrepare(folder, fileName, nullptr);
}

// kept: set for a file read ahead, whose leftovers stay in the budget until
// the edit pass takes them.
TReadFile TReadAhead::ReadAndPrepare(const TFolderRef& folder, const std::string& fileName, std::size_t* kept) {
    TReadFile file = OpenToEdit(folder, fileName);
    const std::size_t need = EditNeeds(file.File.Info);
    m_budget->Acquire(need);
    try {
        ReadContents(file, fileName, WholeBinaryFiles);
        if (Prepare) Prepare(file);
    } catch (...) {
        m_budget->Settle(need, 0);
        throw;
    }
    if (kept) *kept = KeptBytes(file);
    m_budget->Settle(need, kept ? *kept : 0);
    return file;
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
        m_takerWaitsForListing = true;
        m_forTaker.wait(lock, [this] { return !m_listing || NextListingQueued(); });
        m_takerWaitsForListing = false;
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
    if (m_pool) m_pool->Wake();  // the walk may go further ahead now
    return {m_current->Names, m_current->Folder, m_current->Error, m_current->FirstOfFolder, m_current->Skipped};
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
    slot.Kept = 0;
    try {
        slot.File = ReadAndPrepare(listing.Folder, listing.Names[at], &slot.Kept);
    } catch (const std::exception&) {
        // The edit pass reads the file again when it gets to it, and what
        // fails then is reported in walk order.
        slot.File.reset();
    }
    int state = kReading;
    if (!slot.State.compare_exchange_strong(state, kReady)) {
        m_budget->Release(slot.Kept);
        --m_filesAhead;
        slot.File.reset();
    } else if (m_takerWaitsFor.load() == &slot) {
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
    for (;;) {
        int state = slot.State.load();
        if (state == kFree) {
            if (slot.State.compare_exchange_strong(state, kDone)) break;
            continue;
        }
        if (state == kReady) {
            m_budget->Release(slot.Kept);
            --m_filesAhead;
            taken = std::exchange(slot.File, std::nullopt);
            slot.State.store(kDone);
            break;
        }
        if (state != kReading) break;
        // Rather than wait for a worker, prepare a file after this one: every
        // thread then works, which is what a listing of small files needs.
        if (ReadOneAhead(*listing)) continue;
        std::unique_lock lock(m_mutex);
        m_takerWaitsFor = &slot;
        m_forTaker.wait(lock, [&slot] { return slot.State.load() != kReading; });
        m_takerWaitsFor = nullptr;
    }
    listing->Cursor = wanted + 1;
    WakeWorkersIfRoom();
    return taken;
}

std::shared_ptr<TReadAhead::TListing> TReadAhead::NextListing(TWalk& walk) {
    while (walk.Mask == m_masks.size()) {
        while (!walk.Pending.empty() && walk.Pending.back().Next == walk.Pending.back().Folders.size()) {
            walk.Pending.pop_back();
        }
        if (walk.Pending.empty()) return nullptr;
        TWalk::TLevel& level = walk.Pending.back();
        walk.Relative = level.Relative[level.Next];
        walk.Folder = level.Folders[level.Next++];
        walk.Entries = ListFolder(*walk.Folder);
        if (Filter) Filter->Apply(walk.Folder->Path(), walk.Relative, walk.Entries);
        walk.Mask = 0;
    }
    const std::string& mask = m_masks[walk.Mask++];
    auto listing = std::make_shared<TListing>(walk.Folder, mask,
                                              FilesWanted(walk.Folder->Path(), walk.Entries, mask));
    listing->Error = walk.Entries.Error;
    listing->FirstOfFolder = walk.Mask == 1;
    if (listing->FirstOfFolder && Filter) listing->Skipped = Filter->TakeProblems();
    if (walk.Mask == m_masks.size() && m_recurse) {
        TWalk::TLevel below;
        for (const std::string& name : walk.Entries.Folders) {
            below.Folders.push_back(TFolder::Below(walk.Folder, name));
            below.Relative.push_back(walk.Relative.empty() ? name : walk.Relative + "/" + name);
        }
        listing->SubFolders = below.Folders;
        walk.Pending.push_back(std::move(below));
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
    m_listing = true;  // the walk is this thread's until it is done
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
        if (m_pool) m_pool->Wake();
    }
    if (m_takerWaitsForListing) m_forTaker.notify_all();
}

// A listing when the edit pass is about to need it, then reading ahead.
bool TReadAhead::WorkOnce() {
    std::unique_lock lock(m_mutex);
    if (m_quit) return false;
    if (MayList()) {
        ListAhead(lock);
        return true;
    }
    while (!m_reading.empty() && !m_reading.front()->MayClaim()) m_reading.pop_front();
    if (m_reading.empty() || !HasRoom()) return false;
    const std::shared_ptr<TListing> listing = m_reading.front();
    lock.unlock();
    ReadOneAhead(*listing);  // another thread may have claimed the last file: look again
    return true;
}

}  // namespace varnok
