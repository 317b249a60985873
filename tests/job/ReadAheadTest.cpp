#include "ReadAhead.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "JobTesting.h"
#include "MyDirectory.h"

namespace varnok {
namespace {

using testing::TTempTree;

// Many small files over nested folders, so that the reader runs ahead across
// listings and the edit pass catches up with it.
TTempTree MakeTree() {
    TTempTree tree;
    for (int folder = 0; folder < 12; ++folder) {
        for (int file = 0; file < 40; ++file) {
            const std::string name = "d" + std::to_string(folder % 3) + "/e" + std::to_string(folder) +
                                     "/f" + std::to_string(file) + (file % 2 ? ".txt" : ".doc");
            tree.Write(name, name);
        }
    }
    return tree;
}

// What the edit pass gets for each file: the prepared contents, its own reading
// (an empty text), or a wrong file's contents.
struct TVisit {
    std::vector<std::string> Wrong;
    int ReadAhead = 0, ReadHere = 0;
};

// The walk of TMyDirectory, with the edit pass taking every skip-th file and
// calling change() after each listing. It pauses after each file, as writing
// would, so that the reader gets ahead of it.
TVisit Walk(TReadAhead& readAhead, const std::string& root, const std::vector<std::string>& masks,
            int skip, const std::function<void(const std::string&)>& change = {}) {
    TVisit visit;
    std::function<void(const std::string&)> folder = [&](const std::string& path) {
        for (const auto& mask : masks) {
            const auto names = readAhead.Listing(path, mask).Files;
            if (change) change(path);
            for (std::size_t i = 0; i < names.size(); i += skip) {
                std::this_thread::sleep_for(std::chrono::microseconds(20));
                std::optional<TReadFile> file = readAhead.Take(names[i]);
                if (!file) {
                    ++visit.ReadHere;
                    continue;
                }
                ++visit.ReadAhead;
                const std::string expected = "prepared:" + names[i].substr(root.size() + 1);
                if (file->Contents != expected) visit.Wrong.push_back(names[i] + " -> " + file->Contents);
            }
        }
        for (const auto& sub : readAhead.SubFoldersOf(path)) folder(sub);
    };
    folder(root);
    return visit;
}

TEST(ReadAhead, HandsOverEachFileOnceWithItsOwnContents) {
    const TTempTree tree = MakeTree();
    struct TCase {
        std::vector<std::string> masks;
        int skip;
        int visits;
    };
    for (const TCase& c : {TCase{{"*.*"}, 1, 480}, TCase{{"*.txt", "*.doc"}, 1, 480},
                           TCase{{"*.*"}, 3, 12 * 14}}) {
        TReadAhead readAhead;
        readAhead.Prepare = [](TReadFile& file) { file.Contents = "prepared:" + file.Contents; };
        readAhead.Start({tree.Path()}, c.masks, true);
        const TVisit visit = Walk(readAhead, tree.Path(), c.masks, c.skip);
        EXPECT_TRUE(visit.Wrong.empty()) << visit.Wrong.front();
        EXPECT_EQ(visit.ReadAhead + visit.ReadHere, c.visits);
        EXPECT_GT(visit.ReadAhead, 0);
        readAhead.Stop();
    }
}

// Files that appear or vanish while the walk goes on: each folder is listed
// once, whoever gets there first, and no file gets another's contents.
TEST(ReadAhead, FoldersChangingUnderTheReaderNeverMixUpFiles) {
    const TTempTree tree = MakeTree();
    TReadAhead readAhead;
    readAhead.Prepare = [](TReadFile& file) { file.Contents = "prepared:" + file.Contents; };
    readAhead.Start({tree.Path()}, {"*.*"}, true);
    std::atomic<int> changed = 0;
    const TVisit visit = Walk(readAhead, tree.Path(), {"*.*"}, 1, [&](const std::string& folder) {
        if (folder == tree.Path("d1")) {
            // A new folder ahead of the edit pass, and a listing ahead made stale.
            tree.Write("d2/a-new/x.txt", "d2/a-new/x.txt");
            std::filesystem::remove(tree.Path("d2/e2/f0.doc"));
            changed = 1;
        }
    });
    EXPECT_EQ(changed, 1);
    EXPECT_TRUE(visit.Wrong.empty()) << visit.Wrong.front();
    EXPECT_NEAR(visit.ReadAhead + visit.ReadHere, 480, 1);  // as the listings fell
}

TEST(ReadAhead, WorksAfterAStop) {
    const TTempTree tree = MakeTree();
    TReadAhead readAhead;
    readAhead.Prepare = [](TReadFile& file) { file.Contents = "prepared:" + file.Contents; };
    readAhead.Start({tree.Path()}, {"*.*"}, true);
    Walk(readAhead, tree.Path(), {"*.*"}, 7);  // passes over most files
    readAhead.Start({tree.Path()}, {"*.*"}, true);
    const TVisit again = Walk(readAhead, tree.Path(), {"*.*"}, 1);
    EXPECT_TRUE(again.Wrong.empty()) << again.Wrong.front();
    EXPECT_EQ(again.ReadAhead + again.ReadHere, 480);
}

}  // namespace
}  // namespace varnok
