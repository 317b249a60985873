#include "HeldFolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <deque>
#include <stdexcept>
#include <system_error>

#include "MyDirectory.h"

namespace varnok {
namespace {

constexpr std::size_t kHeldFolders = 64;

// The descriptors kept open: the most recently opened. Those in use by a
// reader or writer stay open until it is done with them.
class THeld {
public:
    void Hold(TDescriptorRef descriptor) {
        std::lock_guard lock(m_mutex);
        m_held.push_back(std::move(descriptor));
        if (m_held.size() > kHeldFolders) m_held.pop_front();
    }

private:
    std::mutex m_mutex;
    std::deque<TDescriptorRef> m_held;
};

THeld& Held() {
    static THeld held;
    return held;
}

enum class TKind { File, Folder, Other };

// Links are never followed: a link, to a file or to a folder, is Other.
TKind KindOf(int folder, const dirent64& entry) {
    switch (entry.d_type) {
        case DT_REG: return TKind::File;
        case DT_DIR: return TKind::Folder;
        case DT_UNKNOWN: break;
        default: return TKind::Other;
    }
    struct stat info {};
    if (fstatat(folder, entry.d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) return TKind::Other;
    return S_ISREG(info.st_mode) ? TKind::File : S_ISDIR(info.st_mode) ? TKind::Folder : TKind::Other;
}

}  // namespace

TDescriptor::~TDescriptor() {
    if (Fd >= 0) close(Fd);
}

bool SameInode(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::string ReasonText(int error) {
    if (error == kChangedDuringRun) return "changed during the run";
    return std::generic_category().message(error);
}

TFolder::TFolder(TFolderRef parent, std::string name, std::string path)
    : m_parent(std::move(parent)), m_name(std::move(name)), m_path(std::move(path)) {}

TFolderRef TFolder::OpenNamed(const std::string& path) {
    auto folder = std::make_shared<TFolder>(nullptr, path, path);
    const int fd = open(path.empty() ? "." : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || fstat(fd, &info) != 0) {
        const int error = errno;
        if (fd >= 0) close(fd);
        throw std::runtime_error("Cannot open folder " + path + ": " + ReasonText(error));
    }
    folder->m_pinned = std::make_shared<const TDescriptor>(fd);
    folder->m_descriptor = folder->m_pinned;
    folder->m_identity = info;
    return folder;
}

TFolderRef TFolder::Below(const TFolderRef& parent, const std::string& name) {
    return std::make_shared<TFolder>(parent, name, JoinPath(parent->m_path, name));
}

TDescriptorRef TFolder::Open(int* error) const {
    std::lock_guard lock(m_mutex);
    if (TDescriptorRef held = m_descriptor.lock()) return held;
    // Only a sub-folder is ever let go: a named folder is pinned.
    const TDescriptorRef parent = m_parent->Open(error);
    if (!parent) return nullptr;
    const int fd = openat(parent->Fd, m_name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || fstat(fd, &info) != 0) {
        *error = errno == ELOOP ? kChangedDuringRun : errno;
        if (fd >= 0) close(fd);
        return nullptr;
    }
    if (m_identity && !SameInode(*m_identity, info)) {
        close(fd);
        *error = kChangedDuringRun;
        return nullptr;
    }
    m_identity = info;
    auto descriptor = std::make_shared<const TDescriptor>(fd);
    m_descriptor = descriptor;
    Held().Hold(descriptor);
    return descriptor;
}

dev_t TFolder::Device() const {
    std::lock_guard lock(m_mutex);
    return m_identity ? m_identity->st_dev : 0;
}

ino_t TFolder::Inode() const {
    std::lock_guard lock(m_mutex);
    return m_identity ? m_identity->st_ino : 0;
}

// Straight from the kernel, through the folder's own descriptor: a stream
// would cost a descriptor and three calls more for each folder.
TFolderEntries ReadEntriesAt(int folder) {
    TFolderEntries entries;
    if (lseek(folder, 0, SEEK_SET) != 0) return {{}, {}, errno};
    alignas(dirent64) char buffer[32768];
    for (;;) {
        const ssize_t read = getdents64(folder, buffer, sizeof buffer);
        if (read < 0 && errno == EINTR) continue;
        if (read < 0) return {{}, {}, errno};  // part of a listing is no listing
        if (read == 0) break;
        for (ssize_t at = 0; at < read;) {
            const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
            at += entry->d_reclen;
            const std::string_view name = entry->d_name;
            if (name.front() == '.') continue;
            switch (KindOf(folder, *entry)) {
                case TKind::File: entries.Files.emplace_back(name); break;
                case TKind::Folder: entries.Folders.emplace_back(name); break;
                case TKind::Other: break;
            }
        }
    }
    return entries;
}

TFolderEntries ListFolder(const TFolder& folder) {
    int error = 0;
    const TDescriptorRef descriptor = folder.Open(&error);
    if (!descriptor) return {{}, {}, error};
    return ReadEntriesAt(descriptor->Fd);
}

}  // namespace varnok
