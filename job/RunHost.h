#pragma once
// What a run needs from the program that hosts it. The desktop program and the
// batch runner each implement this; tests answer it without a display.

#include <string>
#include <vector>

#include "EventPump.h"

namespace varnok {

// What a run has done so far.
struct TRunCounts {
    long long Files = 0;         // visited: one report line each
    long long ChangedFiles = 0;  // with a replacement (rewritten unless a dry run)
    long long Replacements = 0;
    long long Skipped = 0;       // files and folders left out, each with a Skipped line
    // An undo's counts: Files handled, ChangedFiles restored, Skipped kept.
    bool Undo = false;
};

class TRunHost : public TEventPump {
public:
    virtual ~TRunHost() = default;

    // What the change-list check found, all of it at once, before the
    // confirmation; true to run all the same.
    virtual bool RunDespite(const std::vector<std::string>& findings) = 0;

    // The modal "Confirm" question, with details shown beside it (what a run
    // will touch; may be empty); true only for Yes.
    virtual bool Confirm(const std::string& caption, const std::string& question, const std::string& details) = 0;

    // The report: every report line goes through AppendReportLine, whole.
    virtual void ClearReport() = 0;
    virtual void AppendReportLine(const std::string& line) = 0;

    virtual void SetStatusText(const std::string& text) = 0;

    // The counts so far: zero when the walk starts, then after every file's
    // report line.
    virtual void SetRunCounts(const TRunCounts&) {}

    // The event pump: process pending user-interface events (Stop may arrive here).
    void ProcessEvents() override = 0;
};

}  // namespace varnok
