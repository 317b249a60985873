#include "EditStep.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "ChangeList.h"
#include "TextUtils.h"

namespace varnok {

TChangeSet::TChangeSet(const std::vector<std::string>& changeText, const TMatchOptions& options) {
    std::vector<TChange> list = ReadChangeList(changeText);
    if (list.size() > static_cast<std::size_t>(kMaxChanges)) {
        throw std::runtime_error("The change list holds more than " + IntToText(kMaxChanges) + " changes");
    }
    m_prepared.reserve(list.size());
    for (TChange& change : list) {
        m_lineNeutral = m_lineNeutral && IsLineNeutral(change.Search, change.Replace);
        m_prepared.emplace_back(change.Search, change.Replace, options.CaseSensitive, /*WildCards=*/true,
                                /*ExpandReplacement=*/true, options.WholeWords, /*BalanceParens=*/true,
                                options.SpanLines);
        m_searches.push_back(std::move(change.Search));
        m_replacements.push_back(std::move(change.Replace));
    }
}

long long TChangeSet::ApplyAll(std::string& text) const {
    long long count = 0;
    for (const TPreparedChange& change : m_prepared) count += change.ReplaceAll(text);
    return count;
}

// With line-neutral changes only, bytes in which no pattern occurs give no
// replacement: such a file, the usual one, is then neither converted nor
// searched again.
bool TChangeSet::MayChange(std::string_view bytes) const {
    return !m_lineNeutral || std::any_of(m_prepared.begin(), m_prepared.end(),
                                         [bytes](const TPreparedChange& change) { return change.MayMatch(bytes); });
}

TEdit EditContents(std::string& contents, const TChangeSet& changes, bool keepContents,
                   const std::function<void(std::string_view)>& mayChange) {
    TEdit edit;
    if (changes.Empty() || !changes.MayChange(contents)) return edit;
    if (mayChange) mayChange(contents);
    if (keepContents) {
        std::string copy = contents;
        edit.Work = MakeWorkingText(copy, changes.LineNeutral());
    } else {
        edit.Work = MakeWorkingText(contents, changes.LineNeutral());
        // Converted, the contents were copied: the working text is all that is needed.
        std::string().swap(contents);
    }
    edit.Count = changes.ApplyAll(edit.Work.Text);
    if (edit.Count == 0) {
        std::exchange(edit.Work, {});  // frees: a move assignment may keep the buffers
        return edit;
    }
    MakeFileText(edit.Work);
    return edit;
}

}  // namespace varnok
