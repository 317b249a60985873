#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/acl.h>
#include <sys/xattr.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <functional>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "ImmutableFile.h"
#include "JobTesting.h"
#include "RunJob.h"
#include "RunUndo.h"
#include "SafeWrite.h"
#include "TextUtils.h"
#include "VarnokDirectory.h"

namespace varnok {
namespace {

using Lines = std::vector<std::string>;

// The lower soft limit makes writes past it fail as on a full disk, for root too.
bool LimitFileSize(rlim_t bytes) {
    signal(SIGXFSZ, bytes == RLIM_INFINITY ? SIG_DFL : SIG_IGN);
    struct rlimit limit {};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = std::min(bytes, limit.rlim_max);
    return setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

using testing::SetImmutable;

}  // namespace
}  // namespace varnok

// This test is linked with renameat2 wrapped, so that it can make it fail.
std::atomic<int> g_renameError{0};
extern "C" int __real_renameat2(int, const char*, int, const char*, unsigned);
extern "C" int __wrap_renameat2(int fromFolder, const char* from, int toFolder, const char* to, unsigned flags) {
    if (const int error = g_renameError.load()) {
        errno = error;
        return -1;
    }
    return __real_renameat2(fromFolder, from, toFolder, to, flags);
}

namespace varnok {
namespace {

class EditPassTest : public ::testing::Test {
protected:
    TRunOutcome Run(const Lines& changes, const Lines& masks = {"*.*"}, bool dryRun = false) {
        TJobSettings settings;
        settings.ClearReport = true;
        settings.Folders = {tree.Path()};
        settings.ChangeText = changes;
        settings.Masks = masks;
        settings.DryRun = dryRun;
        settings.EditBinary = editBinary;
        return RunJob(settings, host);
    }
    bool editBinary = false;
    std::string Line(long long count, const std::string& name) {
        return ReportLine(count, tree.Path(name));
    }
    struct stat Info(const std::string& name) {
        struct stat info {};
        lstat(tree.Path(name).c_str(), &info);
        return info;
    }
    std::string ErrorOf(const Lines& changes) {
        try {
            Run(changes);
        } catch (const std::runtime_error& error) {
            return error.what();
        }
        return "no error";
    }
    testing::TTempTree tree;
    // Journals of their own: an undo here takes back the newest run, which
    // must be this test's even while others run beside it.
    testing::TTempTree stateTree;
    testing::TStateHome stateHome{stateTree.Path()};
    testing::TScriptedHost host;
};

TEST_F(EditPassTest, LineEndsNulsAndCounts) {
    const struct {
        const char* name;
        std::string before;
        Lines changes;
        std::string after;
        int count;
    } rows[] = {
        {"lf", "abc\nabc\n", {"abc", "xyz"}, "xyz\nxyz\n", 2},
        {"crlf", "abc\r\nq\r\n", {"abc", "xyz"}, "xyz\r\nq\r\n", 1},
        {"lone-cr", "abc\rdef", {"abc", "xyz"}, "xyz\r\ndef\r\n", 1},
        {"mixed", "abc\nq\r\nr\r", {"abc", "xyz"}, "xyz\nq\nr\n", 1},
        {"no-break", "abc", {"abc", "xyz"}, "xyz\n", 1},
        {"inserted-lf", "  abc\n", {"abc", "1^n2"}, "  1\n  2\n", 1},
        {"inserted-crlf", "abc\r\n", {"abc", "1^n2"}, "1\r\n2\r\n", 1},
        {"line-end", "abc\ndef\n", {"abc$", "X"}, "X\ndef\n", 1},
        {"wild-no-span", "a\nb\n", {"a*b", "X"}, "a\nb\n", 0},
        {"wild-group", "f(x)\n", {"f({*}1)", "g({}1)"}, "g(x)\n", 1},
        {"chained", "a", {"a", "b", "--", "b", "c"}, "c\n", 2},
        {"nul", std::string("abc\0abc\n", 8), {"abc", "x"}, std::string("x\0abc\n", 6), 1},
        {"nul-mid-line", std::string("abc\nabc\0t", 9), {"abc", "x"}, std::string("x\nx\0t", 5), 2},
        {"nul-first", std::string("\0abc", 4), {"abc", "x"}, std::string("\0abc", 4), 0},
        {"empty", "", {"abc", "x"}, "", 0},
    };
    for (const auto& row : rows) tree.Write(std::string(row.name) + ".txt", row.before);
    const ino_t unchanged = Info("wild-no-span.txt").st_ino;
    editBinary = true;  // the text before a NUL is edited as it always was
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string name = std::string(row.name) + ".txt";
        host.report.clear();
        Run(row.changes, {name});
        EXPECT_EQ(host.report, Lines{Line(row.count, name)});
        EXPECT_EQ(tree.Read(name), row.after);
        EXPECT_EQ(tree.Exists(std::string(row.name) + ".BAK"), row.count != 0);
        if (row.count != 0) {
            EXPECT_EQ(tree.Read(std::string(row.name) + ".BAK"), row.before);
        }
        EXPECT_FALSE(tree.Exists(std::string(row.name) + ".$$$"));
    }
    EXPECT_EQ(Info("wild-no-span.txt").st_ino, unchanged);
}

// The bytes of UTF-16 text, mark first.
std::string Utf16(std::u16string_view text, bool little) {
    std::string bytes = little ? "\xFF\xFE" : "\xFE\xFF";
    for (const char16_t unit : text) {
        const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
        bytes += little ? low : high;
        bytes += little ? high : low;
    }
    return bytes;
}

TEST_F(EditPassTest, BinaryFilesAndEncodings) {
    const std::string pdf("%PDF-1.4 abc\n\0\x01" "abc", 18), png("\x89PNG\r\n\x1a\n\0\0abc", 13);
    const std::string elf("\x7f" "ELF\x02\x01\x01\0\0abc", 12);
    const std::string surrogate = std::string("\xFF\xFE\x00\xD8", 4) + std::string("a\0", 2);
    enum { Count, Binary, Skipped };
    const struct {
        const char* name;
        std::string before;
        Lines changes;
        bool binary;  // edit binary files
        std::string after;
        int report;
        long long count;
    } rows[] = {
        {"pdf", pdf, {"abc", "x"}, false, pdf, Binary, 0},
        {"png", png, {"abc", "x"}, false, png, Binary, 0},
        {"elf", elf, {"abc", "x"}, false, elf, Binary, 0},
        {"surrogate", surrogate, {"a", "x"}, false, surrogate, Binary, 0},
        {"pdf-edited", pdf, {"abc", "x"}, true, std::string("%PDF-1.4 x\n\0\x01" "abc", 16), Count, 1},
        {"le-crlf", Utf16(u"abc\r\ncaf\u00e9 abc\r\n", true), {"abc", "xyz"}, false,
         Utf16(u"xyz\r\ncaf\u00e9 xyz\r\n", true), Count, 2},
        {"be-lf", Utf16(u"\u00e9t\u00e9 abc\n", false), {"\u00e9t\u00e9", "summer"}, false,
         Utf16(u"summer abc\n", false), Count, 1},
        {"le-latin1-change", Utf16(u"caf\u00e9\n", true), {"caf\xe9", "tea"}, false, Utf16(u"tea\n", true), Count, 1},
        {"le-no-match", Utf16(u"nothing\r\n", true), {"abc", "x"}, false, Utf16(u"nothing\r\n", true), Count, 0},
        {"le-half-a-character", Utf16(u"caf\u00e9\n", true), {"caf?", "X"}, false, Utf16(u"caf\u00e9\n", true),
         Skipped, 0},
        {"utf8-mark", "\xEF\xBB\xBF" "abc\nabc\n", {"!abc", "x"}, false, "\xEF\xBB\xBF" "x\nx\n", Count, 2},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string name = std::string(row.name) + ".txt";
        tree.Write(name, row.before);
        host.report.clear();
        editBinary = row.binary;
        Run(row.changes, {name});
        const std::string line = row.report == Binary    ? "Binary     " + tree.Path(name)
                                 : row.report == Skipped ? "Skipped    " + tree.Path(name) +
                                                               ": the edit leaves text that is not UTF-16LE"
                                                         : Line(row.count, name);
        EXPECT_EQ(host.report, Lines{line});
        EXPECT_EQ(tree.Read(name), row.after);
        EXPECT_EQ(tree.Exists(std::string(row.name) + ".BAK"), row.count != 0);
    }
}

TEST_F(EditPassTest, BackupsNeverOverwriteEachOther) {
    tree.Write("a.txt", "q from txt");
    tree.Write("a.doc", "q from doc");
    tree.Write("README", "q");
    tree.Write("x.BAK", "q user's");
    tree.Write("old.txt", "q");
    tree.Write("old.BAK", "an earlier backup");
    Run({"q", "r"});
    Lines backups;
    for (const char* name : {"a.BAK", "a.txt.BAK", "a.doc.BAK"}) {
        if (tree.Exists(name)) backups.push_back(tree.Read(name));
    }
    std::sort(backups.begin(), backups.end());
    EXPECT_EQ(backups, (Lines{"q from doc", "q from txt"}));
    EXPECT_EQ(tree.Read("README.BAK"), "q");
    EXPECT_EQ(tree.Read("x.BAK.BAK"), "q user's");
    EXPECT_EQ(tree.Read("x.BAK"), "r user's\n");
    EXPECT_EQ(tree.Read("old.BAK"), "q");
}

// The run's temporary files have hidden names of their own: a user's x.$$$
// is a file like any other, visited and never removed.
TEST_F(EditPassTest, AUsersFileNamedLikeATemporaryIsAFileLikeAnyOther) {
    for (int i = 0; i < 10; ++i) {
        tree.Write("x" + std::to_string(i) + ".txt", "q");
        tree.Write("x" + std::to_string(i) + ".$$$", "kept apart");
    }
    EXPECT_EQ(Run({"q", "r"}), TRunOutcome::Done);
    EXPECT_EQ(host.report.size(), 20u);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(tree.Read("x" + std::to_string(i) + ".$$$"), "kept apart");
        EXPECT_EQ(tree.Read("x" + std::to_string(i) + ".txt"), "r\n");
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tree.Path()), {}), 30);
}

