// Mailers that misbehave: killed by a signal, never ending, flooding their
// output in batch mode.
#include "FaultSupport.h"

#include "run/TDelivery.h"
#include "support/RunFakes.h"
#include "support/TempFolder.h"

#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace {

using namespace faults;

// Field n (from 1) of a result line.
std::string Field(const std::string& line, int n)
{
    std::size_t begin = 0;
    for (int k = 1; k < n && begin != std::string::npos; ++k)
        begin = line.find(',', begin) + 1;
    return line.substr(begin, line.find(',', begin) - begin);
}

TEST(MailerFault, MailerKilledBySignalIsAFailedMailWithItsLine)
{
    TProgramFolder folder;
    WriteMails(folder, 3);
    const auto r = RunProgram(folder, {"/P", "jobs.txt", "/i"}, {"FAKE_MAILER_SIGNAL=9"});
    EXPECT_EQ(r.exitCode, 137);
    ExpectOneResultLinePerMail(folder, 3);
    for (const std::string& line : RawLines(folder.ReadBytes("$mail_result.csv")))
        EXPECT_EQ(Field(line, 4), "137") << line;
}

// The children of this process (the mailer the delivery started).
std::vector<int> OwnChildren()
{
    std::vector<int> pids;
    DIR* dir = ::opendir("/proc");
    while (dirent* e = dir ? ::readdir(dir) : nullptr) {
        const int pid = std::atoi(e->d_name);
        if (pid <= 0)
            continue;
        std::ifstream stat("/proc/" + std::string(e->d_name) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        const std::size_t paren = text.rfind(')');
        int ppid = 0;
        char state = 0;
        if (paren != std::string::npos && std::sscanf(text.c_str() + paren + 1, " %c %d", &state, &ppid) == 2 &&
            ppid == ::getpid() && state != 'Z')
            pids.push_back(pid);
    }
    if (dir)
        ::closedir(dir);
    return pids;
}

// The end button pressed while the mailer hangs: the window keeps handling
// events, and the run ends as soon as the mailer has ended (here: killed by
// someone else), with that mail recorded once and no further mail started.
class TButtonView : public TRecordingView {
public:
    using TRecordingView::TRecordingView;
    void ProcessEvents() override
    {
        ++passes;
        if (passes == 1 && delivery)
            delivery->ColorButton1Click();
        if (passes == 4) {
            for (const int pid : OwnChildren())
                ::kill(pid, SIGTERM);
        }
    }
    TDelivery* delivery = nullptr;
    int passes = 0;
};

TEST(MailerFault, EndButtonEndsTheRunOnceAHangingMailerEnds)
{
    TTempFolder folder;
    folder.MakeFolder("temp");
    folder.MakeFolder("mails");
    for (int k = 1; k <= 3; ++k)
        folder.WriteLines("mails/m" + std::to_string(k) + ".txt", {"../out.txt", "h", "t@x", "f", "s", "", "b"});
    folder.WriteBytes("jobs.txt", "mails/m1.txt,C1\r\nmails/m2.txt,C2\r\nmails/m3.txt,C3\r\n");
    const std::string record = folder.Path() + "record.txt";
    setenv("FAKE_MAILER_RECORD", record.c_str(), 1);
    setenv("FAKE_MAILER_SLEEP_MS", "600000", 1);

    TVirtualClock unused;
    TButtonView view(unused);
    TSystemClock clock;
    TSystemMailerProcess mailer;
    TDelivery delivery(folder.Cp932Path(), view, clock, mailer);
    view.delivery = &delivery;
    delivery.Settings().Name = FakeMailerPath();
    ASSERT_TRUE(delivery.ParseCommandLine({"/P", "jobs.txt"}));

    const auto start = std::chrono::steady_clock::now();
    delivery.RunDelivery();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    unsetenv("FAKE_MAILER_SLEEP_MS");
    unsetenv("FAKE_MAILER_RECORD");
    std::filesystem::current_path("/");

    EXPECT_EQ(ReadFakeMailerRecords(record).size(), 1u);
    EXPECT_EQ(delivery.StatusCode(), 128 + SIGTERM);
    EXPECT_EQ(delivery.State().MailCounter, 1);
    EXPECT_EQ(RawLines(folder.ReadBytes("$mail_result.csv")).size(), 1u);
    EXPECT_EQ(view.Lines("LabelState:").back(), "LabelState:強制終了");
    // Events were let through while the mailer hung (about every 350 ms).
    EXPECT_GE(view.passes, 4);
    EXPECT_LT(seconds, 10.0);
    EXPECT_TRUE(OwnChildren().empty());
}

TEST(MailerFault, FloodedBatchOutputIsCopiedWithBoundedMemory)
{
    TProgramFolder folder;
    WriteMails(folder, 1);
    const long long flood = 300LL << 20;
    const auto r = RunProgram(folder, {"/P", "jobs.txt", "/d", "/i"}, {"FAKE_MAILER_PRINT_BYTES=" + std::to_string(flood)}, 90000);
    EXPECT_EQ(r.exitCode, 0);
#ifndef __SANITIZE_ADDRESS__
    // (AddressSanitizer keeps freed pieces in quarantine, so the bound only holds without it.)
    EXPECT_LT(r.maxRssKb, 100 * 1024) << "peak memory " << r.maxRssKb / 1024 << " MB";
#endif
    ExpectOneResultLinePerMail(folder, 1);

    // The record holds the whole output as one line ending in CR LF.
    const std::string log = folder.Path() + "$mail_log.txt";
    struct stat st {};
    ASSERT_EQ(::stat(log.c_str(), &st), 0);
    std::ifstream in(log, std::ios::binary);
    std::string head(200, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    const std::size_t res = head.find("#Res:\r\n");
    ASSERT_NE(res, std::string::npos);
    EXPECT_EQ(head.rfind("#Cmd:\r\n", 0), 0u);
    // Then the run's summary record, the last line.
    in.seekg(-512, std::ios::end);
    std::string tail(512, '\0');
    in.read(tail.data(), static_cast<std::streamsize>(tail.size()));
    const std::size_t summary = tail.rfind("\r\n", tail.size() - 3) + 2;
    EXPECT_EQ(static_cast<long long>(st.st_size), static_cast<long long>(res + 7) + flood + 2 + static_cast<long long>(tail.size() - summary));
    EXPECT_EQ(tail.substr(summary - 3, 3), "x\r\n");
    EXPECT_FALSE(folder.Exists("temp/$log.txt"));
}

TEST(MailerFault, BatchOutputLineEndsAcrossCopyPiecesAndAFullMailLog)
{
    TProgramFolder folder;
    WriteMails(folder, 2);
    // A CR LF split exactly at the 1 MiB piece boundary, CR-only and LF-only
    // ends, a last line without an end.
    std::string output(1 << 20, 'a');
    output.back() = '\r';
    output += "\nb\rc\n\nd";
    folder.WriteBytes("output.bin", output);
    auto r = RunProgram(folder, {"/P", "jobs.txt", "/d", "/i"}, {"FAKE_MAILER_PRINT_FILE=" + folder.Path() + "output.bin"});
    EXPECT_EQ(r.exitCode, 0);
    const std::string log = folder.ReadBytes("$mail_log.txt");
    const std::string expectedOutput = std::string((1 << 20) - 1, 'a') + "\r\nb\r\nc\r\n\r\nd\r\n";
    std::size_t at = 0;
    for (int k = 0; k < 2; ++k) {
        at = log.find("#Res:\r\n", at);
        ASSERT_NE(at, std::string::npos);
        at += 7;
        EXPECT_EQ(log.compare(at, expectedOutput.size(), expectedOutput), 0);
        at += expectedOutput.size();
    }
    EXPECT_EQ(log.find("\r\n", at) + 2, log.size()); // and the summary record

    // A mail log on a full disk: the records are lost, the mails are not.
    std::filesystem::remove(folder.Path() + "$mail_log.txt");
    std::filesystem::create_symlink("/dev/full", folder.Path() + "$mail_log.txt");
    std::filesystem::remove(folder.RecordPath());
    r = RunProgram(folder, {"/P", "jobs.txt", "/d", "/i"}, {"FAKE_MAILER_PRINT_FILE=" + folder.Path() + "output.bin"});
    EXPECT_EQ(r.exitCode, 0);
    ExpectOneResultLinePerMail(folder, 2);
}

} // namespace
