#include "platform/Files.h"

#include "PlatformTestUtil.h"

#include <fcntl.h>
#include <filesystem>
#include <future>
#include <sys/stat.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace platform;
using Lines = std::vector<std::string>;

TEST(SplitLines, EveryKindOfLineBreak)
{
    EXPECT_EQ(SplitLines(""), Lines{});
    EXPECT_EQ(SplitLines("a\r\nb\rc\nd"), (Lines{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitLines("a\r\n"), (Lines{"a"}));
    EXPECT_EQ(SplitLines("\r\n\r\n"), (Lines{"", ""}));
    EXPECT_EQ(SplitLines("a\n\rb"), (Lines{"a", "", "b"})); // LF CR is two breaks
    EXPECT_EQ(SplitLines(std::string_view("x\0y\r", 4)), (Lines{std::string("x\0y", 3)}));
}

namespace {

// A second process that holds a flock on a file until it is released.
class TLockHolder {
public:
    TLockHolder(const std::string& path, int how)
    {
        int ready[2], release[2];
        if (::pipe(ready) != 0 || ::pipe(release) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(ready[0]);
            ::close(release[1]);
            const int fd = ::open(path.c_str(), O_RDWR);
            char c = (fd >= 0 && ::flock(fd, how) == 0) ? '1' : '0';
            (void)!::write(ready[1], &c, 1);
            (void)!::read(release[0], &c, 1); // until released or the parent is gone
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        releaseFd_ = release[1];
        char c = '0';
        locked_ = ::read(ready[0], &c, 1) == 1 && c == '1';
        ::close(ready[0]);
    }
    ~TLockHolder() { Release(); }
    bool Locked() const { return locked_; }
    void Release()
    {
        if (releaseFd_ >= 0) {
            ::close(releaseFd_);
            releaseFd_ = -1;
        }
        if (pid_ > 0) {
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }

private:
    pid_t pid_ = -1;
    int releaseFd_ = -1;
    bool locked_ = false;
};

} // namespace

TEST(Files, ExclusiveLockOfAnotherProcessBlocksEveryAttempt)
{
    TTempDir dir;
    const std::string path = dir.File("\x95\x5C.txt"); // 表.txt
    ASSERT_TRUE(TryWriteNewFile(path, "old"));
    EXPECT_TRUE(std::filesystem::exists(dir.File("\xE8\xA1\xA8.txt")));

    TLockHolder holder(dir.File("\xE8\xA1\xA8.txt"), LOCK_EX);
    ASSERT_TRUE(holder.Locked());
    std::string text = "untouched";
    EXPECT_FALSE(TryLoadFile(path, text));
    EXPECT_EQ(text, "untouched");
    EXPECT_FALSE(TryWriteNewFile(path, "new"));
    EXPECT_FALSE(TryAppendFile(path, "more"));
    EXPECT_EQ(std::filesystem::file_size(dir.File("\xE8\xA1\xA8.txt")), 3u); // not truncated

    holder.Release();
    EXPECT_TRUE(TryAppendFile(path, "+more"));
    ASSERT_TRUE(TryLoadFile(path, text));
    EXPECT_EQ(text, "old+more");
    EXPECT_TRUE(TryWriteNewFile(path, "new"));
    ASSERT_TRUE(TryLoadFile(path, text));
    EXPECT_EQ(text, "new");
}

TEST(Files, SharedLockOfAnotherProcessAllowsOnlyLoading)
{
    TTempDir dir;
    const std::string path = dir.File("a.txt");
    ASSERT_TRUE(TryWriteNewFile(path, "abc"));
    TLockHolder holder(path, LOCK_SH);
    ASSERT_TRUE(holder.Locked());
    std::string text;
    EXPECT_TRUE(TryLoadFile(path, text));
    EXPECT_EQ(text, "abc");
    EXPECT_FALSE(TryWriteNewFile(path, "x"));
    EXPECT_FALSE(TryAppendFile(path, "x"));
    holder.Release();
    EXPECT_TRUE(TryAppendFile(path, "d"));
}

TEST(Files, AFifoUnderAFileNameFailsAtOnce)
{
    TTempDir dir;
    const std::string fifo = dir.File("pipe.txt");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto attempts = std::async(std::launch::async, [&] {
        std::string text;
        return !TryLoadFile(fifo, text) && !TryWriteNewFile(fifo, "x") && !TryAppendFile(fifo, "x");
    });
    if (attempts.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        // Open both ends once so that a blocked attempt comes back.
        ::close(::open(fifo.c_str(), O_RDWR | O_NONBLOCK));
        FAIL() << "an attempt on a FIFO blocked";
    }
    EXPECT_TRUE(attempts.get());
}

TEST(Files, MissingFilesAndFolders)
{
    TTempDir dir;
    std::string text;
    EXPECT_FALSE(TryLoadFile(dir.File("none.txt"), text));
    EXPECT_FALSE(TryLoadFile(dir.Path(), text));
    EXPECT_FALSE(TryWriteNewFile(dir.File("no/such/folder.txt"), "x"));
    EXPECT_FALSE(FileExists(dir.Path()));
    EXPECT_TRUE(DirectoryExists(dir.Path()));
    ASSERT_TRUE(TryWriteNewFile(dir.File("f.txt"), ""));
    EXPECT_TRUE(FileExists(dir.File("f.txt")));
    EXPECT_TRUE(DeleteFile(dir.File("f.txt")));
    EXPECT_FALSE(DeleteFile(dir.File("f.txt")));
}
