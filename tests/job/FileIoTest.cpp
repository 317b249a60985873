#include "FileIo.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>

namespace varnok {
namespace {

// What a read returns of a file holding `contents` for the size it was given:
// a file that grew or shrank since it was sized, one that claims no size and
// is longer than the first buffer, and reads by position.
TEST(ReadWhole, ReadsWhatTheSizeSaysAndNoMore) {
    const std::string big(200'000, 'x');
    struct TRow {
        const char* Name;
        std::string Contents;
        std::size_t Size;
        off_t At;  // -1: from the descriptor's offset
        std::string Read;
    } rows[] = {
        {"as sized", "abcdef", 6, -1, "abcdef"},
        {"grew", "abcdefgh", 6, -1, "abcdef"},
        {"shrank", "abc", 6, -1, "abc"},
        {"no size", big, 0, -1, big},
        {"by position", "abcdef", 3, 2, "cde"},
        {"by position, no size", "abcdef", 0, 4, "ef"},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        const int fd = memfd_create("FileIoTest", MFD_CLOEXEC);
        ASSERT_GE(fd, 0);
        ASSERT_TRUE(WriteAll(fd, row.Contents));
        ASSERT_EQ(lseek(fd, 0, SEEK_SET), 0);
        // A buffer the caller prepared is the one filled.
        std::string out;
        out.reserve(row.Size);
        const char* prepared = out.data();
        ASSERT_TRUE(row.At < 0 ? ReadWhole(fd, out, row.Size) : PreadWhole(fd, out, row.Size, row.At));
        EXPECT_EQ(out, row.Read);
        if (row.Size != 0) {
            EXPECT_EQ(out.data(), prepared);
        }
        if (row.At >= 0) {
            EXPECT_EQ(lseek(fd, 0, SEEK_CUR), 0);
        }
        close(fd);
    }
    std::string out = "left";
    errno = 0;
    EXPECT_FALSE(ReadWhole(-1, out, 4));
    EXPECT_EQ(errno, EBADF);
}

}  // namespace
}  // namespace varnok
