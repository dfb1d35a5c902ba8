// The exit codes of Tarnwick.exe, case by case, under Wine.
#include "WinProgram.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

struct TExitCase {
    const char* name;
    std::vector<std::string> args;
    int jobs;                       // mails m1..n and jobs.txt
    std::vector<std::string> keys;  // fake mailer keys
    std::function<void(TWinProgram&)> prepare;
    DWORD exitCode;
    const char* box; // the text of a box that must come up, or nullptr
};

void Prepare(TWinProgram& program, const TExitCase& c)
{
    if (c.jobs > 0)
        program.WriteJobs(c.jobs);
    program.MailerKeys(c.keys);
    if (c.prepare)
        c.prepare(program);
}

TEST(WinExitCode, Table)
{
    const std::vector<TExitCase> cases = {
        {"alone /e: no job list", {"/e"}, 0, {}, nullptr, 1, nullptr},
        {"/P names no file", {"/P", "missing.txt", "/i"}, 0, {}, nullptr, 1, nullptr},
        {"/p in lower case", {"/p", "jobs.txt", "/i"}, 1, {}, nullptr, 1, nullptr},
        {"/m takes /P as its value", {"/m", "/P", "jobs.txt", "/i"}, 1, {}, nullptr, 1, nullptr},
        {"/f names no folder", {"/P", "jobs.txt", "/f", "nowhere", "/i"}, 1, {}, nullptr, 1, nullptr},
        {"/t abc", {"/P", "jobs.txt", "/t", "abc"}, 1, {}, nullptr, 1, "'abc' は浮動小数点数ではありません"},
        {"last mail failed with 3", {"/P", "jobs.txt", "/i"}, 2, {"FAKE_MAILER_EXIT_SEQ=5,3"}, nullptr, 3, nullptr},
        {"an earlier mail failed, the last was sent", {"/P", "jobs.txt", "/i"}, 2, {"FAKE_MAILER_EXIT_SEQ=4,0"}, nullptr, 0, nullptr},
        {"every line skipped", {"/P", "jobs.txt", "/i"}, 0,
         {}, [](TWinProgram& p) { p.WriteLines("jobs.txt", {"mails\\none.txt,C1"}); }, 0, nullptr},
        {"mailer not startable", {"/P", "jobs.txt", "/i"}, 1,
         {}, [](TWinProgram& p) { p.WriteBytes("Tarnwick.ini", "[Mail]\r\nName=Z:\\nowhere\\smail.exe\r\n"); },
         0xFFFFFFFFu, nullptr},
        {"definition too short", {"/P", "jobs.txt", "/i"}, 1,
         {}, [](TWinProgram& p) { p.WriteLines("mails\\m1.txt", {"..\\logs\\out.txt", "host"}); }, 0xFFFFFFFFu, nullptr},
        {"body cannot be written", {"/P", "jobs.txt", "/i"}, 2,
         {}, [](TWinProgram& p) { p.MakeFolder("temp\\body.txt"); }, 1, "OSに不具合が発生しました。送信を中止します"},
    };
    for (const TExitCase& c : cases) {
        SCOPED_TRACE(c.name);
        TWinProgram program;
        Prepare(program, c);
        const TFinished f = program.Run(c.args);
        ASSERT_FALSE(f.timedOut);
        EXPECT_EQ(f.exitCode, c.exitCode);
        if (c.box) {
            ASSERT_EQ(f.boxes.size(), 1u);
            EXPECT_NE(f.boxes[0].find(c.box), std::string::npos) << f.boxes[0];
        } else {
            EXPECT_TRUE(f.boxes.empty()) << f.boxes.front();
        }
    }
}

