// Text-mode input through the program: CRLF and lone CR, zero bytes, and
// lines longer than the buffer, from a file and from standard input; then
// the input itself, ending a regular file at the size it was given.
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "descriptors.h"
#include "program.h"
#include "text_input.h"

namespace {

const std::string MARKER = "/*end_of_program*/\n";
const std::string X400(400, 'x');
const std::string SPACES359(359, ' ');

INSTANTIATE_TEST_SUITE_P(TextInput, ProgramTest, testing::Values(
    Case{.name = "FileReturnBeforeNewlineIsDropped", .input = "2\nmain.c\n", .expected = SOURCE + report(2, 3),
         .source = "ab\r\na\rb\n"},
    Case{.name = "TypedReturnBeforeNewlineIsDropped", .input = "4\r\nab\r\na\rb\r\n/*end_of_program*/\r\n",
         .expected = TYPE + report(2, 3)},
    Case{.name = "FileZeroByteSeparates", .input = "2\nmain.c\n", .expected = SOURCE + report(1, 3),
         .source = std::string("ab\nc\0d\n", 7)},
    Case{.name = "LongFileLineComesInPieces", .input = "2\nmain.c\n", .expected = SOURCE + report(1, 2),
         .source = X400 + "\n"},
    Case{.name = "FullFilePieceLeavesNewlineAsNextLine", .input = "2\nmain.c\n", .expected = SOURCE + report(3, 1),
         .source = SPACES359 + "\nab\n"},
    Case{.name = "PieceBoundarySplitsLineComment", .input = "2\nmain.c\n", .expected = SOURCE + report(1, 2),
         .source = std::string(358, 'a') + "// b\n"},
    Case{.name = "LineCommentWithinOnePiece", .input = "2\nmain.c\n", .expected = SOURCE + report(1, 0),
         .source = std::string(300, 'a') + "// b\n"},
    Case{.name = "LongTypedLineComesInPieces", .input = "4\n" + X400 + "\n" + MARKER, .expected = TYPE + report(1, 2)},
    Case{.name = "FullTypedPieceTakesItsNewline", .input = "4\n" + SPACES359 + "\nx\n" + MARKER,
         .expected = TYPE + report(2, 1)}
), caseName);

// A short read that reaches the file's stated size ends the input; a file
// that grew since, one that shrank, or short reads of a file whose size says
// nothing (0, as /proc's files have) are read to their real end.
// A file whose pages were dropped from memory is read all the same, after a
// notice that the read waits for the disk; one in memory gives none.
struct SizeCase {
    const char *name;
    off_t stated;
    bool shortReads; // from a socket that gets 1 000 bytes at a time
    bool dropped = false;
};

// Whether any page of `fd`'s first `size` bytes is in memory.
bool anyPageInMemory(int fd, std::size_t size)
{
    void *pages = mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    std::vector<unsigned char> resident((size + 4095) / 4096);
    const bool any = pages == MAP_FAILED || mincore(pages, size, resident.data()) != 0 ||
                     std::any_of(resident.begin(), resident.end(), [](unsigned char page) { return page & 1; });
    munmap(pages, size);
    return any;
}

void PrintTo(const SizeCase &c, std::ostream *os)
{
    *os << c.name;
}

class StatedSizeTest : public testing::TestWithParam<SizeCase> {};

TEST_P(StatedSizeTest, DeliversEveryByte)
{
    const SizeCase &c = GetParam();
    std::string text;
    for (int k = 0; text.size() < 200000; k++)
        text += "line " + std::to_string(k) + "\n";
    text.resize(200000);
    int fds[2] = {-1, -1};
    std::thread writer;
    FILE *file = nullptr;
    if (c.shortReads) {
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        writer = std::thread([&] {
            // Not past an input that ended early and closed its end.
            for (std::size_t at = 0; at < text.size(); at += 1000)
                if (send(fds[1], text.data() + at, std::min<std::size_t>(1000, text.size() - at), MSG_NOSIGNAL) < 0)
                    break;
            close(fds[1]);
        });
    } else {
        file = std::tmpfile();
        ASSERT_NE(file, nullptr);
        ASSERT_EQ(std::fwrite(text.data(), 1, text.size(), file), text.size());
        ASSERT_EQ(std::fflush(file), 0);
        ASSERT_EQ(lseek(fileno(file), 0, SEEK_SET), 0);
        if (c.dropped) {
            ASSERT_EQ(fdatasync(fileno(file)), 0);
            ASSERT_EQ(posix_fadvise(fileno(file), 0, 0, POSIX_FADV_DONTNEED), 0);
            if (anyPageInMemory(fileno(file), text.size()))
                GTEST_SKIP() << "this file system keeps the file in memory";
        }
    }
    TextInput input(-1);
    int notices = 0;
    input.setWaitNotice([](void *count) { ++*static_cast<int *>(count); }, &notices);
    input.reopen(c.shortReads ? fds[0] : fileno(file), false, c.stated);
    std::string delivered;
    for (std::string_view piece; !(piece = input.unread()).empty(); input.skip(piece.size()))
        delivered += piece;
    if (c.shortReads) {
        close(fds[0]);
        writer.join();
    } else {
        char byte = 0;
        const bool told = readIfInMemory(fileno(file), &byte, 1) >= 0 || errno == EAGAIN;
        std::fclose(file);
        if (told || !c.dropped) {
            EXPECT_EQ(notices > 0, c.dropped);
        }
    }
    EXPECT_EQ(delivered.size(), text.size());
    EXPECT_TRUE(delivered == text) << "the bytes differ";
}

INSTANTIATE_TEST_SUITE_P(TextInput, StatedSizeTest, testing::Values(
    SizeCase{"SizeAsStated", 200000, false},
    SizeCase{"DroppedFromMemory", 200000, false, true},
    SizeCase{"GrewSinceItsSize", 1000, false},
    SizeCase{"ShrankSinceItsSize", 400000, false},
    SizeCase{"SizeUnknown", -1, false},
    SizeCase{"ShortReadsOfSizeZero", 0, true}
), [](const auto &info) { return std::string(info.param.name); });

} // namespace
