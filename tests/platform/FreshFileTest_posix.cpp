// Fresh files in a folder others may write to: never through a link, never a
// file someone else made, and the descriptor stays ours.
#include "platform/FreshFile.h"

#include "PlatformTestUtil.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>

using platform::TFreshFile;

namespace {

std::string Read(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string ReadAll(TFreshFile& f)
{
    std::string out;
    char buf[4];
    f.Rewind();
    for (long long n; (n = f.Read(buf, sizeof buf)) > 0;)
        out.append(buf, static_cast<std::size_t>(n));
    return out;
}

} // namespace

TEST(FreshFile, ReplacesWhateverStandsAtItsNameWithoutTouchingIt)
{
    TTempDir dir;
    const std::string target = dir.File("private.txt");
    std::ofstream(target) << "private";
    // A link to someone's file, and a file someone else made and holds open.
    ::symlink(target.c_str(), dir.File("body.txt").c_str());
    std::ofstream(dir.File("other.txt")) << "theirs";
    std::ifstream held(dir.File("other.txt"));

    for (const char* name : {"body.txt", "other.txt", "new.txt"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(platform::TryWriteFreshFile(dir.File(name), "mine"));
        struct stat st {};
        ASSERT_EQ(::lstat(dir.File(name).c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode));
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        EXPECT_EQ(Read(dir.File(name)), "mine");
    }
    EXPECT_EQ(Read(target), "private");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(held), {}), "theirs");
    // Nothing is left behind under the temporary names.
    std::size_t entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.Path()))
        entries += e.path().filename().string()[0] == '.' ? 100 : 1;
    EXPECT_EQ(entries, 4u);
}

TEST(FreshFile, RewrittenInPlaceHoldsExactlyTheNewText)
{
    TTempDir dir;
    for (const char* text : {"the first, longer text", "short", "", "longer than short again"}) {
        ASSERT_TRUE(platform::TryWriteFreshFile(dir.File("body.txt"), text));
        EXPECT_EQ(Read(dir.File("body.txt")), text);
    }
}

TEST(FreshFile, DescriptorOutlivesARenameOverItsName)
{
    TTempDir dir;
    TFreshFile f;
    ASSERT_TRUE(f.Create(dir.File("$log.txt"), "ours"));
    std::ofstream(dir.File("swap")) << "swapped";
    ASSERT_EQ(::rename(dir.File("swap").c_str(), dir.File("$log.txt").c_str()), 0);
    EXPECT_EQ(ReadAll(f), "ours");
    EXPECT_TRUE(f.Close());
    EXPECT_EQ(f.Read(nullptr, 0), -1);
}

TEST(FreshFile, CreationThatCannotBeMadeFails)
{
    TTempDir dir;
    std::filesystem::create_directory(dir.File("body.txt"));
    TFreshFile f;
    EXPECT_FALSE(f.Create(dir.File("body.txt"), "x"));  // a folder at the name
    EXPECT_FALSE(f.Create(dir.File("gone/body.txt"), "x"));
    EXPECT_FALSE(f.Create(std::string("a\0b", 3), "x"));
    EXPECT_FALSE(f.Create("", "x"));
    EXPECT_EQ(f.Handle(), platform::kNoHandle);
    std::size_t entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.Path()))
        (void)e, ++entries;
    EXPECT_EQ(entries, 1u);
}
