#pragma once
// Undoing a run from its journal (RunJournal.h).
//
// The run's rewrites are taken back latest first, each file once: a file the
// run changed twice comes back to its contents from before the first change.
// A file is restored only when it still holds exactly what the run wrote and
// its backup still holds what the file held before the run: the backup's
// bytes are written through the same safe write as a run's (a fresh
// temporary file with the file's permission bits, renamed into place; never
// through a link), then the backup is removed if the run made it. A file
// that holds its old contents already (an undo stopped or killed part way, a
// run killed before the rename) only loses the backup the run made. Anything
// else is left exactly as it is and reported. An undo can therefore be run
// again until it completes; its completion marks the journal undone.
//
// One report line per file, in the run's columns:
//   "Restored   NAME"
//   "Kept       NAME: REASON"   (changed since the run, deleted since the run,
//                                backup missing, backup changed since the run)
// then "All Done" on the status line. Stop ends it between files.

#include <string>

#include "RunHost.h"

namespace varnok {

enum class TUndoOutcome { Declined, Restored, Kept, Stopped };

// Undoes the run whose journal in RunJournalFolder() has that id (empty: the
// last run not undone), after asking "Undo the run of TIME: restore N
// files?". Refused before anything is touched, by raising the reason, when
// there is no such run, it was undone already or its journal cannot be read.
// Restored: every file holds its old contents; Kept: some were kept. jobs:
// the threads that work on it, as TJobSettings::Jobs.
TUndoOutcome UndoRun(const std::string& id, bool clearReport, TRunHost& host, unsigned jobs = 0);

}  // namespace varnok
