#include "AtomicFile.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

#include "FileIo.h"

namespace varnok {

namespace {

[[noreturn]] void ThrowErrno(const std::string& what) {
    throw std::system_error(errno, std::generic_category(), what);
}

class TFileDescriptor {
public:
    explicit TFileDescriptor(int fd) : m_fd(fd) {}
    ~TFileDescriptor() {
        if (m_fd >= 0) ::close(m_fd);
    }
    TFileDescriptor(const TFileDescriptor&) = delete;
    TFileDescriptor& operator=(const TFileDescriptor&) = delete;
    int Get() const { return m_fd; }
    // close() reports deferred write errors, so the write path checks it.
    int Close() {
        int fd = m_fd;
        m_fd = -1;
        return ::close(fd);
    }

private:
    int m_fd;
};

}  // namespace

std::optional<std::string> ReadWholeFile(const std::string& path) {
    TFileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) {
        if (errno == ENOENT) return std::nullopt;
        ThrowErrno(path);
    }
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) ThrowErrno(path);
    // The reason is shown to the user: a folder in the way says so.
    if (!S_ISREG(st.st_mode)) {
        throw std::system_error(S_ISDIR(st.st_mode) ? EISDIR : EINVAL, std::generic_category(), path);
    }
    std::string text;
    if (!ReadWhole(fd.Get(), text, static_cast<std::size_t>(st.st_size))) ThrowErrno(path);
    return text;
}

std::string ProcessTempPath(const std::string& path) {
    return path + ".tmp-" + std::to_string(::getpid());
}

std::string LinkTarget(const std::string& path) {
    namespace fs = std::filesystem;
    fs::path current(path);
    for (int links = 0;; ++links) {
        std::error_code error;
        // An entry that cannot be looked at is no link as far as we know; the
        // open that follows reports why.
        if (!fs::is_symlink(fs::symlink_status(current, error))) {
            if (links == 0) return path;
            // The folder named plainly, for the messages that name the target.
            fs::path folder = fs::weakly_canonical(current.parent_path(), error);
            return error ? current.string() : (folder / current.filename()).string();
        }
        if (links == 40) throw std::system_error(ELOOP, std::generic_category(), path);
        fs::path target = fs::read_symlink(current, error);
        if (error) throw std::system_error(error, path);
        current = target.is_absolute() ? target : current.parent_path() / target;
    }
}

void ReplaceFileAtomically(const std::string& linkPath, const std::string& linkTemp, std::string_view data) {
    const std::string path = LinkTarget(linkPath);
    std::string temp = linkTemp;
    if (path != linkPath) {
        const std::size_t folderEnd = path.rfind('/');
        const std::string folder = folderEnd == std::string::npos ? std::string() : path.substr(0, folderEnd + 1);
        temp = linkTemp.starts_with(linkPath)
                   ? path + linkTemp.substr(linkPath.size())
                   : folder + std::filesystem::path(linkTemp).filename().string();
    }

    mode_t mode = 0600;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) mode = st.st_mode & 07777;

    ::unlink(temp.c_str());
    TFileDescriptor fd(
        ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (fd.Get() < 0) ThrowErrno(temp);
    try {
        if (!WriteAll(fd.Get(), data)) ThrowErrno(temp);
        if (::fchmod(fd.Get(), mode) != 0) ThrowErrno(temp);
        if (!SyncFile(fd.Get())) ThrowErrno(temp);
        if (fd.Close() != 0) ThrowErrno(temp);
        if (::rename(temp.c_str(), path.c_str()) != 0) ThrowErrno(path);
    } catch (...) {
        ::unlink(temp.c_str());
        throw;
    }
}

}  // namespace varnok
