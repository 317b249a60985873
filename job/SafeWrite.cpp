#include "SafeWrite.h"

#include <acl/libacl.h>
#include <attr/libattr.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/sendfile.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>
#include <utility>

#include "FileIo.h"
#include "MyDirectory.h"

namespace varnok {
namespace {

bool SameContentsStamp(const struct stat& a, const struct stat& b) {
    return SameInode(a, b) && a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
           a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

bool Unchanged(const struct stat& now, const struct stat& read) {
    return SameContentsStamp(now, read) && now.st_ctim.tv_sec == read.st_ctim.tv_sec &&
           now.st_ctim.tv_nsec == read.st_ctim.tv_nsec;
}

bool HoldsInode(int folder, const std::string& name, const struct stat& inode) {
    struct stat now {};
    return fstatat(folder, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 && SameInode(now, inode);
}

// Removes name only while it holds one of the run's own inodes.
void RemoveIfHolds(int folder, const std::string& name, const struct stat& inode) {
    if (HoldsInode(folder, name, inode)) unlinkat(folder, name.c_str(), 0);
}

// A name no entry is likely to have, hidden from every walk: ".NAME.RANDOM.$$$".
std::string FreshHiddenName(const std::string& name) {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::minstd_rand random(std::random_device{}());
    std::string suffix = ".";
    for (int i = 0; i < 6; ++i) suffix += kLetters[random() % (sizeof kLetters - 1)];
    suffix += ".$$$";
    constexpr std::size_t kNameMax = 255;
    return "." + name.substr(0, kNameMax - 1 - suffix.size()) + suffix;
}

bool LinkDescriptor(int fd, int folder, const std::string& name) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    return linkat(AT_FDCWD, self.c_str(), folder, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

// Attributes a process may not set are left out: security.* but for root;
// so are those the system's attribute rules skip, and the ACL, which
// perm_copy_fd copied.
int MayCopyAttribute(const char* name, struct error_context* context) {
    if (geteuid() != 0 && std::strncmp(name, "security.", 9) == 0) return 0;
    return attr_copy_action(name, context) == 0;
}

// Owner and group where the process may give them, then the ACL and
// permission bits, then the extended attributes, then the set-id bits,
// which a set-id bit keeps only with the owner (or group) it was given for.
// False with errno set.
// made: the new file as created, when known: what it has already is not set again.
bool TakeAttributes(int from, const struct stat& original, int to, const struct stat* made = nullptr) {
    mode_t setId = original.st_mode & 07000;
    const bool owned = made && made->st_uid == original.st_uid && made->st_gid == original.st_gid;
    if (!owned && fchown(to, original.st_uid, original.st_gid) != 0) {
        if (fchown(to, static_cast<uid_t>(-1), original.st_gid) != 0) setId &= ~S_ISGID;
        setId &= ~S_ISUID;
    }
    // A file with no extended attribute has no ACL either: its bits say all.
    const ssize_t listed = flistxattr(from, nullptr, 0);
    const mode_t mode = (original.st_mode & 0777) | setId;
    if (listed <= 0) return (owned && (made->st_mode & 07777) == mode) || fchmod(to, mode) == 0;
    if (perm_copy_fd(nullptr, from, nullptr, to, nullptr) != 0) return false;
    if (attr_copy_fd(nullptr, from, nullptr, to, MayCopyAttribute, nullptr) != 0) return false;
    if (setId == 0) return true;
    struct stat now {};
    return fstat(to, &now) == 0 && fchmod(to, (now.st_mode & 0777) | setId) == 0;
}

// Closes fd; false with errno telling the first failure when `done` is false
// or the close fails.
bool CloseAfter(int fd, bool done) {
    const int error = errno;
    if (close(fd) != 0) return false;
    errno = error;
    return done;
}

// A copy of the file read under name, created exclusively: for file systems
// without hard links. False with errno set; nothing is left under name then.
bool CopyExclusively(const TOpenFile& original, int folder, const std::string& name, struct stat* made) {
    const int fd = openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    const bool done = CloseAfter(fd, CopyInto(original.Descriptor, original.Info, fd) &&
                                         TakeAttributes(original.Descriptor, original.Info, fd) &&
                                         fstat(fd, made) == 0);
    if (!done) {
        const int error = errno;
        unlinkat(folder, name.c_str(), 0);
        errno = error;
    }
    return done;
}

// Whether the file read still holds, byte for byte, what was read.
bool StillHolds(const TOpenFile& original, const TDigest& readDigest) {
    struct stat now {};
    if (fstat(original.Descriptor, &now) != 0 || now.st_size != original.Info.st_size) return false;
    // By position: the descriptor's offset is where the first read left it.
    std::string data;
    return PreadWhole(original.Descriptor, data, static_cast<std::size_t>(now.st_size), 0) &&
           DigestOf(data) == readDigest;
}

}  // namespace

bool TooRecentToTrust(const struct stat& info, const timespec& readAt) {
    const long long window = info.st_mtim.tv_nsec == 0 ? 2'000'000'000LL : 100'000'000LL;
    const long long modified = info.st_mtim.tv_sec * 1'000'000'000LL + info.st_mtim.tv_nsec;
    const long long read = readAt.tv_sec * 1'000'000'000LL + readAt.tv_nsec;
    return modified + window >= read;
}

bool CopyInto(int from, const struct stat& info, int to) {
    off_t offset = 0;
    while (offset < info.st_size) {
        const ssize_t n = sendfile(to, from, &offset, static_cast<std::size_t>(info.st_size - offset));
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) errno = ENOSPC;
        if (n <= 0) return false;
    }
    return true;
}

std::string TPlace::FullName() const { return JoinPath(FolderName, Name); }

TNewContents::~TNewContents() { Release(); }

void TNewContents::Release() {
    if (m_named) RemoveIfHolds(m_place.Folder->Fd, m_tempName, m_info);
    m_named = false;
    if (m_descriptor >= 0) close(std::exchange(m_descriptor, -1));
}

TNewContents::TNewContents(TNewContents&& other) noexcept
    : m_place(std::move(other.m_place)),
      m_descriptor(std::exchange(other.m_descriptor, -1)),
      m_info(other.m_info),
      m_tempName(std::move(other.m_tempName)),
      m_named(std::exchange(other.m_named, false)) {}

TNewContents& TNewContents::operator=(TNewContents&& other) noexcept {
    std::swap(m_place, other.m_place);
    std::swap(m_descriptor, other.m_descriptor);
    std::swap(m_info, other.m_info);
    m_tempName.swap(other.m_tempName);
    std::swap(m_named, other.m_named);
    return *this;
}

TNewContents WriteNewContents(const TPlace& place, const TOpenFile& original, std::string_view text,
                              std::string_view rest, TWriteRecord* record) {
    TNewContents contents;
    contents.m_place = place;
    const int folder = place.Folder->Fd;
    contents.m_tempName = FreshHiddenName(place.Name);
    const auto cannotCreate = [&](int error) {
        CannotCreate(JoinPath(place.FolderName, contents.m_tempName), error);
    };
    // Unnamed, it may have the old file's bits from the start (the umask may
    // take some, which TakeAttributes gives back); a named one is the
    // owner's alone until it has the old file's owner and group.
    int fd = openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, original.Info.st_mode & 0777);
    if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        for (int attempt = 0; fd < 0; ++attempt) {
            fd = openat(folder, contents.m_tempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            if (fd >= 0 || errno != EEXIST || attempt == 100) break;
            contents.m_tempName = FreshHiddenName(place.Name);
        }
        if (fd >= 0) contents.m_named = true;
    }
    if (fd < 0) cannotCreate(errno);
    contents.m_descriptor = fd;
    if (fstat(fd, &contents.m_info) != 0) cannotCreate(errno);
    if (contents.m_named && record) record->Temporary(place, contents.m_tempName, contents.m_info);
    const struct stat made = contents.m_info;
    if (!(WriteAll(fd, text) && WriteAll(fd, rest) && TakeAttributes(original.Descriptor, original.Info, fd, &made) &&
          fstat(fd, &contents.m_info) == 0)) {
        cannotCreate(errno);  // the destructor removes what was made
    }
    return contents;
}

// PutInPlace's steps, and what undoes them when a later one fails.
class TPlacing {
public:
    TPlacing(const TPlace& place, const TOpenFile& original, TNewContents& contents, TWriteRecord* record)
        : m_place(place), m_folder(place.Folder->Fd), m_original(original), m_contents(contents), m_record(record) {}

