#pragma once
// The plain file calls the edit job and the settings store share, with one
// set of rules: a call is repeated over signals and partial transfers, a
// failure is false with errno set, and a file that cannot be used is
// reported as "Cannot open file NAME: REASON". Nothing here depends on the
// rest of the program.

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace varnok {

// A write that takes nothing sets ENOSPC: the kernel gives no reason then,
// and a full disk is the one cause.
bool WriteAll(int fd, std::string_view data);

// Replaces out with the file's bytes from fd's offset. A size of 0 reads up
// to the end of the file, however long (some kernel files claim to be
// empty). Any other size reads at most that many bytes: a file that grew
// since it was sized is read as it was, and a file of that size costs one
// read. A file that shrank comes out shorter. out's buffer is kept when it
// has room, so a caller may prepare it (reserve, madvise).
bool ReadWhole(int fd, std::string& out, std::size_t size);
// The same from offset, leaving fd's offset where it was.
bool PreadWhole(int fd, std::string& out, std::size_t size, off_t offset);

bool SyncFile(int fd);        // its data and size: fdatasync
bool SyncFolder(int fd);      // its entries: fsync
bool SyncFileSystem(int fd);  // all written to fd's file system: syncfs

// Raise std::runtime_error("Cannot open file NAME: REASON"), and the same
// with create, write and delete; REASON is the text of the errno value error.
[[noreturn]] void CannotOpen(const std::string& name, int error);
[[noreturn]] void CannotCreate(const std::string& name, int error);
[[noreturn]] void CannotWrite(const std::string& name, int error);
[[noreturn]] void CannotDelete(const std::string& name, int error);

}  // namespace varnok
