// Files and paths on Windows: the share modes of the classic program, the
// program's own CP932 names through the "A" functions, and the path rules.
#include "platform/Files.h"

#include "platform/FreshFile.h"
#include "platform/Paths.h"
#include "support/TempFolder.h"
#include "support/TestSystem.h"

#include <windows.h>

#include <gtest/gtest.h>

using namespace platform;

#undef DeleteFile

namespace {

#define HYO "\x95\x5C" // 表: its second byte is a backslash

// Another program's hold on a file, with the access and share mode it asked for.
class THold {
public:
    THold(const std::string& path, DWORD access, DWORD share)
        : h_(::CreateFileA(path.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr))
    {
    }
    ~THold()
    {
        if (h_ != INVALID_HANDLE_VALUE)
            ::CloseHandle(h_);
    }
    bool ok() const { return h_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE h_;
};

class FilesTest : public ::testing::Test {
protected:
    std::string At(const std::string& name) const { return folder.Cp932Path() + name; }
    std::string Load(const std::string& name) const
    {
        std::string s;
        return TryLoadFile(At(name), s) ? s : "<failed>";
    }
    TTempFolder folder;
};

TEST_F(FilesTest, ShareModesDecideWhoMayGoOn)
{
    const std::string f = At("held.txt");
    ASSERT_TRUE(TryWriteNewFile(f, "old\r\n"));
    struct Case {
        const char* holder;
        DWORD access, share;
        bool load, append, overwrite;
    };
    const Case cases[] = {
        // Nobody else may open it: every attempt fails, nothing is emptied.
        {"exclusive", GENERIC_READ, 0, false, false, false},
        // A reader that lets others write: appending goes on, emptying does not.
        {"reader", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, true, true, false},
        // A writer that lets others read and write: loads go on; appends deny
        // other writers and so wait; creating is exclusive.
        {"writer", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.holder);
        ASSERT_TRUE(TryWriteNewFile(f, "old\r\n"));
        THold hold(f, c.access, c.share);
        ASSERT_TRUE(hold.ok());
        std::string loaded;
        EXPECT_EQ(TryLoadFile(f, loaded), c.load);
        EXPECT_EQ(TryAppendFile(f, "more\r\n"), c.append);
        EXPECT_EQ(TryWriteNewFile(f, "new\r\n"), c.overwrite);
        TFreshFile fresh;
        EXPECT_FALSE(fresh.Create(f, "fresh"));
    }
    EXPECT_EQ(Load("held.txt"), "old\r\n"); // the last holder let nothing change it
}

TEST_F(FilesTest, AppendsCreateThenExtendAndAWriterHoldsTheFileForItsRecord)
{
    const std::string f = At("log.txt");
    EXPECT_TRUE(TryAppendFile(f, "one\r\n"));
    EXPECT_TRUE(TryAppendFile(f, "two\r\n"));
    EXPECT_EQ(Load("log.txt"), "one\r\ntwo\r\n");

    TAppendWriter writer;
    ASSERT_TRUE(writer.Open(f));
    ASSERT_TRUE(writer.Write("three"));
    EXPECT_FALSE(TryAppendFile(f, "cut in\r\n")); // nobody lands inside a record
    EXPECT_EQ(Load("log.txt"), "one\r\ntwo\r\nthree"); // readers may look meanwhile
    writer.Abandon(); // an unfinished record is cut off again
    EXPECT_EQ(Load("log.txt"), "one\r\ntwo\r\n");
    EXPECT_FALSE(TryAppendFile(At("no folder\\log.txt"), "x"));
}

TEST_F(FilesTest, JournalWritesStayInsideTheLengthLaidOut)
{
    const std::string f = At("journal.jnl");
    ASSERT_TRUE(TryGrowFile(f, 100));
    EXPECT_EQ(Load("journal.jnl"), std::string(100, '\0'));
    EXPECT_TRUE(TryWriteAt(f, 10, "abc", true));
    EXPECT_FALSE(TryWriteAt(f, 98, "abc", true)); // would grow it
    EXPECT_TRUE(TryGrowFile(f, 200));
    EXPECT_TRUE(TryCutFile(f, 13));
    EXPECT_TRUE(TryCutFile(f, 50)); // never longer
    EXPECT_EQ(Load("journal.jnl"), std::string(10, '\0') + "abc");
}

TEST_F(FilesTest, JapaneseNamesAreTheSystemsOwn)
{
    // A CP932 name goes to the system as it is: the standard library, widened
    // from code page 932, finds it under the same name.
    const std::string name = HYO "\\" HYO ".txt";
    folder.MakeFolder("\xE8\xA1\xA8"); // 表, as UTF-8 for the test's own helper
    ASSERT_TRUE(TryWriteNewFile(At(name), "x"));
    EXPECT_TRUE(std::filesystem::exists(OsName(At(name))));
    EXPECT_TRUE(FileExists(At(name)));
    EXPECT_FALSE(DirectoryExists(At(name)));
    EXPECT_TRUE(DirectoryExists(At(HYO)));
    EXPECT_FALSE(FileExists(At(HYO)));
    EXPECT_TRUE(DeleteFile(At(name)));
    EXPECT_FALSE(DeleteFile(At(name)));
    EXPECT_FALSE(FileExists(std::string("a\0b", 3)));
}

TEST(PathsTest, TheProgramFolderAndPathsAsWindowsWritesThem)
{
    EXPECT_EQ(kPathSeparator, '\\');
    const std::string folder = ProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '\\');
    EXPECT_EQ(folder[1], ':');
    EXPECT_EQ(FolderOf(ProgramPath()), folder);
    EXPECT_TRUE(FileExists(ProgramPath()));

    EXPECT_EQ(NormalizeSeparators("a/b\\c"), "a\\b\\c");
    EXPECT_EQ(FolderOf("C:\\" HYO "\\a.txt"), "C:\\" HYO "\\");
    EXPECT_EQ(FileNameOf("C:\\x\\" HYO ".txt"), HYO ".txt");
    EXPECT_EQ(FileNameOf(HYO), HYO); // the trail byte 0x5C is no separator

    for (const char* absolute : {"C:\\a", "c:", "Z:/x"})
        EXPECT_TRUE(IsAbsolutePath(absolute)) << absolute;
    for (const char* relative : {"\\\\server\\share", "\\a", "a\\b", "", "C"})
        EXPECT_FALSE(IsAbsolutePath(relative)) << relative;
    for (const char* root : {"C:\\", "C:\\..\\", "C:/", "\\"})
        EXPECT_TRUE(IsFileSystemRoot(root)) << root;
    EXPECT_FALSE(IsFileSystemRoot(folder));
}

} // namespace