    ~TPlacing() {
        if (m_done) return;
        // Only entries holding this run's own links are touched.
        if (m_displaced) {
            struct stat atBackup {};
            if (fstatat(m_folder, m_backup.c_str(), &atBackup, AT_SYMLINK_NOFOLLOW) == 0 &&
                SameInode(atBackup, m_original.Info) && HoldsInode(m_folder, *m_displaced, m_older) &&
                renameat2(m_folder, m_displaced->c_str(), m_folder, m_backup.c_str(), RENAME_EXCHANGE) == 0) {
                RemoveIfHolds(m_folder, *m_displaced, m_original.Info);
            }
        } else if (m_backupMade) {
            RemoveIfHolds(m_folder, m_backup, m_backupInfo);
        }
        m_contents.Release();
    }

    bool StillAsRead() const {
        struct stat now {};
        return fstat(m_original.Descriptor, &now) == 0 && Unchanged(now, m_original.Info) &&
               HoldsInode(m_folder, m_place.Name, m_original.Info);
    }

    // False when the file must be left as it is (older backup changed meanwhile).
    bool MakeBackup(const std::string& backup) {
        m_backup = backup;
        if (LinkDescriptor(m_original.Descriptor, m_folder, backup)) {
            m_backupMade = true;
            m_backupInfo = m_original.Info;
            return true;
        }
        if (errno == EEXIST) return ReplaceOlder();
        if (errno == EPERM || errno == EMLINK || errno == EOPNOTSUPP || errno == ENOENT) {
            // No hard links here (or no /proc to make them from): a copy.
            if (CopyExclusively(m_original, m_folder, backup, &m_backupInfo)) {
                m_backupMade = true;
                return true;
            }
        }
        CannotCreate(JoinPath(m_place.FolderName, backup), errno);
    }

