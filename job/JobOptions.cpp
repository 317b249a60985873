#include "JobOptions.h"

namespace varnok {

// The designed two first, then ours, numbered after the designed check boxes;
// ours are off when missing, so a job saved before them runs as it did.
const std::array<TJobFlag, 8> kJobFlags{{
    {&TJobOptions::Recurse, "CheckBox-1", true, "recurseDirectories", 'r', "recurse", "also search sub-folders",
     "Recurse"},
    {&TJobOptions::SpanLines, "CheckBox-2", false, "spanLines", 's', "span-lines", "span lines when matching",
     "Span lines"},
    {&TJobOptions::CaseSensitive, "CheckBox-5", false, "matchCase", '\0', "match-case",
     "match letters only in the case they are typed in", "Match case"},
    {&TJobOptions::WholeWords, "CheckBox-6", false, "wholeWords", '\0', "whole-words",
     "match whole words only: a match does not continue a word\n"
     "on either side, and with wild cards every character it\n"
     "takes is a letter, a digit or _",
     "Whole words"},
    {&TJobOptions::GitIgnore, "CheckBox-7", false, "gitIgnore", '\0', "git-ignore",
     "inside a git work tree, leave out the files and folders\n"
     "git ignores (its .gitignore files, .git/info/exclude,\n"
     "the global excludes file); tracked files are never left out",
     "Git ignore"},
    {&TJobOptions::EditBinary, "CheckBox-8", false, "editBinary", '\0', "binary",
     "edit binary files too (a NUL byte, not UTF-16): the text\n"
     "before the first NUL is edited, the rest kept as it is",
     "Binary"},
    {&TJobOptions::KeepCase, "CheckBox-10", false, "keepCase", '\0', "keep-case",
     "replace in the case of the match (UPPER, lower, Capitalised);\n"
     "a change of one plain identifier into another replaces\n"
     "every spelling of it: old_name -> new_name also turns\n"
     "OldName into NewName, OLD_NAME into NEW_NAME, oldName\n"
     "into newName and old-name into new-name",
     "Keep case"},
    {&TJobOptions::RenameNames, "CheckBox-9", false, "renameNames", '\0', "rename",
     "also apply the changes to the names of the files the masks\n"
     "select and of the sub-folders searched, each name as one\n"
     "line; names change at the end of the run, deepest first,\n"
     "and a name that exists already is not replaced",
     "Rename"},
}};

}  // namespace varnok