TEST_F(EditPassTest, SecondVisitEditsAgainAndKeepsTheFirstBackup) {
    tree.Write("a.txt", "a");
    for (const bool dryRun : {true, false}) {
        SCOPED_TRACE(dryRun ? "dry run" : "run");
        host.report.clear();
        Run({"a", "aa"}, {"*.txt", "*.*"}, dryRun);
        // a.BAK, made in the first pass, is not visited in the second
        EXPECT_EQ(host.report, (Lines{Line(1, "a.txt"), Line(2, "a.txt")}));
        EXPECT_EQ(tree.Read("a.txt"), dryRun ? "a" : "aaaa\n");
        EXPECT_EQ(tree.Exists("a.BAK"), !dryRun);
    }
    EXPECT_EQ(tree.Read("a.BAK"), "a");
}

TEST_F(EditPassTest, LinksArePassedOverAndPermissionsKept) {
    tree.Write("elsewhere/target.txt", "a");
    ASSERT_EQ(symlink(tree.Path("elsewhere/target.txt").c_str(), tree.Path("link.txt").c_str()), 0);
    ASSERT_EQ(symlink(tree.Path("elsewhere").c_str(), tree.Path("linked").c_str()), 0);
    tree.Write("private.txt", "a");
    chmod(tree.Path("private.txt").c_str(), 0640);
    tree.Write("readonly.txt", "a");
    chmod(tree.Path("readonly.txt").c_str(), 0444);
    tree.Write("setid.txt", "a");
    chmod(tree.Path("setid.txt").c_str(), 06755);
    TJobSettings settings;
    settings.ClearReport = true;
    settings.Folders = {tree.Path()};
    settings.Recurse = true;
    settings.ChangeText = {"a", "b"};
    settings.Masks = {"*.txt"};
    RunJob(settings, host);
    EXPECT_EQ(host.report.size(), 4u);  // the three files and elsewhere/target.txt, once
    EXPECT_TRUE(std::filesystem::is_symlink(tree.Path("link.txt")));
    EXPECT_EQ(tree.Read("elsewhere/target.txt"), "b\n");
    EXPECT_FALSE(tree.Exists("link.BAK"));
    EXPECT_EQ(Info("private.txt").st_mode & 07777, 0640u);
    EXPECT_EQ(Info("readonly.txt").st_mode & 07777, 0444u);
    EXPECT_EQ(Info("setid.txt").st_mode & 07777, 06755u);
    EXPECT_EQ(tree.Read("readonly.txt"), "b\n");
}