    // Names the new contents and swaps them in; false when the file changed.
    bool Exchange(const TDigest& readDigest) {
        NameNewContents();
        const std::string& temp = m_contents.m_tempName;
        if (TooRecentToTrust(m_original.Info, m_original.ReadAt) && !StillHolds(m_original, readDigest)) return false;
        if (!HoldsInode(m_folder, m_place.Name, m_original.Info)) return false;
        if (renameat2(m_folder, temp.c_str(), m_folder, m_place.Name.c_str(), RENAME_EXCHANGE) != 0) {
            if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
                CannotCreate(m_place.FullName(), errno);
            }
            // No exchange in this file system: the check above stands for it.
            if (renameat(m_folder, temp.c_str(), m_folder, m_place.Name.c_str()) != 0) {
                CannotCreate(m_place.FullName(), errno);
            }
            m_contents.m_named = false;
            return true;
        }
        struct stat out {};
        if (fstatat(m_folder, temp.c_str(), &out, AT_SYMLINK_NOFOLLOW) != 0 ||
            !SameContentsStamp(out, m_original.Info)) {
            // Another program put its file there after the check: it goes back.
            if (HoldsInode(m_folder, m_place.Name, m_contents.m_info)) {
                renameat2(m_folder, temp.c_str(), m_folder, m_place.Name.c_str(), RENAME_EXCHANGE);
            } else {
                m_contents.m_named = false;  // the name no longer holds ours: nothing to remove
            }
            return false;
        }
        // The old file is in the backup (or was this run's own output).
        unlinkat(m_folder, temp.c_str(), 0);
        m_contents.m_named = false;
        return true;
    }

    // Whether the backup name was free.
    bool BackupMade() const { return !m_replacedOlder; }

