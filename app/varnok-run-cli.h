#pragma once
// The batch runner as a function: parses the command line, runs the job and
// returns the exit status, writing only through the streams it is given, so
// that tests compare its output exactly. main() only wires up the real ones.

#include <iosfwd>
#include <string>
#include <vector>

namespace varnok {

struct TConsole {
    std::istream& In;
    std::ostream& Out;   // the report
    std::ostream& Err;   // progress, "All Done", messages
    bool InIsTerminal = false;
    bool ErrIsTerminal = false;
    int ErrColumns = 80;
    bool OutIsTerminal = false;
};

enum TExitStatus {
    kExitDone = 0,
    kExitRunError = 1,
    kExitUsage = 2,
    kExitKept = 3,
    kExitSkipped = 4,  // done, with Skipped report lines
    kExitStopped = 130,
};

// args[0] is the program's name.
int RunBatch(const std::vector<std::string>& args, TConsole& console);

// Ctrl+C, SIGTERM and SIGHUP become the Stop command; a second one ends the
// process at once, which leaves every file whole all the same.
void StopOnInterrupt();

}  // namespace varnok
