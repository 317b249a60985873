#include <gtest/gtest.h>

#include "WorkingText.h"
#include "engine/Engine.h"

namespace varnok {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

std::string Edit(std::string contents, const Pairs& pairs, bool keepLF, int& count) {
    TWorkingText work = MakeWorkingText(contents, keepLF);
    count = 0;
    for (const auto& [pattern, replacement] : pairs) {
        count += ReplaceAll(work.Text, pattern, replacement, false, true, true, false, true, false);
    }
    MakeFileText(work);
    return work.Text + work.Rest;
}

// Keeping a file's LF breaks for line-neutral changes is only a shortcut:
// the bytes written must be those the CR LF working text gives.
TEST(WorkingText, KeepingLFBreaksGivesWhatTheConversionGives) {
    const std::string texts[] = {
        "abc\n", "abc", "  abc abc\n\nabc", " \n  ", "xabcx\n  abcabc\n",
        std::string("ab\0c\nabc", 8), "abc\nabc\r\n",
    };
    const Pairs changes[] = {
        {{"abc", "x^ny"}}, {{"abc", ""}}, {{" ", "^n"}}, {{"abc", "{}1\\^n"}}, {{"b", "^t^n^n"}},
        {{"abc", "q"}, {"q", "abc^nabc"}, {"c", ""}}, {{"ABC", "}"}}, {{"\\abc", "x"}},
    };
    for (const auto& pairs : changes) {
        for (const auto& [pattern, replacement] : pairs) {
            ASSERT_TRUE(IsLineNeutral(pattern, replacement)) << pattern;
        }
        for (const auto& text : texts) {
            int kept = 0, converted = 0;
            EXPECT_EQ(Edit(text, pairs, true, kept), Edit(text, pairs, false, converted))
                << text << " / " << pairs.front().first;
            EXPECT_EQ(kept, converted);
        }
    }
    for (const char* pattern : {"a*", "a?", "!a", "a$", "@", "{a}1", "a+", "a^n"}) {
        EXPECT_FALSE(IsLineNeutral(pattern, "x")) << pattern;
    }
}

}  // namespace
}  // namespace varnok
