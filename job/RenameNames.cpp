#include "RenameNames.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "HeldFolder.h"

namespace varnok {
namespace {

bool Holds(int folder, const std::string& name, dev_t device, ino_t inode, struct stat* info, int* error) {
    if (fstatat(folder, name.c_str(), info, AT_SYMLINK_NOFOLLOW) != 0) {
        *error = errno;
        return false;
    }
    *error = 0;
    return info->st_dev == device && info->st_ino == inode;
}

}  // namespace

std::string ChangedName(const TChangeSet& changes, const std::string& name) {
    // Texts are edited as lines ending in CR LF.
    std::string text = name + "\r\n";
    if (changes.ApplyAll(text) == 0) return name;
    // A match at the end ("$") may have taken the CR, or the whole break.
    if (text.ends_with("\r\n")) {
        text.resize(text.size() - 2);
    } else if (text.ends_with('\n') || text.ends_with('\r')) {
        text.pop_back();
    }
    return text;
}

std::string NameRefusal(const std::string& name) {
    if (name.empty()) return "the new name is empty";
    if (name == "." || name == "..") return "the new name \"" + name + "\" names a folder itself";
    for (const char c : name) {
        if (c == '/') return "the new name " + name + " holds a /";
        if (c == '\0') return "the new name holds a NUL";
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return "the new name holds a control character";
    }
    return {};
}

std::string RenameHeld(int folder, const std::string& from, const std::string& to, dev_t device, ino_t inode,
                       const std::string& changed) {
    struct stat info {};
    int error = 0;
    if (!Holds(folder, from, device, inode, &info, &error)) {
        return error == 0 || error == ENOENT ? changed : ReasonText(error);
    }
    if (renameat2(folder, from.c_str(), folder, to.c_str(), RENAME_NOREPLACE) == 0) return {};
    error = errno;
    if (error == EEXIST) return "exists already";
    if (error != EINVAL && error != ENOSYS && error != EOPNOTSUPP) return ReasonText(error);
    // Without the flag a rename would replace whatever took the new name
    // meanwhile: a folder is left, a file gets a second link first.
    if (S_ISDIR(info.st_mode)) return "the file system cannot rename it without replacing";
    if (linkat(folder, from.c_str(), folder, to.c_str(), 0) != 0) {
        error = errno;
        return error == EEXIST ? "exists already" : ReasonText(error);
    }
    struct stat now {};
    if (!Holds(folder, from, device, inode, &now, &error)) {
        // The link is ours as long as it is still the entry linked.
        struct stat made {};
        int madeError = 0;
        if (Holds(folder, to, device, inode, &made, &madeError) && unlinkat(folder, to.c_str(), 0) != 0) {
            return ReasonText(errno);
        }
        return error == 0 || error == ENOENT ? changed : ReasonText(error);
    }
    if (unlinkat(folder, from.c_str(), 0) != 0) return ReasonText(errno);
    return {};
}

}  // namespace varnok
