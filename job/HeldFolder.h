#pragma once
// The folders of a walk, held by descriptor. Every listing, read and write of
// a run goes through a folder's descriptor with only the last part of a name
// looked up, and a sub-folder is opened below its parent without following a
// link: a folder swapped for a link, or moved, during a run never leads the
// run outside the folders the user named.
//
// A deep tree would need a descriptor per level. Only a bounded number stay
// open (kHeldFolders, the most recently opened); a folder let go is opened
// again from its parent, and from that parent's parent when it was let go
// too, each checked to be the folder first met under that name.

#include <sys/stat.h>
#include <sys/types.h>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace varnok {

// A descriptor, closed by its last owner.
class TDescriptor {
public:
    explicit TDescriptor(int descriptor) : Fd(descriptor) {}
    ~TDescriptor();
    TDescriptor(const TDescriptor&) = delete;
    TDescriptor& operator=(const TDescriptor&) = delete;
    const int Fd;
};
using TDescriptorRef = std::shared_ptr<const TDescriptor>;

// An error number, or kChangedDuringRun: a name no longer leads to the entry
// the run met under it.
constexpr int kChangedDuringRun = -1;
std::string ReasonText(int error);

// Whether two fstat results are of one entry: device and inode.
bool SameInode(const struct stat& a, const struct stat& b);

class TFolder;
using TFolderRef = std::shared_ptr<const TFolder>;

class TFolder {
public:
    // A folder the user named, opened now (a link to a folder is followed
    // here, and only here). Raises "Cannot open folder NAME: REASON".
    static TFolderRef OpenNamed(const std::string& path);
    // A sub-folder met in a listing of parent; opened when first used.
    static TFolderRef Below(const TFolderRef& parent, const std::string& name);

    // The name as the walk spells it: the named folder joined with the names below it.
    const std::string& Path() const { return m_path; }
    // None for a named folder; the name in it.
    const TFolderRef& Parent() const { return m_parent; }
    const std::string& Name() const { return m_name; }
    // Its descriptor, opened again when it was let go; none, with *error
    // set, when that fails or the name now leads elsewhere.
    TDescriptorRef Open(int* error) const;
    // Device and inode, known once it was opened.
    dev_t Device() const;
    ino_t Inode() const;

    TFolder(TFolderRef parent, std::string name, std::string path);

private:
    const TFolderRef m_parent;  // none for a named folder
    const std::string m_name;   // in the parent
    const std::string m_path;
    mutable std::mutex m_mutex;
    mutable std::weak_ptr<const TDescriptor> m_descriptor;
    mutable TDescriptorRef m_pinned;  // a named folder's, held for the whole walk
    mutable std::optional<struct stat> m_identity;
};

// One reading of a folder, in the order the file system returns its entries:
// the names of its regular files and of its folders. Hidden entries (".")
// and links are left out, as is anything else. Error: why the reading
// failed (0: it did not); a failed reading has no entries.
struct TFolderEntries {
    std::vector<std::string> Files, Folders;
    int Error = 0;
};
TFolderEntries ListFolder(const TFolder& folder);
// The same through a folder's descriptor, which stays open; it moves the
// descriptor's reading position, so one thread at a time lists a folder.
TFolderEntries ReadEntriesAt(int folderDescriptor);

}  // namespace varnok
