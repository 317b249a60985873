#pragma once
// A file's old and new bytes as a unified diff, in the form `diff -u -a`
// prints and patch applies: "--- NAME" and "+++ NAME", then hunks of the
// changed lines with 3 lines of context around them.
//
// Lines end at LF alone, as patch reads them: a CR stays part of its line
// and a NUL is a byte like any other. A last line without LF is followed by
// "\ No newline at end of file". A name patch would misread (blanks, quotes,
// backslashes, control characters) is written quoted, C-style.

#include <string>
#include <string_view>

namespace varnok {

// Put around kinds of lines, terminal colours for instance: each kind's text
// before such a line, End after it (before its LF). Context lines get none.
struct TDiffMarkup {
    std::string_view Names, Hunk, Removed, Added, End;
};

// Appends the diff of before and after to out; nothing when they are equal.
// encoding: the file's own (e.g. "UTF-16LE") when before and after are its
// text in UTF-8, said on a line of its own before the names, which patch
// passes over (it cannot apply the hunks to the file's bytes).
// newName: the file's name after the run, on the "+++" line, when it changes.
void AppendUnifiedDiff(std::string& out, std::string_view name, std::string_view before,
                       std::string_view after, const TDiffMarkup& markup = {}, std::string_view encoding = {},
                       std::string_view newName = {});

// The extended header git reads a rename from, before the rename's hunks:
// "diff --git a/NAME b/NEW", "rename from NAME", "rename to NEW". git apply
// -p0 takes the names as written; patch passes over it.
void AppendRenameHeader(std::string& out, std::string_view name, std::string_view newName,
                        const TDiffMarkup& markup = {});

}  // namespace varnok
