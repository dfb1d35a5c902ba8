// The fake mailer of the Windows tests: the same control keys and record as
// fake_mailer.cpp, written with the Win32 API. What a POSIX process has and a
// Windows one has not is recorded as absent (SESSION 0, NULLIO 000, FDS -1);
// FAKE_MAILER_SIGNAL is ignored. The record adds the command line exactly as
// the process was given it:
//   LINE <hex>          GetCommandLineA()
#include "FakeMailerKeys.h"

#include <windows.h>

#include <cstdlib>
#include <map>
#include <string>

namespace {

std::map<std::string, std::string> g_keys;

std::string Key(const std::string& name)
{
    auto it = g_keys.find(name);
    return it == g_keys.end() ? std::string() : it->second;
}

bool ReadFile(const std::string& path, std::string& out)
{
    const HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    out.clear();
    char buf[65536];
    DWORD n = 0;
    bool ok = true;
    while ((ok = ::ReadFile(h, buf, sizeof buf, &n, nullptr) != 0) && n > 0)
        out.append(buf, n);
    ::CloseHandle(h);
    return ok;
}

void WriteAll(HANDLE h, const std::string& data)
{
    std::size_t done = 0;
    while (done < data.size()) {
        DWORD n = 0;
        if (!::WriteFile(h, data.data() + done, static_cast<DWORD>(data.size() - done), &n, nullptr) || n == 0)
            return;
        done += n;
    }
}

// Opens a file for this process alone, waiting while another run holds it.
HANDLE OpenAlone(const std::string& path, DWORD disposition)
{
    for (int attempt = 0; attempt < 10000; ++attempt) {
        const HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, disposition,
                                       FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_SHARING_VIOLATION)
            return h;
        ::Sleep(1);
    }
    return INVALID_HANDLE_VALUE;
}

void LoadKeys(char** envp)
{
    fake_mailer::ParseEnvironment(envp, g_keys);
    std::string ctl;
    if (ReadFile("fake_mailer.ctl", ctl))
        fake_mailer::ParseControl(ctl, g_keys);
}

std::string MakeRecord(int argc, char** argv)
{
    std::string r = "RUN\n";
    for (int i = 0; i < argc; ++i)
        r += "ARG " + fake_mailer::Hex(argv[i]) + "\n";
    r += "LINE " + fake_mailer::Hex(::GetCommandLineA()) + "\n";
    char cwd[4096];
    const DWORD n = ::GetCurrentDirectoryA(sizeof cwd, cwd);
    r += "CWD " + fake_mailer::Hex(n > 0 && n < sizeof cwd ? std::string(cwd, n) : std::string()) + "\n";
    if (const char* tz = std::getenv("TZ"))
        r += "TZ " + fake_mailer::Hex(tz) + "\n";
    r += std::string("BAT ") + (::GetFileAttributesA("$mail.bat") != INVALID_FILE_ATTRIBUTES ? "1" : "0") + "\n";
    std::string body;
    if (ReadFile("body.txt", body))
        r += "BODY " + fake_mailer::Hex(body) + "\n";
    r += "SESSION 0\nNULLIO 000\nFDS -1\nEND\n";
    return r;
}

// The exit code for this run of a sequence; the counter file is held alone
// so that runs started together still take one value each.
int NextSequenceCode(const std::string& seq)
{
    const std::string record = Key("FAKE_MAILER_RECORD");
    const std::string counterPath = record.empty() ? "fake_mailer.seq" : record + ".seq";
    int run = 0;
    const HANDLE h = OpenAlone(counterPath, OPEN_ALWAYS);
    if (h != INVALID_HANDLE_VALUE) {
        char buf[32] = {};
        DWORD n = 0;
        if (::ReadFile(h, buf, sizeof buf - 1, &n, nullptr) && n > 0)
            run = std::atoi(buf);
        const std::string next = std::to_string(run + 1);
        ::SetFilePointer(h, 0, nullptr, FILE_BEGIN);
        ::SetEndOfFile(h);
        WriteAll(h, next);
        ::CloseHandle(h);
    }
    return fake_mailer::SequenceCode(seq, run);
}

} // namespace

int main(int argc, char** argv, char** envp)
{
    LoadKeys(envp);

    const std::string recordPath = Key("FAKE_MAILER_RECORD");
    if (!recordPath.empty()) {
        const HANDLE h = OpenAlone(recordPath, OPEN_ALWAYS);
        if (h != INVALID_HANDLE_VALUE) {
            ::SetFilePointer(h, 0, nullptr, FILE_END);
            WriteAll(h, MakeRecord(argc, argv));
            ::CloseHandle(h);
        }
    }

    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (!Key("FAKE_MAILER_PRINT").empty())
        WriteAll(out, fake_mailer::Unescape(Key("FAKE_MAILER_PRINT")));
    std::string fileText;
    if (!Key("FAKE_MAILER_PRINT_FILE").empty() && ReadFile(Key("FAKE_MAILER_PRINT_FILE"), fileText))
        WriteAll(out, fileText);
    if (!Key("FAKE_MAILER_PRINT_BYTES").empty()) {
        long long left = std::atoll(Key("FAKE_MAILER_PRINT_BYTES").c_str());
        const std::string chunk(65536, 'x');
        while (left > 0) {
            const std::size_t n = left < static_cast<long long>(chunk.size()) ? static_cast<std::size_t>(left) : chunk.size();
            WriteAll(out, chunk.substr(0, n));
            left -= static_cast<long long>(n);
        }
    }
    if (!Key("FAKE_MAILER_PRINT_ERR").empty())
        WriteAll(::GetStdHandle(STD_ERROR_HANDLE), fake_mailer::Unescape(Key("FAKE_MAILER_PRINT_ERR")));

    if (!Key("FAKE_MAILER_SLEEP_MS").empty())
        ::Sleep(static_cast<DWORD>(std::atol(Key("FAKE_MAILER_SLEEP_MS").c_str())));

    if (!Key("FAKE_MAILER_EXIT_SEQ").empty())
        return NextSequenceCode(Key("FAKE_MAILER_EXIT_SEQ"));
    return std::atoi(Key("FAKE_MAILER_EXIT").c_str());
}
