#pragma once
// Rewriting a file so that a kill at any instant leaves every name whole.
//
// ReplaceContents, given the file (already open for reading), its new bytes,
// the temporary name and, when a backup is wanted, the backup name:
//   1. removes an existing temporary file (unlink never follows a link) and
//      creates it afresh, exclusively and without following links; writes the
//      new bytes into it completely; gives it the original's permission bits,
//      and its owner where the process may (else set-id bits are dropped);
//   2. removes an old backup and links the original to the backup name (a copy
//      where the file system has no hard links): the old contents are under the
//      backup name before anything else takes the file's name;
//   3. renames the temporary file over the file: the name holds the old or the
//      new contents at every instant, never nothing.
// A failure in 1 or 2 removes the temporary file, leaves the file untouched and
// raises "Cannot create file NAME: REASON" with the name that could not be made
// and the system's reason; a failed rename in 3 (an immutable file, say) also
// removes the backup it made and raises it with the file's name.
// Nothing is synced here: callers sync each file system once at the end.

#include <sys/stat.h>

#include <string>
#include <string_view>

namespace varnok {

struct TOpenFile {
    int Descriptor = -1;
    struct stat Info {};
};

void ReplaceContents(const std::string& fileName, const TOpenFile& original,
                     const std::string& tempName, const std::string* backupName,
                     std::string_view text, std::string_view rest);

}  // namespace varnok
