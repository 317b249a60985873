#pragma once
// Undoing a run from its journal (RunJournal.h).
//
// The run's rewrites are taken back latest first, each file once: a file the
// run changed twice comes back to its contents from before the first change.
// A file is restored when it still holds what the run left in it, after any
// of its changes (so a run killed between two changes of a file is undone
// too), and its backup still holds the file the run read. Both are known by
// the identity the journal recorded (device, inode, size, modification time)
// and read only when that differs or is too recent to trust. The backup is
// then exchanged with the file (renameat2 RENAME_EXCHANGE) and what the run
// wrote removed: the old file itself comes back, with its owner, permission
// bits, ACL, attributes, hard links and times, and no space is needed. An
// older backup the run replaced is put back under its name from where the
// journal kept it. Folders' modification times are not restored: the renames
// change them.
//
// A file that holds its old contents already (an undo stopped or killed part
// way, a run killed before the exchange) only loses what the run left beside
// it. Anything else is left exactly as it is and reported, a failing call
// included, and the undo goes on with the other files. Only an undo that
// kept nothing marks the journal undone, so one that kept files can be run
// again once they can be restored.
//
// Descriptors do not grow with the tree: at most 16 folders, and one file
// per thread while its bytes are read. The undo's pool has at least 8
// threads: removing what the run wrote frees its blocks, which may wait for
// the disk.
//
// One report line per file, in the run's columns:
//   "Restored   NAME"
//   "Kept       NAME: REASON"   (changed since the run, deleted since the run,
//                                backup missing, backup changed since the run,
//                                cannot be restored: WHY)
// then "All Done" on the status line. Stop ends it between files. The counts
// (TRunCounts with Undo set) are zero as it starts, then follow every line.

#include <string>

#include "RunHost.h"

namespace varnok {

enum class TUndoOutcome { Declined, Restored, Kept, Stopped };

// Undoes the run whose journal in RunJournalFolder() has that id (empty: the
// last run not undone), after asking UndoQuestion (RunHistory.h). Refused
// before anything is touched, by raising the reason, when there is no such
// run, it was undone already or its journal cannot be read.
// Restored: every file holds its old contents; Kept: some were kept. jobs:
// the threads that work on it, as TJobSettings::Jobs.
TUndoOutcome UndoRun(const std::string& id, bool clearReport, TRunHost& host, unsigned jobs = 0);

}  // namespace varnok
