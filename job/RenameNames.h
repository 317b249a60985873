#pragma once
// The change list applied to names: a file's or folder's name is edited as a
// text of one line, so that the pattern language's line start and "$" match
// at its ends. A run gathers the new names as it walks and gives them at its
// end, deepest first, each through its parent folder's descriptor and only
// while the old name still holds the entry the walk met.

#include <sys/types.h>

#include <string>

#include "EditStep.h"

namespace varnok {

// name with the changes applied in order; name itself when none matched. A
// replacement that breaks the line leaves a line break in the result, which
// NameRefusal refuses.
std::string ChangedName(const TChangeSet& changes, const std::string& name);

// Why name cannot be given to an entry ("" when it can): empty, "." or "..",
// or it holds a "/", a NUL or a control character.
std::string NameRefusal(const std::string& name);

// Renames from to to in folder, neither replacing what to names nor renaming
// anything but the entry device/inode; a file system without RENAME_NOREPLACE
// gets a file linked and then unlinked, and a folder is not renamed. "" when
// renamed, else why not: changed (the old name holds something else or
// nothing), "exists already", or the call's error.
std::string RenameHeld(int folder, const std::string& from, const std::string& to, dev_t device, ino_t inode,
                       const std::string& changed);

}  // namespace varnok
