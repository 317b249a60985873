#pragma once
// Making a file immutable, so that no one may replace it: a rewrite of it
// then fails. Needs CAP_LINUX_IMMUTABLE (CI has it) and a file system that
// has the flag.

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <string>

namespace varnok::testing {

inline bool SetImmutable(const std::string& name, bool on) {
    const int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
    int flags = 0;
    bool done = fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    done = done && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    if (fd >= 0) close(fd);
    return done;
}

}  // namespace varnok::testing
