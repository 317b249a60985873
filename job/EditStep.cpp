#include "EditStep.h"

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <utility>

#include "ChangeList.h"
#include "TextUtils.h"

namespace varnok {

void RefuseTooManyChanges(std::size_t changes) {
    if (changes > static_cast<std::size_t>(kMaxChanges)) {
        throw std::runtime_error("The change list holds more than " + IntToText(kMaxChanges) + " changes");
    }
}

TChangeSet::TChangeSet(const std::vector<std::string>& changeText, const TMatchOptions& options, bool editBinary)
    : m_editBinary(editBinary) {
    std::vector<TChange> list = ReadChangeList(changeText);
    RefuseTooManyChanges(list.size());
    const auto prepare = [&options](const std::string& search, const std::string& replace) {
        TPrepared prepared;
        if (options.KeepCase && TIdentifierChange::Applies(search, replace)) {
            prepared.Identifier.emplace(search, replace);
            return prepared;
        }
        prepared.Engine.emplace(search, replace, options.CaseSensitive, /*WildCards=*/true,
                                /*ExpandReplacement=*/true, options.WholeWords, /*BalanceParens=*/true,
                                options.SpanLines);
        if (options.KeepCase) prepared.Engine->SetReplacementHook(CaseLikeInPlace);
        return prepared;
    };
    const bool allUtf8 = std::all_of(list.begin(), list.end(), [](const TChange& change) {
        return IsValidUtf8(change.Search) && IsValidUtf8(change.Replace);
    });
    m_prepared.reserve(list.size());
    for (TChange& change : list) {
        m_lineNeutral = m_lineNeutral && IsLineNeutral(change.Search, change.Replace);
        m_prepared.push_back(prepare(change.Search, change.Replace));
        if (!allUtf8) m_unicode.push_back(prepare(Utf8OfLine(change.Search), Utf8OfLine(change.Replace)));
        m_searches.push_back(std::move(change.Search));
        m_replacements.push_back(std::move(change.Replace));
    }
}

long long TChangeSet::TPrepared::ReplaceAll(std::string& text) const {
    return Identifier ? Identifier->ReplaceAll(text) : Engine->ReplaceAll(text);
}

bool TChangeSet::TPrepared::MayMatch(std::string_view bytes) const {
    return Identifier ? Identifier->MayMatch(bytes) : Engine->MayMatch(bytes);
}

long long TChangeSet::ApplyAll(std::string& text, bool unicode) const {
    long long count = 0;
    for (const TPrepared& change : Prepared(unicode)) count += change.ReplaceAll(text);
    return count;
}

// With line-neutral changes only, bytes in which no pattern occurs give no
// replacement: such a file, the usual one, is then neither converted nor
// searched again.
bool TChangeSet::MayChange(std::string_view bytes, bool unicode) const {
    const std::vector<TPrepared>& prepared = Prepared(unicode);
    return !m_lineNeutral || std::any_of(prepared.begin(), prepared.end(),
                                         [bytes](const TPrepared& change) { return change.MayMatch(bytes); });
}

namespace {

// The edit of text (the file's text, its mark taken off), which it uses up.
void EditText(std::string& text, const TChangeSet& changes, bool unicode, TEdit& edit) {
    edit.Work = MakeWorkingText(text, changes.LineNeutral());
    std::string().swap(text);
    edit.Count = changes.ApplyAll(edit.Work.Text, unicode);
    if (edit.Count == 0) {
        std::exchange(edit.Work, {});  // frees: a move assignment may keep the buffers
        return;
    }
    MakeFileText(edit.Work);
}

// UTF-16 text: edited as UTF-8, written back in its own order.
void EditUtf16(std::string_view contents, std::string& text, const TChangeSet& changes, bool keepContents,
               const std::function<void(std::string_view)>& mayChange, TEdit& edit) {
    if (!changes.MayChange(text, true)) return;
    if (mayChange) mayChange(contents);
    if (keepContents) edit.ShownBefore = text;
    EditText(text, changes, true, edit);
    if (edit.Count == 0) return;
    std::optional<std::string> bytes = EncodeUtf16(edit.Work.Text, edit.Kind);
    if (!bytes) {
        edit.Count = 0;
        edit.Unwritable = std::string("the edit leaves text that is not ") + EncodingName(edit.Kind);
        return;
    }
    if (keepContents) edit.ShownAfter = std::move(edit.Work.Text);
    edit.Work.Text = std::move(*bytes);
}

}  // namespace

TEdit EditContents(std::string& contents, const TChangeSet& changes, bool keepContents,
                   const std::function<void(std::string_view)>& mayChange) {
    TEdit edit;
    edit.Kind = KindOf(contents);
    if (IsUtf16(edit.Kind)) {
        if (std::optional<std::string> text = DecodeUtf16(contents, edit.Kind)) {
            if (!changes.Empty()) EditUtf16(contents, *text, changes, keepContents, mayChange, edit);
            return edit;
        }
        edit.Kind = TTextKind::Binary;
    }
    if (edit.Kind == TTextKind::Binary && !changes.EditBinary()) {
        edit.LeftBinary = true;
        return edit;
    }
    if (changes.Empty() || !changes.MayChange(contents)) return edit;
    if (mayChange) mayChange(contents);
    // Matched without its mark, so that "^" matches at the start of the first line.
    const std::size_t mark = contents.starts_with(kUtf8Mark) ? kUtf8Mark.size() : 0;
    if (keepContents) {
        std::string copy = contents.substr(mark);
        EditText(copy, changes, false, edit);
    } else {
        contents.erase(0, mark);
        EditText(contents, changes, false, edit);
    }
    if (edit.Count != 0 && mark != 0) edit.Work.Text.insert(0, kUtf8Mark);
    return edit;
}

}  // namespace varnok
