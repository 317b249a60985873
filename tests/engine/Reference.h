#pragma once
// A slow, literal transcription of the engine's designed algorithm: a recursive
// matcher that shares one position counter across its levels, and a replace-all
// that deletes from and inserts into the text and its search copy for every
// replacement. Built only into the tests, as the yardstick for the fast engine.

#include <string>

namespace varnok::reference {

struct TContext {
    bool WildActive = false;
    bool WholeWords = false;
    bool BalanceParens = false;
    bool SpanLines = false;
    bool LowerCaseWords = false;  // "a".."z" are word characters too
    int StepCount = 0;
    int StepBudget = 0;
    int GroupStart[11] = {};
    int GroupEnd[11] = {};
    bool Set[11] = {};
    // The matcher's shared state for one start position.
    std::string Pat;
    std::string Stretch;
    int Pos = 0;
    int Mark = 0;
};

// The transcription backtracks without memory, so some patterns take it
// exponential time. A caller that cannot wait sets a limit of matcher steps
// for the calls that follow (0: none); past it they throw TTooMuchWork.
struct TTooMuchWork {};
void LimitWork(long long steps);

bool HasWildCards(TContext& c, bool wildCards, const std::string& pattern);
void CompilePattern(std::string& s);
void ClearGroups(TContext& c);
void FindMatch(TContext& c, const std::string& pattern, const std::string& text, int offset,
               int& start, int& end);
void PrepareReplacement(std::string& s);
void InsertGroups(TContext& c, std::string& r, const std::string& text, int matchStart);
int LineStartOf(const std::string& text, int index);
int ReplaceAll(std::string& text, std::string pattern, std::string replacement,
               bool CaseSensitive, bool WildCards, bool ExpandReplacement,
               bool WholeWords, bool BalanceParens, bool SpanLines);

}  // namespace varnok::reference
