#pragma once
// The options that shape which files a run visits and how it edits them, in
// one type that the dialog, the stored job, the batch runner's command line,
// the run journal's header and the edit pass share; a library of its own, so
// that the store reads them without the job. Each on/off option is
// described once, in kJobFlags: adding one is a member here and a row there
// (and, in the dialog, its check box).

#include <array>
#include <string>
#include <vector>

namespace varnok {

struct TMatchOptions {
    bool CaseSensitive = false;
    bool WholeWords = false;
    bool SpanLines = false;
    bool KeepCase = false;  // KeepCase.h
};

struct TJobOptions {
    bool Recurse = false;
    bool SpanLines = false;
    bool CaseSensitive = false;
    bool WholeWords = false;
    bool GitIgnore = false;   // leave out what git would ignore
    bool EditBinary = false;  // edit the text before a binary file's first NUL
    bool KeepCase = false;
    // The change list also renames the files and sub-folders walked (RenameNames.h).
    bool RenameNames = false;
    // Masks of files and sub-folders left out (WalkFilter.h).
    std::vector<std::string> Exclusions;

    TMatchOptions Match() const { return {CaseSensitive, WholeWords, SpanLines, KeepCase}; }
};

struct TJobFlag {
    bool TJobOptions::*Member;
    // In the dialog's section of the store: the value's name and its default
    // when missing; the name of the dialog's check box.
    const char* StoreName;
    bool StoredDefault;
    const char* ControlName;
    // The batch runner's option ('\0': long only) and its help, whose lines
    // after the first are indented to the help column.
    char Short;
    const char* Long;
    const char* Help;
    // "NAME yes|no" in the journal's header.
    const char* JournalName;
};

extern const std::array<TJobFlag, 8> kJobFlags;

// The exclusion list's values in the dialog's section.
inline constexpr const char* kExclusionEntryName = "Edit-2";
inline constexpr const char* kExclusionListName = "ListBox-3";
inline constexpr const char* kExclusionRowName = "Misc-4";

}  // namespace varnok
