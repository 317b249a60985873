#include <gtest/gtest.h>

#include <stdexcept>

#include "JobTesting.h"
#include "VarnokDirectory.h"

namespace varnok {
namespace {

using Lines = std::vector<std::string>;
using Pairs = std::vector<std::pair<std::string, std::string>>;

Pairs ChangesOf(const Lines& text) {
    testing::TScriptedHost host;
    TVarnokDirectory walker;
    walker.SetState(host, false, false, text);
    walker.PreProcessProcedure();
    Pairs pairs;
    for (int i = 0; i < walker.ChangeCount; ++i) {
        pairs.emplace_back(walker.SearchStrings[i], walker.ReplaceStrings[i]);
    }
    return pairs;
}

TEST(ChangeList, GroupsOfThreeLinesWithTheirOddEnds) {
    const std::pair<Lines, Pairs> rows[] = {
        {{"abc", "xyz", "", "def", "uvw"}, {{"abc", "xyz"}, {"def", "uvw"}}},
        {{"abc", "xyz", "--", "", "ignored", "--", "q", "r"}, {{"abc", "xyz"}, {"q", "r"}}},
        {{"abc", ""}, {{"abc", ""}}},
        {{"abc"}, {}},
        {{}, {}},
        {{"abc", "xyz", "def"}, {{"abc", "xyz"}}},
        {{"abc", "xyz", "--", "def"}, {{"abc", "xyz"}}},
        {{"a ", " b", "--"}, {{"a ", " b"}}},
        {{"a", "b", "c", "d", "e", "f", "g"}, {{"a", "b"}, {"d", "e"}}},
    };
    for (const auto& [text, pairs] : rows) EXPECT_EQ(ChangesOf(text), pairs) << ::testing::PrintToString(text);
}

TEST(ChangeList, MoreThanTheLimitIsRefused) {
    Lines text;
    for (int i = 0; i < kMaxChanges; ++i) text.insert(text.end(), {"a", "", "--"});
    text.insert(text.end(), {"", "dropped", "--"});
    EXPECT_EQ(ChangesOf(text).size(), 16000u);
    text.insert(text.end(), {"a", "b"});
    EXPECT_THROW(
        try { ChangesOf(text); } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), "The change list holds more than 16000 changes");
            throw;
        },
        std::runtime_error);
}

}  // namespace
}  // namespace varnok
