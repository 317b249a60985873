#pragma once
// The edit job: the walker that applies the change list to every file it
// visits, rewrites the files that changed (keeping their old contents under a
// backup name) and reports one line per file.

#include <sys/stat.h>
#include <sys/types.h>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "MyDirectory.h"
#include "OrderedWrites.h"
#include "engine/Engine.h"
#include "ReadAhead.h"
#include "RunHost.h"
#include "RunJob.h"
#include "WorkingText.h"

namespace varnok {

constexpr int kMaxChanges = 16000;

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
    std::function<bool(const std::string& fileName)> FileFilter;
    std::function<void(const TFileChange&)> OnFileChanged;

    void TheFileProcedure(const std::string& fileName) override;
    // Builds the change list from the change text, three lines a change;
    // refuses more than kMaxChanges before any file is touched.
    void PreProcessProcedure() override;
    // Releases the change list and syncs every file system the run wrote to.
    void PostProcessProcedure() override;

    void ApplyChanges(std::string& text);

    bool SpanLines = false;
    bool CaseSensitive = false;  // set before the walk; the designed run has both off
    bool WholeWords = false;
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
    // Created: a backup or a temporary name of this run, never visited.
    enum class TMade { Created, Rewritten };
    struct TFileId {
        dev_t Device;
        ino_t Inode;
        auto operator<=>(const TFileId&) const = default;
    };

    void VisitFile(const std::string& fileName);
    // The file of the current listing, read now; none when it turned into
    // something else since the listing (reported as skipped).
    std::optional<TReadFile> ReadOrSkip(const std::string& fileName);
    void ReportSkipped(const std::string& name, const std::string& reason, bool folder);
    // Reports, in walk order, the files visited whose rewrites are done.
    void ReportWritten();
    // Waits for every rewrite handed to the workers, reports them and raises
    // the first failure among them.
    void FinishWrites();
    // A name that a rewrite not yet done takes or makes.
    bool InHand(const std::string& name) const;
    // The stop test and the events before the changes apply to a file.
    bool ChangesMayApply();
    // A pass of the changes over contents as a real run would have written it.
    void ApplyAgain(std::string& contents);
    TEntry EntryOf(const TFolder& folder, const std::string& path);
    std::string BackupNameFor(const std::string& fileName, const TEntry& entry);
    // Decides the names of the rewrite and hands it to the workers; what
    // comes of it is known once it is done.
    std::shared_ptr<const TRewriteOutcome> WriteBack(const std::string& fileName, TReadFile read,
                                                     TWorkingText work);
    std::string CanonicalName(const TReadFile& read, const std::string& path);
    void SyncWritten();

    TRunHost* m_host = nullptr;
    const std::vector<std::string>* m_changes = nullptr;
    bool m_lineNeutral = false;
    std::shared_ptr<std::vector<TPreparedChange>> m_prepared;  // the change list, ready to apply
    std::unordered_map<TEntry, TMade, TEntryHash> m_made;
    // One folder per file system written to, and its name.
    std::map<dev_t, std::pair<TDescriptorRef, std::string>> m_writtenFolders;
    TFolderRef m_folder;  // of the listing in hand
    // Of each file a dry run would have rewritten, the passes that would have
    // changed it: a later visit makes its contents again from the file.
    std::map<TFileId, int> m_dryRunPasses;
    std::set<TFileId> m_replaced;  // files whose names now hold new contents
    struct TFirstRewrite {
        std::string Backup;  // its full name, links resolved
        std::shared_ptr<const TRewriteOutcome> Outcome;
    };
    std::unordered_map<TEntry, TFirstRewrite, TEntryHash> m_firstOutcomes;
    const TFolder* m_canonicalOf = nullptr;
    std::string m_canonicalFolder;
    TReadAhead m_readAhead;
    TOrderedWrites m_writes;
    // Of each name a rewrite takes, the number of the last rewrite that
    // does: it is in hand while fewer than that are done.
    std::unordered_map<std::string, std::size_t> m_namesInHand;
    struct TUnreported {
        std::string Name;
        long long Replacements;
        std::size_t WritesBefore;  // the rewrites done before its line is reported
        std::shared_ptr<const TRewriteOutcome> Outcome;  // of its rewrite, if any
        std::string SkipReason;  // left out before any rewrite
        bool Folder = false;
    };
    std::deque<TUnreported> m_unreported;
};

}  // namespace varnok
