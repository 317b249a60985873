#pragma once
// The per-user settings store: one text file in the layout of a registry
// export, "$XDG_CONFIG_HOME/Tavrin Software/Quillets.reg".
//
// Protocol. Nothing is cached between operations.
//   - A read (ReadStore) reads and parses the whole file without a lock: every
//     writer replaces the file by rename, so a reader sees the old or the new
//     file, never a mix.
//   - A write (ModifyStore) takes an exclusive flock on the lock file, re-reads
//     the file, applies the change, writes a fresh temporary file in the same
//     folder, flushes it, renames it over the store and releases the lock. Two
//     processes therefore never lose each other's writes, and a kill at any
//     instant leaves the old or the new file whole.
//   - A series of reads and writes that belong together (a window's full save
//     or load) is one TStoreTransaction (StoreTransaction.h): one locked
//     reading and at most one writing for the whole series.
//   - The store file may be a symbolic link (dotfiles kept in another folder).
//     It stays one: the lock file "<target>.lock", the temporary file and a
//     set-aside copy all stand beside the link's target, so that every path
//     to the same file shares one lock.
//   - A file that cannot be parsed when the program starts (the start-up
//     transaction) is renamed to "<target>.corrupt-<time>" under the lock, the
//     program goes on with an empty store, and a warning is queued for
//     TakeStoreWarning, so that it is reported once. Later, the program has
//     values of its own in that file: a file that stopped parsing is then
//     someone's edit, so it is neither moved nor written over, and every read
//     and write fails with a message naming it.
//
// File format:
//   Windows Registry Editor Version 5.00
//   <blank>
//   [HKEY_CURRENT_USER\Tavrin Software\Quillets\Varnok\Dialog]
//   "CheckBox-1"="1"
//   <blank>
// Inside quotes \\ \" \n \r \t and \xHH (other control bytes) are escapes; an
// unknown escape keeps its backslash, so a hand-typed "C:\Data" survives.
// Other bytes, UTF-8 included, stand as they are. A value of another kind
// ("x"=dword:00000001, hex: with "\" continuation lines) is kept verbatim and
// reads as "Invalid data type". Lines beginning with ";" are comments and are
// not kept. LF or CR LF line ends are read; LF is written. Key and value names
// match without regard to ASCII letter case and keep their first spelling.
// A key implies the keys above it. Keys are written depth first, sub-keys
// sorted without regard to case; values in the order they were created.
//
// Key paths are split at every backslash and each component is a name as it
// stands: "." and ".." mean nothing here, and an empty component (the
// configuration named "", or "a\\b") is a key with an empty name. A component
// holding a control character cannot be written in a block header, so it is
// refused with "Failed to create key %s" rather than corrupting the file.

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace varnok {

// ASCII case folding: the comparison that key and value names use.
std::string FoldCase(std::string_view text);
bool SameTextIgnoringCase(std::string_view a, std::string_view b);

struct TStoreValue {
    std::string Name;
    bool IsText = true;
    std::string Data;  // the text; for another kind the raw right-hand side
};

class TStoreKey {
public:
    explicit TStoreKey(std::string name = {}) : m_name(std::move(name)) {}

    const std::string& Name() const { return m_name; }

    const TStoreKey* FindChild(std::string_view name) const;
    TStoreKey& CreateChild(std::string_view name);  // the existing one when present
    // Sub-keys in enumeration order (sorted without regard to case).
    std::vector<const TStoreKey*> Children() const;

    const TStoreValue* FindValue(std::string_view name) const;
    void SetValue(TStoreValue value);  // replaces a value of the same name, keeps its spelling
    const std::vector<TStoreValue>& Values() const { return m_values; }

private:
    std::string m_name;
    std::map<std::string, std::unique_ptr<TStoreKey>> m_children;  // by folded name
    std::vector<TStoreValue> m_values;
    std::unordered_map<std::string, std::size_t> m_valueIndex;  // folded name -> position
};

std::vector<std::string> SplitKeyPath(std::string_view path);

// The whole store: the root key stands for HKEY_CURRENT_USER.
class TStoreDocument {
public:
    TStoreKey& Root() { return m_root; }
    const TStoreKey& Root() const { return m_root; }

    const TStoreKey* FindKey(const std::vector<std::string>& path) const;
    TStoreKey& CreateKey(const std::vector<std::string>& path);

    // Throws std::runtime_error describing the first offending line.
    static TStoreDocument Parse(std::string_view text);
    std::string Serialize() const;

private:
    TStoreKey m_root;
};

// Base of everything this program keeps per user: $XDG_CONFIG_HOME when it is
// an absolute path, otherwise ~/.config.
std::string ConfigBaseFolder();
std::string StoreFilePath();

// The current contents of the store file, read now; an empty store when it is
// missing. A file that exists but cannot be read throws
// std::runtime_error(readFailure), one that cannot be parsed TStoreUnparsable.
// Not for use inside a transaction: InspectStore is.
TStoreDocument ReadStore(const std::string& readFailure);

// Calls `read` with the store's contents: those of the transaction open on
// this thread, else the file as ReadStore reads it.
void InspectStore(const std::function<void(const TStoreDocument&)>& read,
                  const std::string& readFailure);

struct TStoreWriteErrors {
    std::string OpenFailure;   // the store cannot be locked or read
    std::string WriteFailure;  // the new file cannot be written
};

// One locked read-change-replace cycle, or a change within the transaction
// open on this thread. `change` returns false when it changed nothing, so that
// no file is written.
void ModifyStore(const std::function<bool(TStoreDocument&)>& change,
                 const TStoreWriteErrors& errors);

// A store file that stopped parsing after start-up; the text names the file
// and the offending line.
struct TStoreUnparsable : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// `failure` followed by the settings file at `path` and why it cannot be
// `done` ("read", "locked", "written"): "<failure>: the settings file <path>
// cannot be <done> (<reason>)".
std::string StoreFailure(const std::string& failure, const std::string& path,
                         const std::string& done, const std::string& reason);

// ---- building blocks of TStoreTransaction ----------------------------------

// The exclusive advisory lock of the store file at `storePath`, held for the
// object's lifetime; creates the folders on the way. Throws std::system_error.
class TStoreLock {
public:
    explicit TStoreLock(const std::string& storePath);
    ~TStoreLock();
    TStoreLock(const TStoreLock&) = delete;
    TStoreLock& operator=(const TStoreLock&) = delete;

private:
    int m_fd = -1;
};

// Reads and parses the store at `path`, the lock held. A file that cannot be
// parsed is set aside when `atStartUp`, otherwise TStoreUnparsable is thrown.
// A file that cannot be read throws std::system_error.
TStoreDocument ReadLockedStore(const std::string& path, bool atStartUp);

// Replaces the store at `path` with `document`, the lock held. Throws
// std::system_error; the file is then untouched.
void WriteLockedStore(const std::string& path, const TStoreDocument& document);

// The pending report of a store file that was set aside, then cleared; empty
// when there is none. The desktop program shows it in a message box, the batch
// runner prints it on stderr.
std::string TakeStoreWarning();

}  // namespace varnok