    void Done() {
        if (m_displaced) RemoveIfHolds(m_folder, *m_displaced, m_older);
        m_done = true;
        m_contents.Release();
    }

private:
    void Journal(const std::string& name, const struct stat& inode) {
        if (m_record) m_record->Temporary(m_place, name, inode);
    }

    // The older backup, kept with the journal, makes way for a link of the
    // file read, made under a free name and exchanged with it.
    bool ReplaceOlder() {
        m_replacedOlder = true;
        if (m_record) {
            m_older = m_record->KeepOlder(m_place, m_backup);
        } else if (fstatat(m_folder, m_backup.c_str(), &m_older, AT_SYMLINK_NOFOLLOW) != 0) {
            CannotCreate(JoinPath(m_place.FolderName, m_backup), errno);
        }
        std::string link;
        for (int attempt = 0;; ++attempt) {
            link = FreshHiddenName(m_place.Name);
            Journal(link, m_original.Info);
            if (LinkDescriptor(m_original.Descriptor, m_folder, link)) break;
            if (errno != EEXIST || attempt == 100) CannotCreate(JoinPath(m_place.FolderName, m_backup), errno);
        }
        if (renameat2(m_folder, link.c_str(), m_folder, m_backup.c_str(), RENAME_EXCHANGE) == 0) {
            m_displaced = link;
            return HoldsInode(m_folder, link, m_older);  // if not, the destructor swaps back
        }
        int error = errno;
        if (error == EINVAL || error == ENOSYS || error == EOPNOTSUPP) {
            // No exchange in this file system: the older backup, kept with the
            // journal, is replaced while it is still the one kept.
            if (!HoldsInode(m_folder, m_backup, m_older)) {
                unlinkat(m_folder, link.c_str(), 0);
                return false;
            }
            if (renameat(m_folder, link.c_str(), m_folder, m_backup.c_str()) == 0) {
                m_backupMade = true;
                m_backupInfo = m_original.Info;
                return true;
            }
            error = errno;
        }
        unlinkat(m_folder, link.c_str(), 0);
        CannotCreate(JoinPath(m_place.FolderName, m_backup), error);
    }

    void NameNewContents() {
        if (m_contents.m_named) return;
        for (int attempt = 0;; ++attempt) {
            Journal(m_contents.m_tempName, m_contents.m_info);
            if (LinkDescriptor(m_contents.m_descriptor, m_folder, m_contents.m_tempName)) break;
            if (errno != EEXIST || attempt == 100) {
                CannotCreate(JoinPath(m_place.FolderName, m_contents.m_tempName), errno);
            }
            m_contents.m_tempName = FreshHiddenName(m_place.Name);
        }
        m_contents.m_named = true;
    }

    const TPlace& m_place;
    const int m_folder;
    const TOpenFile& m_original;
    TNewContents& m_contents;
    TWriteRecord* const m_record;
    std::string m_backup;
    bool m_backupMade = false;  // the name held nothing before
    bool m_replacedOlder = false;
    struct stat m_backupInfo {};
    std::optional<std::string> m_displaced;  // the hidden name holding the older backup
    struct stat m_older {};
    bool m_done = false;
};

std::function<void(const std::string& fileName)> BeforePlacingForTests;

TPlaced PutInPlace(const TPlace& place, const TOpenFile& original, const TDigest& readDigest,
                   TNewContents& contents, const std::string* backupName, TWriteRecord* record) {
    if (BeforePlacingForTests) BeforePlacingForTests(place.FullName());
    const TPlaced changed{false, ReasonText(kChangedDuringRun)};
    TPlacing placing(place, original, contents, record);
    if (!placing.StillAsRead()) return changed;
    try {
        if (backupName && !placing.MakeBackup(*backupName)) return changed;
    } catch (const TCannotKeep& cannot) {
        return {false, cannot.what()};
    }
    if (record) record->Replacing(placing.BackupMade());
    if (!placing.Exchange(readDigest)) {
        if (record) record->Skipped();
        return changed;
    }
    placing.Done();
    return {true, {}};
}

}  // namespace varnok
