// The diff against the programs it must agree with: diff prints the same
// text, and patch turns the old file into the new one.

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <random>

#include "JobTesting.h"
#include "UnifiedDiff.h"

namespace varnok {
namespace {

class UnifiedDiffTest : public ::testing::Test {
protected:
    // What a shell command prints on standard output.
    static std::string Output(const std::string& command) {
        std::string text;
        FILE* pipe = popen(command.c_str(), "r");
        if (!pipe) throw std::runtime_error("cannot run " + command);
        char buffer[4096];
        for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
        pclose(pipe);
        return text;
    }
    std::string Ours(const std::string& before, const std::string& after) {
        std::string out;
        AppendUnifiedDiff(out, "f.txt", before, after);
        return out;
    }
    std::string Theirs(const std::string& before, const std::string& after, const char* options = "") {
        tree.Write("old", before);
        tree.Write("new", after);
        return Output(std::string("diff -u -a ") + options + " --label f.txt --label f.txt " +
                      tree.Path("old") + " " + tree.Path("new"));
    }
    testing::TTempTree tree;
};

std::string Numbered(int from, int to, const std::string& end = "\n") {
    std::string text;
    for (int i = from; i <= to; ++i) text += std::to_string(i) + end;
    return text;
}

// Lines 1 to 20 with some replaced ("" removes one).
std::string Twenty(const std::map<int, std::string>& replaced = {}) {
    std::string text;
    for (int i = 1; i <= 20; ++i) {
        const auto line = replaced.find(i);
        if (line == replaced.end()) {
            text += std::to_string(i) + "\n";
        } else if (!line->second.empty()) {
            text += line->second + "\n";
        }
    }
    return text;
}

TEST_F(UnifiedDiffTest, SameTextAsDiff) {
    const struct {
        const char* name;
        std::string before, after;
    } rows[] = {
        {"one line", Twenty(), Twenty({{7, "seven"}})},
        {"six lines apart: one hunk", Twenty(), Twenty({{4, "X"}, {11, "Y"}})},
        {"seven apart: two hunks", Twenty(), Twenty({{4, "X"}, {12, "Y"}})},
        {"at both ends", Twenty(), Twenty({{1, "one"}, {20, "twenty"}})},
        {"lines inserted and removed", Twenty(), Twenty({{6, "6\n6a\n6b"}, {9, ""}, {10, ""}})},
        {"no line end at the old end", "a\nb", "a\nc\n"},
        {"no line end at the new end", "a\nb\n", "a\nc"},
        {"no line end at either end", Twenty() + "21", Twenty({{2, ""}}) + "21"},
        {"only the last line end", "a\nb\n", "a\nb"},
        {"empty before", "", "a\nb"},
        {"empty after", "a\nb\n", ""},
        {"NUL", std::string("a\nb\0c\nd\n", 8), std::string("a\nb\0X\nd\n", 8)},
        {"CR LF", Numbered(1, 9, "\r\n"), Numbered(1, 4, "\r\n") + "five\r\n" + Numbered(6, 9, "\r\n")},
        {"CR LF to LF", "a\r\nb\r\n", "a\nb\n"},
        {"lone CRs are no line ends", "a\rb\rc\n", "a\rB\rc\n"},
        {"equal", Twenty(), Twenty()},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(Ours(row.before, row.after), Theirs(row.before, row.after));
    }
}

TEST_F(UnifiedDiffTest, NamesPatchWouldMisreadAreQuoted) {
    std::string out;
    AppendUnifiedDiff(out, "my dir/a\"b\\c\td\x01.txt", "a\n", "b\n");
    EXPECT_EQ(out.substr(0, out.find('@')),
              "--- \"my dir/a\\\"b\\\\c\\td\\001.txt\"\n+++ \"my dir/a\\\"b\\\\c\\td\\001.txt\"\n");
}

TEST_F(UnifiedDiffTest, MarkupAroundChangedLinesOnly) {
    std::string out;
    AppendUnifiedDiff(out, "f", "a\nb", "a\nc", {"<N>", "<H>", "<R>", "<A>", "</>"});
    EXPECT_EQ(out, "<N>--- f</>\n<N>+++ f</>\n<H>@@ -1,2 +1,2 @@</>\n a\n<R>-b</>\n"
                   "\\ No newline at end of file\n<A>+c</>\n\\ No newline at end of file\n");
}

// Edits of the kinds a replace-all makes, on texts of a few lines up to
// several windows long: patch must make the new text of the old one, with
// as few changed lines as a shortest diff has.
TEST_F(UnifiedDiffTest, PatchMakesTheNewTextWithAsFewChangedLinesAsAShortestDiff) {
    std::mt19937 random(3);
    const char* const pool[] = {"", "}", "a", "b", "x = 1;", "return x;", "foo(a)", "bar(b)"};
    // The lines a diff removes or adds: those after the two name lines that
    // begin with "-" or "+".
    const auto changedLines = [](const std::string& diff) {
        std::size_t n = 0, line = 0;
        for (std::size_t at = 0; at < diff.size(); at = diff.find('\n', at) + 1, ++line) {
            n += line >= 2 && (diff[at] == '-' || diff[at] == '+');
        }
        return n;
    };
    for (int round = 0; round < 60; ++round) {
        SCOPED_TRACE(round);
        const int lines = round < 40 ? 1 + static_cast<int>(random() % 40) : 300 + static_cast<int>(random() % 300);
        std::string before, after;
        for (int i = 0; i < lines; ++i) {
            const std::string line = std::string(pool[random() % 8]) + "\n";
            before += line;
            switch (random() % 12) {
                case 0: after += "new line\n"; break;                            // replaced
                case 1: break;                                                   // removed
                case 2: after += line + pool[random() % 8] + "\n"; break;        // one more
                case 3: after += std::string(60, 'y') + line; break;             // a long one
                default: after += line;
            }
        }
        if (random() % 2) after.pop_back();
        const std::string ours = Ours(before, after);
        tree.Write("f.txt", before);
        tree.Write("f.diff", ours);
        Output("cd " + tree.Path() + " && patch -s -p0 < f.diff");
        EXPECT_EQ(tree.Read("f.txt"), after);
        EXPECT_EQ(changedLines(ours), changedLines(Theirs(before, after, "--minimal")));
    }
}

}  // namespace
}  // namespace varnok