// Where nobody can see the window (a service, a scheduled task), a box would
// wait for ever: it goes to standard error and takes its default button.
TEST(WinExitCode, UnattendedBoxesGoToStandardError)
{
    const std::vector<TExitCase> cases = {
        {"/t abc", {"/P", "jobs.txt", "/t", "abc"}, 1, {}, nullptr, 1, "'abc' は浮動小数点数ではありません"},
        {"body cannot be written", {"/P", "jobs.txt"}, 2,
         {}, [](TWinProgram& p) { p.MakeFolder("temp\\body.txt"); }, 1, "OSに不具合が発生しました。送信を中止します"},
        {"outcome log cannot be written", {"/P", "jobs.txt"}, 1,
         {}, [](TWinProgram& p) { p.MakeFolder("logs"); p.MakeFolder("logs\\out.txt"); }, 1,
         "out.txt に書き込めません: "},
    };
    for (const TExitCase& c : cases) {
        SCOPED_TRACE(c.name);
        TWinProgram program;
        Prepare(program, c);
        program.Start(c.args, true);
        const TFinished f = program.Wait(60000);
        ASSERT_FALSE(f.timedOut);
        EXPECT_EQ(f.exitCode, c.exitCode);
        const std::string errors = Utf8(program.ReadBytes("stderr.txt"));
        EXPECT_NE(errors.find(c.box), std::string::npos) << errors;
    }
}

std::wstring Wide(const std::string& cp932)
{
    std::wstring out(cp932.size(), L'\0');
    out.resize(MultiByteToWideChar(932, 0, cp932.data(), static_cast<int>(cp932.size()), out.data(),
                                   static_cast<int>(out.size())));
    return out;
}

// A name without a CP932 form would reach the "A" functions with "?" or a
// look-alike in its place and name another file: the program says so in the
// mail log beside it and ends with 1, before it reads or writes anything else.
TEST(WinExitCode, NamesWithoutACp932FormEndWithAWord)
{
    struct TNameCase {
        const wchar_t* subfolder; // where the program is copied to, below the program folder
        const wchar_t* args;
        const char* logged;
    };
    const TNameCase cases[] = {
        {L"", L"/P jobs.txt /n caf\u00e9 /i", ": NameError caf?\r\n"},
        {L"jos\u00e9\\", L"/P jobs.txt /i", "jos?\\\r\n"},
    };
    for (const TNameCase& c : cases) {
        SCOPED_TRACE(Utf8(std::string(c.logged)));
        TWinProgram program;
        program.WriteJobs(1);
        const std::filesystem::path folder = Wide(program.Folder()) + c.subfolder;
        std::filesystem::create_directories(folder);
        std::filesystem::copy_file(Wide(BinFolder()) + L"Tarnwick.exe", folder / L"Tarnwick.exe",
                                   std::filesystem::copy_options::overwrite_existing);
        std::wstring line = L"\"" + (folder / L"Tarnwick.exe").wstring() + L"\" " + c.args;
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   folder.wstring().c_str(), &si, &pi));
        const bool ended = WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0;
        if (!ended)
            TerminateProcess(pi.hProcess, 99);
        DWORD code = 0;
        GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
        ASSERT_TRUE(ended);
        EXPECT_EQ(code, 1u);
        std::ifstream file(folder / L"$mail_log.txt", std::ios::binary);
        const std::string log((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        file.close();
        EXPECT_NE(log.find(": NameError "), std::string::npos) << log;
        EXPECT_TRUE(log.ends_with(c.logged)) << log;
        EXPECT_FALSE(std::filesystem::exists(folder / L"$mail_result.csv"));
        std::filesystem::remove_all(Wide(program.Folder()) + L"jos\u00e9");
    }
}

TEST(WinExitCode, NoArgumentsStaysOpenUntilClosed)
{
    TWinProgram program;
    program.WriteLines("$mail_result.csv", {});
    program.Start({});
    const HWND form = program.FindWindowOf("TForm1");
    ASSERT_NE(form, nullptr);
    // Still open a moment later: nothing closes it but the user.
    Sleep(500);
    ASSERT_TRUE(IsWindow(form));
    PostMessageA(form, WM_CLOSE, 0, 0);
    const TFinished f = program.Wait(20000);
    EXPECT_EQ(f.exitCode, 0u);
    // The window position went to the settings file.
    EXPECT_NE(program.ReadBytes("Tarnwick.ini").find("[Pos]"), std::string::npos);
}

} // namespace