TEST_F(EditPassTest, HardLinkedNamesAreEachRewrittenOnTheirOwn) {
    tree.Write("target.txt", "a");
    ASSERT_EQ(link(tree.Path("target.txt").c_str(), tree.Path("link.txt").c_str()), 0);
    for (int i = 0; i < 6; ++i) tree.Write("other" + std::to_string(i) + ".txt", "b");
    // A slow user interface lets the reader get ahead by the whole listing.
    host.onEvents = [] { std::this_thread::sleep_for(std::chrono::milliseconds(5)); };
    Run({"a", "aa"});
    for (const char* name : {"target", "link"}) {
        EXPECT_EQ(tree.Read(std::string(name) + ".txt"), "aa\n");
        EXPECT_EQ(tree.Read(std::string(name) + ".BAK"), "a");
    }
    EXPECT_EQ(host.status, "All Done");
}

TEST_F(EditPassTest, AnOlderBackupThatCannotBeKeptLeavesTheFileAsItIs) {
    tree.Write("a.txt", "a");
    tree.Write("a.BAK/x", "");  // a folder takes the name
    EXPECT_EQ(Run({"a", "b"}), TRunOutcome::Done);
    EXPECT_EQ(host.report, Lines{"Skipped    " + tree.Path("a.txt") + ": older backup " + tree.Path("a.BAK") +
                                 " cannot be kept: not a file"});
    EXPECT_EQ(tree.Read("a.txt"), "a");
    EXPECT_TRUE(tree.Exists("a.BAK/x"));
    EXPECT_EQ(host.status, "All Done, 1 skipped");
}

