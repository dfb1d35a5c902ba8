// The built program when its files are held by others, cannot be written or
// vanish during a run: every outcome is a defined one, and every mail that was
// sent has exactly one result line.
#include "FaultSupport.h"

#include <atomic>
#include <filesystem>
#include <sys/mount.h>

namespace {

using namespace faults;
namespace fs = std::filesystem;

// Holds `path` (when it exists) with an exclusive lock for holdMs, lets go for
// gapMs, again and again until stopped.
class TLockHolder {
public:
    TLockHolder(std::string path, int holdMs, int gapMs)
        : thread_([this, path = std::move(path), holdMs, gapMs] {
              while (!stop_) {
                  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
                  if (fd >= 0 && ::flock(fd, LOCK_EX) == 0) {
                      ++holds;
                      Sleep(holdMs);
                  }
                  if (fd >= 0)
                      ::close(fd);
                  Sleep(gapMs);
              }
          })
    {
    }
    ~TLockHolder()
    {
        stop_ = true;
        thread_.join();
    }
    std::atomic<int> holds{0};

private:
    void Sleep(int ms)
    {
        for (int k = 0; k < ms / 10 && !stop_; ++k)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

class FileFaultTest : public ::testing::Test {
protected:
    TProgramFolder folder;
};

TEST_F(FileFaultTest, ResultAndOutcomeFilesHeldRepeatedlyStillGetOneLinePerMail)
{
    WriteMails(folder, 8);
    // Held for up to 0.9 s at a time, free for 0.3 s in between: the write
    // retries (every 150 ms for 1.35 s) outlast each hold and meet a free spell.
    TLockHolder result(folder.Path() + "$mail_result.csv", 900, 300);
    TLockHolder outcome(folder.Path() + "out.txt", 700, 300);
    const auto r = RunProgram(folder, {"/P", "jobs.txt", "/i"}, {"FAKE_MAILER_SLEEP_MS=100"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_GT(result.holds.load(), 0);
    ExpectOneResultLinePerMail(folder, 8);
    EXPECT_EQ(RawLines(folder.ReadBytes("out.txt")).size(), 8u);
}

TEST_F(FileFaultTest, HeldJobListIsReadOnALaterAttemptOrRefused)
{
    WriteMails(folder, 2);
    const std::string jobs = folder.Path() + "jobs.txt";
    const int fd = ::open(jobs.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);

    // Held for the whole start: no usable job list, exit code 1, no mail.
    auto r = RunProgram(folder, {"/P", "jobs.txt", "/i"}, {}, 20000);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(ReadFakeMailerRecords(folder.RecordPath()).empty());

    // Let go within the load retries: the job list is read and sent.
    const int pid = StartProgram(folder, {"/P", "jobs.txt", "/i"});
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    ::close(fd);
    r = WaitWithUsage(pid, 20000);
    EXPECT_EQ(r.exitCode, 0);
    ExpectOneResultLinePerMail(folder, 2);
}

TEST_F(FileFaultTest, HeldBodyFileDoesNotStopTheRun)
{
    // The body file is replaced, not written through: a reader holding the old
    // one keeps it, the mailer gets the new body.
    WriteMails(folder, 3);
    folder.WriteBytes("temp/body.txt", "old body");
    const int fd = ::open((folder.Path() + "temp/body.txt").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    const auto r = RunProgram(folder, {"/P", "jobs.txt", "/i"});
    ::close(fd);
    EXPECT_EQ(r.exitCode, 0);
    ExpectOneResultLinePerMail(folder, 3);
    for (const auto& run : ReadFakeMailerRecords(folder.RecordPath()))
        EXPECT_EQ(run.body.value_or(""), Sjis("本文") + "\r\n");
}

TEST_F(FileFaultTest, UnwritableOutcomeLogIsReportedAndEndsWithOne)
{
    // A folder where the outcome log should be, and a full disk (/dev/full).
    folder.MakeFolder("out.txt");
    WriteMails(folder, 1);
    folder.WriteLines("mails/full.txt", {"/dev/full", "host", "to@example.jp", "from@example.jp", "件名", "", "本文"});
    folder.WriteBytes("jobs.txt", folder.ReadBytes("jobs.txt") + "mails/full.txt,F\r\n");
    const auto r = RunProgram(folder, {"/P", "jobs.txt", "/i"});
    // The result file has every line; the outcome-log lines that never found
    // their files are in the mail log and on standard error, and the exit code says so.
    EXPECT_EQ(r.exitCode, 1);
    ExpectOneResultLinePerMail(folder, 2);
    EXPECT_TRUE(fs::is_directory(folder.Path() + "out.txt"));
    const std::string log = folder.ReadBytes("$mail_log.txt");
    EXPECT_NE(log.find("Record WriteError " + folder.Path() + "mails/../out.txt\r\n"), std::string::npos);
    EXPECT_NE(log.find("Record WriteError /dev/full\r\n"), std::string::npos);
    const std::string err = folder.ReadBytes("stderr.txt");
    EXPECT_NE(err.find("/dev/full に書き込めません: "), std::string::npos) << err;
}

TEST_F(FileFaultTest, WorkFolderGoneMidRunEndsWithOneAndKeepsTheLinesOfSentMails)
{
    WriteMails(folder, 8);
    const int pid = StartProgram(folder, {"/P", "jobs.txt", "/i"}, {"FAKE_MAILER_SLEEP_MS=200"});
    ASSERT_TRUE(WaitFor([&] { return ReadFakeMailerRecords(folder.RecordPath()).size() >= 3; }, 20000));
    // The work folder becomes a file: the next body cannot be written.
    fs::rename(folder.Path() + "temp", folder.Path() + "temp.gone");
    folder.WriteBytes("temp", "not a folder");
    const auto r = WaitWithUsage(pid, 30000);
    EXPECT_EQ(r.exitCode, 1);
    const std::size_t sent = ReadFakeMailerRecords(folder.RecordPath()).size();
    EXPECT_GE(sent, 3u);
    EXPECT_LT(sent, 8u);
    ExpectOneResultLinePerMail(folder, sent);
    EXPECT_NE(folder.ReadBytes("$mail_log.txt").find(": System WriteError"), std::string::npos);
}

TEST_F(FileFaultTest, FullDiskUnderTheWorkFolderEndsWithOneBeforeTheMailer)
{
    folder.MakeFolder("small");
    const std::string mountPoint = folder.Path() + "small";
    if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here";
    struct Unmount {
        std::string path;
        ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
    } unmount{mountPoint};
    // Fill it up.
    {
        const std::string block(4096, 'f');
        const int fd = ::open((mountPoint + "/filler").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        while (::write(fd, block.data(), block.size()) > 0) {
        }
        ::close(fd);
    }
    WriteMails(folder, 2);
    const auto r = RunProgram(folder, {"/P", "jobs.txt", "/f", "small", "/i"}, {}, 30000);
    EXPECT_EQ(r.exitCode, 1);
    ExpectOneResultLinePerMail(folder, 0);
    EXPECT_NE(folder.ReadBytes("$mail_log.txt").find(": System WriteError"), std::string::npos);
}

} // namespace
