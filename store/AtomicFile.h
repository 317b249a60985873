#pragma once
// Whole-file reads and crash-safe replacement for the store's own files.

#include <optional>
#include <string>
#include <string_view>

namespace varnok {

// The bytes of a file; nullopt when it does not exist. Any other failure
// throws std::system_error.
std::optional<std::string> ReadWholeFile(const std::string& path);

// The file `path` finally stands for: the end of its chain of symbolic links
// (relative links are taken from the folder of the link), or `path` itself
// when it is no link. The end may not exist yet. Throws std::system_error
// (ELOOP) for a chain of more than 40 links.
std::string LinkTarget(const std::string& path);

// Replaces `path` with `data` so that a kill at any instant leaves the old or
// the new file whole: the temporary file `temp`, in the same folder, is
// created fresh (a leftover is removed, never followed through a link),
// written, given the permission bits of the file it replaces (0600 for a new
// one), flushed to disk and renamed into place. Throws std::system_error;
// `path` is then untouched.
//
// A `path` that is a symbolic link stays one (dotfiles kept elsewhere): its
// LinkTarget is replaced instead, through a temporary file beside the target,
// named like the target followed by what `temp` adds to `path`
// (".../store.reg.tmp" for "Quillets.reg.tmp"), or by `temp`'s own file name
// when `temp` does not begin with `path`.
void ReplaceFileAtomically(const std::string& path, const std::string& temp, std::string_view data);

// A temporary name beside `path` that no other process uses.
std::string ProcessTempPath(const std::string& path);

}  // namespace varnok