// Causes a test can bring about without privileges it may lack; the rename
// that fails on a file that is neither immutable nor ours is injected.
TEST_F(EditPassTest, AFileThatCannotBeWrittenKeepsNoBackupAndSaysWhy) {
    const bool root = geteuid() == 0;
    const std::string big(20000, 'a');
    struct TCause {
        const char* name;
        std::function<bool()> start;  // false: not possible here
        std::function<void()> end;
        std::string failedName, reason;
    } causes[] = {
        {"read-only folder", [&] { return !root && chmod(tree.Path().c_str(), 0555) == 0; },
         [&] { chmod(tree.Path().c_str(), 0755); }, ".a.txt.", "Permission denied"},
        {"disk full", [] { return LimitFileSize(4096); }, [] { LimitFileSize(RLIM_INFINITY); },
         ".a.txt.", "File too large"},
        {"immutable", [&] { return root && SetImmutable(tree.Path("a.txt"), true); },
         [&] { SetImmutable(tree.Path("a.txt"), false); }, "a.txt", "Operation not permitted"},
        {"rename refused", [] { g_renameError = EBUSY; return true; }, [] { g_renameError = 0; },
         "a.txt", "Device or resource busy"},
    };
    for (const TCause& cause : causes) {
        SCOPED_TRACE(cause.name);
        tree.Write("a.txt", big);
        if (!cause.start()) continue;
        const std::string error = ErrorOf({"a", "b"});
        cause.end();
        // A temporary file is named ".a.txt.RANDOM.$$$".
        const std::string failed = "Cannot create file " + tree.Path(cause.failedName);
        const std::string reason = ": " + cause.reason;
        EXPECT_TRUE(error.starts_with(failed) && error.ends_with(reason)) << error;
        EXPECT_EQ(tree.Read("a.txt"), big);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tree.Path()), {}), 1);
    }
}

