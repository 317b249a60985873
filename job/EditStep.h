#pragma once
// What a run does to one file's bytes, on any thread: the change list applied
// in order to the file's working text (WorkingText.h), and the text turned
// back into the file's bytes. The run, the dry run and the preview all edit
// through EditContents, so that they agree to the byte.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Engine.h"
#include "JobOptions.h"
#include "KeepCase.h"
#include "TextEncoding.h"
#include "WorkingText.h"

namespace varnok {

constexpr int kMaxChanges = 16000;

// Raises "The change list holds more than 16000 changes" beyond kMaxChanges.
void RefuseTooManyChanges(std::size_t changes);

// A job's change list, prepared once; read by every thread of a run.
class TChangeSet {
public:
    // From the change text, three lines a change; raises "The change list
    // holds more than 16000 changes" beyond kMaxChanges.
    // editBinary: a binary file's text before its first NUL is edited too.
    TChangeSet(const std::vector<std::string>& changeText, const TMatchOptions& options, bool editBinary = false);

    const std::vector<std::string>& Searches() const { return m_searches; }
    const std::vector<std::string>& Replacements() const { return m_replacements; }
    bool Empty() const { return m_prepared.empty(); }
    bool EditBinary() const { return m_editBinary; }

    // Every change applied in order to text; the number of replacements.
    // unicode: the text was decoded to UTF-8, and a change line that is not
    // UTF-8 stands for the Latin-1 characters it holds.
    long long ApplyAll(std::string& text, bool unicode = false) const;
    // False only when no change can match in bytes (cheaper than a pass).
    bool MayChange(std::string_view bytes, bool unicode = false) const;
    // Every change is line-neutral (see IsLineNeutral).
    bool LineNeutral() const { return m_lineNeutral; }

private:
    // One change as the engine makes it, or, with Keep Case, every spelling
    // of one identifier as another (KeepCase.h).
    struct TPrepared {
        std::optional<TPreparedChange> Engine;
        std::optional<TIdentifierChange> Identifier;
        long long ReplaceAll(std::string& text) const;
        bool MayMatch(std::string_view bytes) const;
    };
    const std::vector<TPrepared>& Prepared(bool unicode) const {
        return unicode && !m_unicode.empty() ? m_unicode : m_prepared;
    }

    std::vector<std::string> m_searches, m_replacements;
    std::vector<TPrepared> m_prepared;
    std::vector<TPrepared> m_unicode;  // when a line is not UTF-8
    bool m_lineNeutral = true;
    bool m_editBinary = false;
};

struct TEdit {
    long long Count = 0;
    // With a replacement, the file's new bytes: Work.Text, then Work.Rest.
    TWorkingText Work;
    TTextKind Kind = TTextKind::Plain;
    // Binary and not edited: left as it is, and reported so.
    bool LeftBinary = false;
    // Why the replacements cannot be written (Count is then 0).
    std::string Unwritable;
    // UTF-16 text kept for a diff: as decoded, and as edited.
    std::string ShownBefore, ShownAfter;
};

// The edit of a file's contents, in their own encoding (TextEncoding.h).
// Contents are used up unless keepContents (the caller still needs them,
// e.g. for a diff) or nothing may change. mayChange, when set, is shown the
// contents once a change may apply to them, before they are used up.
TEdit EditContents(std::string& contents, const TChangeSet& changes, bool keepContents,
                   const std::function<void(std::string_view)>& mayChange = {});

}  // namespace varnok
