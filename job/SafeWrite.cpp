#include "SafeWrite.h"

#include <fcntl.h>
#include <sys/sendfile.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "TextUtils.h"

namespace varnok {
namespace {

// The designed message, then why: "Cannot create file NAME: REASON".
[[noreturn]] void CannotCreate(const std::string& name, int error) {
    throw std::runtime_error("Cannot create file " + name + ": " + std::generic_category().message(error));
}

int CreateFresh(const std::string& name, mode_t mode = 0600) {
    return open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
}

// Named later through /proc; without it a file is created under its name.
bool CanNameUnnamedFiles() {
    static const bool can = access("/proc/self/fd", F_OK) == 0;
    return can;
}

// An unnamed file in the folder of name, or -1 where the file system has none.
int CreateUnnamed(const std::string& name, mode_t mode) {
    if (!CanNameUnnamedFiles()) return -1;
    return open(FolderOf(name).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
}

bool LinkUnnamed(int fd, const std::string& name) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    return linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

// False on failure, with errno set.
bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) errno = ENOSPC;  // nothing taken and no reason given: the disk is full
        if (n <= 0) return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Permission bits and, where allowed, owner and group of the original. A
// set-id bit is kept only with the owner (or group) it was given for.
bool TakeOwnerAndMode(int fd, const struct stat& original) {
    mode_t mode = original.st_mode & 07777;
    struct stat now {};
    if (fstat(fd, &now) != 0) return false;
    if (now.st_uid != original.st_uid || now.st_gid != original.st_gid) {
        if (fchown(fd, original.st_uid, original.st_gid) != 0) {
            // Not the owner's to give: keep the group if we may, drop set-id bits.
            if (fchown(fd, static_cast<uid_t>(-1), original.st_gid) != 0) mode &= ~S_ISGID;
            mode &= ~S_ISUID;
        }
    }
    // Created with the original's bits, a file usually has them already.
    return (now.st_mode & 07777) == mode || fchmod(fd, mode) == 0;
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

// Closes fd; false with errno telling the first failure when `done` is false
// or the close fails.
bool CloseAfter(int fd, bool done) {
    const int error = errno;
    if (close(fd) != 0) return false;
    errno = error;
    return done;
}

// The old contents under backupName: a hard link, or a copy where links fail.
// False with errno set; nothing is left under backupName then.
bool MakeBackup(const std::string& fileName, const TOpenFile& original,
                const std::string& backupName) {
    if (link(fileName.c_str(), backupName.c_str()) == 0) return true;
    if (errno == EEXIST) {
        if (unlink(backupName.c_str()) != 0) return false;  // a folder, say: its reason counts
        if (link(fileName.c_str(), backupName.c_str()) == 0) return true;
    }
    const int fd = CreateFresh(backupName);
    if (fd < 0) return false;
    const bool done = CloseAfter(fd, CopyInto(original.Descriptor, original.Info, fd) &&
                                         TakeOwnerAndMode(fd, original.Info));
    if (!done) {
        const int error = errno;
        unlink(backupName.c_str());
        errno = error;
    }
    return done;
}

bool SameFile(const std::string& name, const struct stat& info) {
    struct stat now {};
    return lstat(name.c_str(), &now) == 0 && now.st_dev == info.st_dev && now.st_ino == info.st_ino;
}

}  // namespace

TNewContents::~TNewContents() {
    if (m_descriptor >= 0) close(m_descriptor);
    if (m_named) unlink(m_tempName.c_str());
}

TNewContents::TNewContents(TNewContents&& other) noexcept
    : m_descriptor(std::exchange(other.m_descriptor, -1)),
      m_tempName(std::move(other.m_tempName)),
      m_named(std::exchange(other.m_named, false)) {}

TNewContents& TNewContents::operator=(TNewContents&& other) noexcept {
    std::swap(m_descriptor, other.m_descriptor);
    m_tempName.swap(other.m_tempName);
    std::swap(m_named, other.m_named);
    return *this;
}

TNewContents WriteNewContents(const std::string& tempName, const TOpenFile& original,
                              std::string_view text, std::string_view rest) {
    TNewContents contents;
    contents.m_tempName = tempName;
    const mode_t mode = original.Info.st_mode & 0777;
    int fd = CreateUnnamed(tempName, mode);
    if (fd < 0) {
        fd = CreateFresh(tempName, mode);
        if (fd < 0 && errno == EEXIST && unlink(tempName.c_str()) == 0) fd = CreateFresh(tempName, mode);
        if (fd < 0) CannotCreate(tempName, errno);
        contents.m_named = true;
    }
    const bool written = WriteAll(fd, text) && WriteAll(fd, rest) && TakeOwnerAndMode(fd, original.Info);
    if (contents.m_named) {
        if (!CloseAfter(fd, written)) CannotCreate(tempName, errno);  // the destructor removes it
    } else {
        contents.m_descriptor = fd;
        if (!written) CannotCreate(tempName, errno);
    }
    return contents;
}

void PutInPlace(const std::string& fileName, const TOpenFile& original, TNewContents& contents,
                const std::string* backupName) {
    const std::string& tempName = contents.m_tempName;
    if (!contents.m_named) {
        bool linked = LinkUnnamed(contents.m_descriptor, tempName);
        if (!linked && errno == EEXIST && unlink(tempName.c_str()) == 0) {
            linked = LinkUnnamed(contents.m_descriptor, tempName);
        }
        if (!linked) CannotCreate(tempName, errno);
        contents.m_named = true;
        if (close(std::exchange(contents.m_descriptor, -1)) != 0) CannotCreate(tempName, errno);
    }
    if (backupName && !MakeBackup(fileName, original, *backupName)) CannotCreate(*backupName, errno);
    if (rename(tempName.c_str(), fileName.c_str()) != 0) {
        const int error = errno;
        // The file keeps its old contents, so the backup made for it goes too.
        // Unless the name no longer holds the file: then the backup may be
        // the only copy of what the file held.
        if (backupName && SameFile(fileName, original.Info)) unlink(backupName->c_str());
        CannotCreate(fileName, error);
    }
    contents.m_named = false;  // it is the file now
}

void ReplaceContents(const std::string& fileName, const TOpenFile& original,
                     const std::string& tempName, const std::string* backupName,
                     std::string_view text, std::string_view rest) {
    TNewContents contents = WriteNewContents(tempName, original, text, rest);
    PutInPlace(fileName, original, contents, backupName);
}

}  // namespace varnok
