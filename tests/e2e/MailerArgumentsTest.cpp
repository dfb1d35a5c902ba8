// The built program with mails a careless preparer writes: every mail reaches
// the mailer exactly as written, or not at all, and never through the root.
#include "support/FakeMailerRecord.h"
#include "support/ProgramRun.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>

namespace {

using Args = std::vector<std::string>;

class MailerArgumentsTest : public ::testing::Test {
protected:
    // A definition of raw CP932 lines.
    void Definition(const std::string& name, const std::vector<std::string>& lines)
    {
        std::string bytes;
        for (const std::string& line : lines)
            bytes += line + "\r\n";
        folder.WriteBytes("mails/" + name, bytes);
    }
    std::vector<std::string> Results() const
    {
        std::vector<std::string> lines;
        const std::string all = folder.Exists("$mail_result.csv") ? folder.ReadBytes("$mail_result.csv") : "";
        for (std::size_t start = 0, end; (end = all.find("\r\n", start)) != std::string::npos; start = end + 2)
            lines.push_back(all.substr(start, end - start));
        return lines;
    }
    TProgramFolder folder;
};

TEST_F(MailerArgumentsTest, CarelessFieldsArriveWholeOrTheMailFails)
{
    const std::string nul(1, '\0');
    Definition("lead.txt", {"../out.txt", "host", "to@x.jp", "from@x.jp", "subj\x82", ""});
    Definition("hostlead.txt", {"../out.txt", "host\x82", "to@x.jp", "from@x.jp", "s", ""});
    Definition("nul.txt", {"../out.txt", "host", "a@x.jp,b@x.jp" + nul + ",c@x.jp", "from@x.jp", "s", ""});
    Definition("quote.txt", {"../out.txt", "host", "to@x.jp", "from@x.jp", "27\" monitor sale", ""});
    Definition("hyo.txt", {"../out.txt", "host", "to@x.jp", "from@x.jp", "\x95\x5C", ""});
    folder.WriteBytes("jobs.txt", "mails/lead.txt,L\r\nmails/hostlead.txt,H\r\nmails/nul.txt,N\r\n"
                                  "mails/quote.txt,Q\r\nmails/hyo.txt,Y\r\n");
    for (bool batch : {false, true}) {
        SCOPED_TRACE(batch ? "batch" : "normal");
        std::filesystem::remove(folder.RecordPath());
        Args args = {"/P", "jobs.txt", "/i"};
        if (batch)
            args.push_back("/d");
        const auto r = folder.Run(args);
        EXPECT_EQ(r.exitCode, 0);
        const auto runs = ReadFakeMailerRecords(folder.RecordPath());
        ASSERT_EQ(runs.size(), 4u); // not the one with the NUL
        const Args tail = batch ? Args{"-m", "-Fbody.txt", "to@x.jp"} : Args{"-m", "-Fbody.txt", "to@x.jp", "-t"};
        auto expect = [&](const FakeMailerRun& run, Args front) {
            if (batch)
                front.insert(front.begin(), "-d");
            front.insert(front.end(), tail.begin(), tail.end());
            EXPECT_EQ(Args(run.args.begin() + 1, run.args.end()), front);
        };
        expect(runs[0], {"-hhost", "-ffrom@x.jp", "-ssubj\x82"});
        expect(runs[1], {"-hhost\x82", "-ffrom@x.jp", "-ss"});
        expect(runs[2], {"-hhost", "-ffrom@x.jp", "-s27\" monitor sale"});
        expect(runs[3], {"-hhost", "-ffrom@x.jp", "-s\x95\x5C"});
        const auto lines = Results();
        ASSERT_EQ(lines.size(), 5u);
        EXPECT_EQ(ResultStatus(lines[2]), "-1");
        EXPECT_NE(lines[2].find("TO:c@x.jp"), std::string::npos); // the result line as usual
        for (std::size_t k : {0u, 1u, 3u, 4u})
            EXPECT_EQ(ResultStatus(lines[k]), "0") << k;
        if (batch) {
            const std::string log = folder.ReadBytes("$mail_log.txt");
            EXPECT_NE(log.find("#Refused:\r\na field of the mail holds a NUL byte\r\n"), std::string::npos);
        }
    }
}

TEST_F(MailerArgumentsTest, NeverTheRootNorAStaleBody)
{
    Definition("m.txt", {"../out.txt", "host", "to@x.jp", "from@x.jp", "s", "", "first body"});
    Definition("root.txt", {"../out.txt", "host,\\", "to@x.jp", "from@x.jp", "s", "", "second body"});
    Definition("short.txt", {"../out.txt", "host", "to@x.jp"});
    folder.WriteBytes("jobs.txt", "mails/m.txt,A\r\nmails/root.txt,B\r\nmails/short.txt,C\r\nmails/gone.txt\r\n");
    const auto r = folder.Run({"/P", "jobs.txt", "/i"});
    EXPECT_EQ(r.exitCode, 255);
    const auto runs = ReadFakeMailerRecords(folder.RecordPath());
    ASSERT_EQ(runs.size(), 4u);
    // "host,\" is no per-mail folder: the mail goes through the work folder.
    EXPECT_EQ(runs[1].cwd + "/", folder.Path() + "temp/");
    EXPECT_EQ(runs[1].body.value_or(""), "second body\r\n");
    // A definition too short, and one that cannot be read: no earlier body.
    EXPECT_FALSE(runs[2].body.has_value());
    EXPECT_FALSE(runs[3].body.has_value());
    EXPECT_FALSE(std::filesystem::exists("/body.txt"));

    // An empty /f value is a work folder that does not exist.
    std::filesystem::remove(folder.RecordPath());
    for (const Args& args : {Args{"/P", "jobs.txt", "/i", "/f", ""}, Args{"/P", "jobs.txt", "/i", "/f"}}) {
        const auto empty = folder.Run(args);
        EXPECT_EQ(empty.exitCode, 1);
        EXPECT_TRUE(ReadFakeMailerRecords(folder.RecordPath()).empty());
    }
    EXPECT_FALSE(std::filesystem::exists("/$mail.bat"));
}

// A name without a Shift_JIS form would name another file: the program says
// so on standard error and in the mail log, and ends with exit code 1.
TEST_F(MailerArgumentsTest, NamesWithoutAShiftJisFormEndWithAWord)
{
    folder.WriteLines("jobs.txt", {"mails/m.txt,A"});
    const auto r = folder.Run({"/P", "jobs_é.txt", "/i"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.stdErr.find("「jobs_é.txt」にはShift_JISで表せない文字があります"), std::string::npos) << r.stdErr;
    EXPECT_NE(folder.ReadBytes("$mail_log.txt").find(": NameError jobs_?.txt\r\n"), std::string::npos);

    // The program folder itself.
    const std::string own = folder.Path() + "josé/";
    std::filesystem::create_directory(own);
    std::filesystem::copy_file(folder.ExecutablePath(), own + "Tarnwick");
    FILE* p = ::popen(("cd '" + own + "' && QT_QPA_PLATFORM=offscreen ./Tarnwick /i 2>&1").c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[256];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;)
        out.append(buf, n);
    const int status = ::pclose(p);
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 1);
    EXPECT_NE(out.find("josé/」にはShift_JISで表せない文字があります"), std::string::npos) << out;
    std::ifstream log(own + "$mail_log.txt", std::ios::binary);
    const std::string record((std::istreambuf_iterator<char>(log)), {});
    EXPECT_NE(record.find("jos?/\r\n"), std::string::npos) << record;
}

} // namespace
