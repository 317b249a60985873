#pragma once
// A reusable walker over folders and file masks. A job derives from it and
// overrides the hooks; the walker only decides the order of the visit, honours
// the stop flag and keeps the user interface alive.
//
// Linux rules: a name starting with "." is hidden and never visited; only
// regular files are passed to TheFileProcedure; a link, to a file or to a
// folder, is left out like a system entry, while a folder in Paths is walked
// even when it is a link. Each listing is taken whole before any of its files
// is handed on, so files a job creates in the folder never show up in it.

#include <string>
#include <vector>

#include "EventPump.h"
#include "HeldFolder.h"

namespace varnok {

// folder + "/" + name; no second "/" after a folder that ends with one; an
// empty folder gives the name alone.
std::string JoinPath(const std::string& folder, const std::string& name);

// One reading of the folder of that name (see TFolderEntries).
TFolderEntries ReadFolder(const std::string& folder);
// Joined to the folder: the files matching mask, and the folders a recursive
// walk enters.
std::vector<std::string> FilesMatching(const std::string& folder, const TFolderEntries& entries,
                                       const std::string& mask);
std::vector<std::string> SubFolders(const std::string& folder, const TFolderEntries& entries);

class TMyDirectory {
public:
    std::vector<std::string> Paths;
    bool Recurse = false;
    std::vector<std::string> Masks;

    TMyDirectory() = default;
    virtual ~TMyDirectory() = default;
    TMyDirectory(const TMyDirectory&) = delete;
    TMyDirectory& operator=(const TMyDirectory&) = delete;

    void SetState(TEventPump* eventPump, bool recurse);
    void AddPath(const std::string& folder);
    void AddMask(const std::string& mask);

    // Clears the stop flag, then PreProcessProcedure, every folder of Paths,
    // PostProcessProcedure (also after a stop). A hook's error ends the walk.
    void DoProcedureToAllMatchingFiles();
    void DoProcedureToDirectory(const std::string& folder);
    void DoTheFileProcedure(const std::string& fileName);

    // The hooks, in their slot order; each does nothing here.
    virtual void TheFileProcedure(const std::string& fileName);
    virtual void TheDirectoryProcedure(const std::string& folder);
    virtual void PreProcessProcedure();
    virtual void PostProcessProcedure();
    virtual void PreProcessDirectoryProcedure(const std::string& folder);
    virtual void PostProcessDirectoryProcedure(const std::string& folder);

protected:
    // The full names of the files of folder matching mask: one listing, taken
    // whole before any of its files is handed on. A job may take it from a
    // reading of the folder made ahead of the walk.
    virtual std::vector<std::string> FilesOf(const std::string& folder, const std::string& mask);
    // The full names of the folders a recursive walk enters below folder,
    // asked for once its files are done; likewise a job may take them from a
    // reading made ahead (the walk creates no folders).
    virtual std::vector<std::string> FoldersOf(const std::string& folder);

    void PumpEvents();

private:
    TEventPump* m_eventPump = nullptr;
};

}  // namespace varnok
