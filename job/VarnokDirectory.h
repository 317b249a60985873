#pragma once
// The edit job: the walker that applies the change list to every file it
// visits, rewrites the files that changed (keeping their old contents under a
// backup name) and reports one line per file.
//
// The workers of the read-ahead (ReadAhead.h) read each file, edit it and
// write its new contents to a file without a name; the edit pass, in walk
// order, gives it the file's name (SafeWrite.h) and reports it. So a file
// crosses from one thread to another once, and a Stop ends the run between
// two files with nothing half done.

#include <sys/stat.h>
#include <sys/types.h>

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "EditStep.h"
#include "MyDirectory.h"
#include "ReadAhead.h"
#include "RunHost.h"
#include "RunJob.h"
#include "RunJournal.h"
#include "WalkFilter.h"

namespace varnok {

struct TRename {
    TFolderRef Parent;
    std::string OldName, NewName;
    dev_t Device = 0;  // of the entry the walk met, or of the run's new contents
    ino_t Inode = 0;
    int Depth = 0;  // below the named folder
    bool Folder = false;
};

class TVarnokDirectory : public TMyDirectory {
public:
    TVarnokDirectory() = default;
    // Syncs what a run ended by an error had written.
    ~TVarnokDirectory() override;

    // The host is the event pump, the report and the status line.
    void SetState(TRunHost& host, bool recurse, bool spanLines,
                  const std::vector<std::string>& changes);
    bool DryRun = false;  // visit and count, write nothing
    // Where every rewrite is recorded before the new contents take the file's
    // name; none: not recorded.
    TRunJournal* Journal = nullptr;
    // Those of TJobSettings; set before the walk.
    std::function<bool(const std::string& fileName)> FileFilter, EditFilter;
    std::function<bool(const std::string& name)> RenameFilter;
    std::function<void(const TFileChange&)> OnFileChanged;
    std::function<void(const std::string& name, const std::string& newName, bool folder)> OnRenamed;
    unsigned Jobs = 0;
    // The job's options; its Recurse and SpanLines are SetState's.
    TJobOptions Options;

    void TheFileProcedure(const std::string& fileName) override;
    // Builds the change list from the change text, three lines a change;
    // refuses more than kMaxChanges before any file is touched.
    void PreProcessProcedure() override;
    // Releases the change list and syncs every file system the run wrote to.
    void PostProcessProcedure() override;

    void ApplyChanges(std::string& text);

    bool SpanLines = false;
    long long ReplacementCount = 0;  // of the file in hand
    TRunCounts Counts;               // of the walk
    int ChangeCount = 0;
    std::vector<std::string> SearchStrings;   // [0, ChangeCount)
    std::vector<std::string> ReplaceStrings;

protected:
    std::vector<std::string> FilesOf(const std::string& folder, const std::string& mask) override;
    std::vector<std::string> FoldersOf(const std::string& folder) override;

private:
    // A name in a folder, the folder known by identity, so that two spellings
    // of one path are the same entry.
    struct TEntry {
        dev_t Device;
        ino_t Folder;
        std::string Name;
        bool operator==(const TEntry&) const = default;
    };
    struct TEntryHash {
        std::size_t operator()(const TEntry& e) const;
    };
    // Created: a backup of this run, never visited.
    enum class TMade { Created, Rewritten };
    struct TFileId {
        dev_t Device;
        ino_t Inode;
        auto operator<=>(const TFileId&) const = default;
    };
    // A file's first rewrite that took its name, for the later ones.
    struct TFirstRewrite {
        std::string Backup;  // its full name, links resolved
        bool BackupMade = false;  // the backup name was free
    };

    // On any thread: the edit of a file read, and in a run its new contents
    // written.
    void Prepare(TReadFile& file) const;
    // The file of the current listing, read and prepared now; none when it
    // turned into something else since the listing (reported as skipped).
    std::optional<TReadFile> ReadOrSkip(const std::string& fileName);
    void Report(const std::string& name, long long replacements, const std::string& skipReason, bool folder,
                bool binary = false);
    void TellChanged(const std::string& fileName, const TReadFile& file, const std::string& newName);
    // A name the walk met that the change list changes, given at the end of
    // the run: the file's name holds the entry info now; its full new name
    // for the diff, "" when it stays.
    std::string NoteFile(const TReadFile& file, const std::string& fileName, const struct stat& info);
    void NoteFolder(const TFolderRef& folder);
    // The folder's name as the walk would spell it after the renames.
    std::string NewPathOf(const TFolderRef& folder);
    void RenameAll();
    void Rename(const TRename& rename, std::set<std::pair<TFileId, std::string>>& planned);
    // The stop test and the events before the changes apply to a file.
    bool ChangesMayApply();
    TEntry EntryOf(const TFolder& folder, const std::string& path);
    std::string BackupNameFor(const std::string& fileName, const TEntry& entry);
    // Gives the file its new contents, keeping the old under the backup name.
    TPlaced Rewrite(const std::string& fileName, TReadFile& read);
    std::string CanonicalName(const TReadFile& read, const std::string& path);
    void SyncWritten();

    TRunHost* m_host = nullptr;
    const std::vector<std::string>* m_changes = nullptr;
    std::shared_ptr<const TChangeSet> m_changeSet;
    std::unordered_map<TEntry, TMade, TEntryHash> m_made;
    // One folder per file system written to, and its name; and while few
    // files were rewritten, those files and their folders, which are then
    // synced alone rather than all the file system holds.
    std::map<dev_t, std::pair<TDescriptorRef, std::string>> m_writtenFolders;
    std::vector<std::pair<TDescriptorRef, std::string>> m_writtenFiles, m_changedFolders;  // and folder names
    bool m_syncWholeFileSystems = false;
    TFolderRef m_folder;  // of the listing in hand
    // Of each file a dry run would have rewritten, the passes that would have
    // changed it: a later visit makes its contents again from the file.
    std::map<TFileId, int> m_dryRunPasses;
    std::set<TFileId> m_replaced;  // files whose names now hold new contents
    std::unordered_map<TEntry, TFirstRewrite, TEntryHash> m_firstRewrites;
    const TFolder* m_canonicalOf = nullptr;
    std::string m_canonicalFolder;
    // The renames in walk order, each entry once.
    std::vector<TRename> m_renames;
    std::unordered_map<TEntry, std::size_t, TEntryHash> m_renameOf;
    std::unordered_map<const TFolder*, std::pair<TFolderRef, std::string>> m_newPaths;
    TReadAhead m_readAhead;  // last: its workers use the rest
};

}  // namespace varnok
