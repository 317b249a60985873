#pragma once
// What a run does to one file's bytes, on any thread: the change list applied
// in order to the file's working text (WorkingText.h), and the text turned
// back into the file's bytes. The run, the dry run and the preview all edit
// through EditContents, so that they agree to the byte.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Engine.h"
#include "WorkingText.h"

namespace varnok {

constexpr int kMaxChanges = 16000;

struct TMatchOptions {
    bool CaseSensitive = false;
    bool WholeWords = false;
    bool SpanLines = false;
};

// A job's change list, prepared once; read by every thread of a run.
class TChangeSet {
public:
    // From the change text, three lines a change; raises "The change list
    // holds more than 16000 changes" beyond kMaxChanges.
    TChangeSet(const std::vector<std::string>& changeText, const TMatchOptions& options);

    const std::vector<std::string>& Searches() const { return m_searches; }
    const std::vector<std::string>& Replacements() const { return m_replacements; }
    bool Empty() const { return m_prepared.empty(); }

    // Every change applied in order to text; the number of replacements.
    long long ApplyAll(std::string& text) const;
    // False only when no change can match in bytes (cheaper than a pass).
    bool MayChange(std::string_view bytes) const;
    // Every change is line-neutral (see IsLineNeutral).
    bool LineNeutral() const { return m_lineNeutral; }

private:
    std::vector<std::string> m_searches, m_replacements;
    std::vector<TPreparedChange> m_prepared;
    bool m_lineNeutral = true;
};

struct TEdit {
    long long Count = 0;
    // With a replacement, the file's new bytes: Work.Text, then Work.Rest.
    TWorkingText Work;
};

// The edit of a file's contents. Contents are used up unless keepContents
// (the caller still needs them, e.g. for a diff) or nothing may change.
// mayChange, when set, is shown the contents once a change may apply to
// them, before they are used up.
TEdit EditContents(std::string& contents, const TChangeSet& changes, bool keepContents,
                   const std::function<void(std::string_view)>& mayChange = {});

}  // namespace varnok