// With every core writing, a failure still ends the run where the walk met
// it: the files before are rewritten and reported, those after untouched.
TEST_F(EditPassTest, AFailureAmongManyRewritesEndsTheRunWhereTheWalkMetIt) {
    for (int i = 0; i < 300; ++i) tree.Write("f" + std::to_string(i) + ".txt", "a a\n");
    ASSERT_TRUE(SetImmutable(tree.Path("f150.txt"), true)) << "needs CAP_LINUX_IMMUTABLE";
    const std::vector<std::string> order = ReadFolder(tree.Path()).Files;
    const auto failing = std::find(order.begin(), order.end(), "f150.txt") - order.begin();
    const std::string error = ErrorOf({"a", "b"});
    SetImmutable(tree.Path("f150.txt"), false);
    EXPECT_EQ(error, "Cannot create file " + tree.Path("f150.txt") + ": Operation not permitted");
    Lines reported;
    for (std::ptrdiff_t i = 0; i < failing; ++i) reported.push_back(Line(2, order[i]));
    EXPECT_EQ(host.report, reported);
    for (std::size_t i = 0; i < order.size(); ++i) {
        const bool before = static_cast<std::ptrdiff_t>(i) < failing;
        EXPECT_EQ(tree.Read(order[i]), before ? "b b\n" : "a a\n") << order[i];
        EXPECT_EQ(tree.Exists(ChangeExtension(order[i], "BAK")), before) << order[i];
    }
}

// x.txt and x.doc share the temporary name x.$$$ and the backup x.BAK; with
// many such pairs written at once, each file still gets its own contents and
// the first of the pair in walk order the short backup name.
TEST_F(EditPassTest, RewritesInHandNeverShareANameWithEachOther) {
    for (int i = 0; i < 150; ++i) {
        for (const std::string extension : {".txt", ".doc"}) tree.Write("x" + std::to_string(i) + extension, extension + "\n");
    }
    EXPECT_EQ(Run({"txt", "TXT", "", "doc", "DOC"}), TRunOutcome::Done);
    const std::vector<std::string> order = ReadFolder(tree.Path()).Files;
    for (int i = 0; i < 150; ++i) {
        const std::string stem = "x" + std::to_string(i);
        EXPECT_EQ(tree.Read(stem + ".txt"), ".TXT\n");
        EXPECT_EQ(tree.Read(stem + ".doc"), ".DOC\n");
        const bool txtFirst = std::find(order.begin(), order.end(), stem + ".txt") <
                              std::find(order.begin(), order.end(), stem + ".doc");
        EXPECT_EQ(tree.Read(stem + ".BAK"), txtFirst ? ".txt\n" : ".doc\n") << stem;
        EXPECT_EQ(tree.Read(stem + (txtFirst ? ".doc.BAK" : ".txt.BAK")), txtFirst ? ".doc\n" : ".txt\n");
        EXPECT_FALSE(tree.Exists(stem + ".$$$"));
    }
}

