#pragma once
// Rewriting a file so that a kill at any instant leaves every name whole.
//
// ReplaceContents, given the file (already open for reading), its new bytes,
// the temporary name and, when a backup is wanted, the backup name, does
// WriteNewContents and then PutInPlace:
//   1. writes the new bytes completely into a fresh file beside the file and
//      gives it the original's permission bits, and its owner where the
//      process may (else set-id bits are dropped). Where the file system can,
//      that file has no name yet (O_TMPFILE): a kill leaves nothing behind,
//      and its creation does not hold the folder's lock, so several threads
//      create at once. Elsewhere it is created under the temporary name, an
//      existing one removed first (unlink never follows a link);
//   2. names it by the temporary name if it has none yet, removing an
//      existing one first; removes an old backup and links the original to
//      the backup name (a copy where the file system has no hard links): the
//      old contents are under the backup name before anything else takes the
//      file's name;
//   3. renames the temporary file over the file: the name holds the old or the
//      new contents at every instant, never nothing.
// A failure before 3 removes the temporary file, leaves the file untouched and
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

// The new contents of a file, written and not yet in place; closes (and, when
// it was named, removes) what was written unless PutInPlace used it.
class TNewContents {
public:
    TNewContents() = default;
    ~TNewContents();
    TNewContents(TNewContents&& other) noexcept;
    TNewContents& operator=(TNewContents&& other) noexcept;

private:
    friend TNewContents WriteNewContents(const std::string&, const TOpenFile&, std::string_view,
                                         std::string_view);
    friend void PutInPlace(const std::string&, const TOpenFile&, TNewContents&, const std::string*);
    int m_descriptor = -1;  // of an unnamed file, until it is named
    std::string m_tempName;
    bool m_named = false;
};

TNewContents WriteNewContents(const std::string& tempName, const TOpenFile& original,
                              std::string_view text, std::string_view rest);
void PutInPlace(const std::string& fileName, const TOpenFile& original, TNewContents& contents,
                const std::string* backupName);

void ReplaceContents(const std::string& fileName, const TOpenFile& original,
                     const std::string& tempName, const std::string* backupName,
                     std::string_view text, std::string_view rest);

}  // namespace varnok
