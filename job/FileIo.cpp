#include "FileIo.h"

#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <system_error>

namespace varnok {
namespace {

// offset < 0: from fd's own offset.
bool ReadAt(int fd, std::string& out, std::size_t size, off_t offset) {
    constexpr std::size_t kFirstChunk = 64 * 1024;
    out.resize(size == 0 ? kFirstChunk : size);
    std::size_t used = 0;
    for (;;) {
        if (used == out.size()) {
            // Sized: the end is not looked for, which saves a read per file.
            if (size != 0) break;
            out.resize(out.size() * 2);
        }
        char* const to = out.data() + used;
        const std::size_t wanted = out.size() - used;
        const ssize_t n = offset < 0 ? read(fd, to, wanted) : pread(fd, to, wanted, offset + static_cast<off_t>(used));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int error = errno;
            out.resize(used);
            errno = error;
            return false;
        }
        if (n == 0) break;
        used += static_cast<std::size_t>(n);
    }
    out.resize(used);
    return true;
}

[[noreturn]] void Cannot(const char* what, const std::string& name, int error) {
    throw std::runtime_error(std::string("Cannot ") + what + " file " + name + ": " +
                             std::generic_category().message(error));
}

}  // namespace

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) errno = ENOSPC;
        if (n <= 0) return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool ReadWhole(int fd, std::string& out, std::size_t size) { return ReadAt(fd, out, size, -1); }

bool PreadWhole(int fd, std::string& out, std::size_t size, off_t offset) {
    if (offset < 0) {
        errno = EINVAL;
        return false;
    }
    return ReadAt(fd, out, size, offset);
}

bool SyncFile(int fd) { return fdatasync(fd) == 0; }

bool SyncFolder(int fd) { return fsync(fd) == 0; }

bool SyncFileSystem(int fd) { return syncfs(fd) == 0; }

void CannotOpen(const std::string& name, int error) { Cannot("open", name, error); }

void CannotCreate(const std::string& name, int error) { Cannot("create", name, error); }

void CannotWrite(const std::string& name, int error) { Cannot("write", name, error); }

void CannotDelete(const std::string& name, int error) { Cannot("delete", name, error); }

}  // namespace varnok