// A rewritten file keeps its ACL (the group bits do not take the mask's
// place) and extended attributes; a rewrite that fails leaves the older
// backup it was about to replace as it was.
TEST_F(EditPassTest, MetadataAndAnOlderBackupSurvive) {
    tree.Write("acl.txt", "a");
    chmod(tree.Path("acl.txt").c_str(), 0640);
    acl_t acl = acl_from_text("u::rw-,u:65534:rw-,g::r--,m::rw-,o::---");
    ASSERT_EQ(acl_set_file(tree.Path("acl.txt").c_str(), ACL_TYPE_ACCESS, acl), 0);
    acl_free(acl);
    ASSERT_EQ(setxattr(tree.Path("acl.txt").c_str(), "user.origin", "kept", 4, 0), 0);
    const auto attribute = [&](const char* name) {
        char value[256] = {};
        const ssize_t n = getxattr(tree.Path("acl.txt").c_str(), name, value, sizeof value);
        return n < 0 ? std::string() : std::string(value, static_cast<std::size_t>(n));
    };
    const std::string aclBefore = attribute("system.posix_acl_access");
    tree.Write("b.txt", "a");
    tree.Write("b.BAK", "older");
    ASSERT_TRUE(SetImmutable(tree.Path("b.txt"), true)) << "needs CAP_LINUX_IMMUTABLE";
    EXPECT_EQ(ErrorOf({"a", "b"}).substr(0, 19), "Cannot create file ");
    SetImmutable(tree.Path("b.txt"), false);
    EXPECT_EQ(tree.Read("b.BAK"), "older");
    EXPECT_EQ(tree.Read("b.txt"), "a");
    if (tree.Read("acl.txt") == "b\n") {  // visited before b.txt
        EXPECT_EQ(attribute("system.posix_acl_access"), aclBefore);
        EXPECT_EQ(attribute("user.origin"), "kept");
        EXPECT_EQ(Info("acl.txt").st_mode & 0777, 0660u);  // the mask, as before
    }
    std::filesystem::remove(tree.Path("b.txt"));
    EXPECT_EQ(Run({"a", "b"}), TRunOutcome::Done);
    EXPECT_EQ(attribute("system.posix_acl_access"), aclBefore);
    EXPECT_EQ(attribute("user.origin"), "kept");
}

TEST_F(EditPassTest, ANamedFolderThatCannotBeOpenedEndsTheRunBeforeAnyFile) {
    tree.Write("a.txt", "a");
    TJobSettings settings;
    settings.Folders = {tree.Path(), tree.Path("gone")};
    settings.ChangeText = {"a", "b", ""};
    settings.Masks = {"*.*"};
    try {
        RunJob(settings, host);
        ADD_FAILURE() << "the run went on";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(error.what(), "Cannot open folder " + tree.Path("gone") + ": No such file or directory");
    }
    EXPECT_EQ(tree.Read("a.txt"), "a");
    EXPECT_FALSE(tree.Exists("a.BAK"));
}

// A run stopped dead at each step of a file's two changes (its second mask
// visits it again): whatever it left, the undo gives the tree back.
TEST_F(EditPassTest, AChainStoppedAtAnyStepIsUndone) {
    const struct {
        const char* step;
        int placing;     // the placing that fails (1 or 2), 0: none
        bool exchange;   // at the exchange, after the journal line; else before anything
    } rows[] = {
        {"before the first change", 1, false}, {"at the first exchange", 1, true},
        {"before the second change", 2, false}, {"at the second exchange", 2, true},
        {"after both", 0, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.step);
        tree.Write("chain.txt", "one\n");
        tree.Write("other.txt", "one\n");
        int placings = 0;
        BeforePlacingForTests = [&](const std::string& name) {
            if (NameOf(name) != "chain.txt" || ++placings != row.placing) return;
            if (!row.exchange) throw std::runtime_error("stopped dead");
            g_renameError = EIO;
        };
        std::string error;
        try {
            Run({"n", "nn"}, {"*.txt", "chain.*"});  // changes chain.txt on each visit
        } catch (const std::runtime_error& stopped) {
            error = stopped.what();
        }
        BeforePlacingForTests = nullptr;
        g_renameError = 0;
        EXPECT_EQ(error.empty(), row.placing == 0) << error;
        try {
            UndoRun("", true, host);
        } catch (const std::runtime_error& nothing) {
            EXPECT_STREQ(nothing.what(), "There is no run to undo");
        }
        EXPECT_EQ(tree.Read("chain.txt"), "one\n");
        EXPECT_EQ(tree.Read("other.txt"), "one\n");
        EXPECT_FALSE(tree.Exists("chain.BAK"));
        EXPECT_FALSE(tree.Exists("other.BAK"));
    }
}

}  // namespace
}  // namespace varnok
