// The single-instance marker on Windows: a named mutex, held until it is
// released or its process ends. A second process is played by marker_holder,
// which creates the mutex itself as another instance would.
#include "platform/InstanceMarker.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

using platform::TInstanceMarker;
using platform::TMarkerClaim;

namespace {

// A name no other test process uses.
std::string FreshName()
{
    static int counter = 0;
    return "TarnwickTest-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++counter);
}

std::string ProgramFolder()
{
    char buffer[MAX_PATH + 1];
    const DWORD n = ::GetModuleFileNameA(nullptr, buffer, sizeof(buffer));
    std::string path(buffer, n);
    return path.substr(0, path.find_last_of("\\/") + 1);
}

std::string ProgramBaseName()
{
    char buffer[MAX_PATH + 1];
    const DWORD n = ::GetModuleFileNameA(nullptr, buffer, sizeof(buffer));
    std::string name(buffer, n);
    name = name.substr(name.find_last_of("\\/") + 1);
    return name.substr(0, name.rfind('.'));
}

// Another process that holds the mutex `name` (and, with a title, a window).
// Ending it with Crash is a process killed from outside: nothing of its own
// runs, the system closes its handles.
class THolder {
public:
    THolder(const std::string& name, const std::string& title = std::string())
    {
        SECURITY_ATTRIBUTES inherit {sizeof(inherit), nullptr, TRUE};
        HANDLE readEnd = nullptr;
        HANDLE writeEnd = nullptr;
        if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0))
            return;
        ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOA startup {};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = writeEnd;
        startup.hStdError = writeEnd;
        startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
        std::string command = "\"" + ProgramFolder() + "marker_holder.exe\" " + name;
        if (!title.empty())
            command += " " + title;
        const BOOL started = ::CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE,
                                              CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process_);
        ::CloseHandle(writeEnd);
        if (started) {
            // One line, then silence until it ends; a helper that died gives EOF.
            char c;
            DWORD got = 0;
            while (::ReadFile(readEnd, &c, 1, &got, nullptr) && got == 1 && c != '\n') {
                if (c != '\r')
                    line_ += c;
            }
        }
        ::CloseHandle(readEnd);
    }
    ~THolder() { Crash(); }
    THolder(const THolder&) = delete;
    THolder& operator=(const THolder&) = delete;

    const std::string& Line() const { return line_; }

    void Crash()
    {
        if (!process_.hProcess)
            return;
        ::TerminateProcess(process_.hProcess, 3);
        ::WaitForSingleObject(process_.hProcess, 10000);
        ::CloseHandle(process_.hProcess);
        ::CloseHandle(process_.hThread);
        process_ = {};
    }

private:
    PROCESS_INFORMATION process_ {};
    std::string line_;
};

TEST(InstanceMarkerWin, OneHolderInTheProcessUntilReleaseOrDestruction)
{
    const std::string name = FreshName();
    TInstanceMarker first;
    EXPECT_EQ(first.Claim(name), TMarkerClaim::mcClaimed);
    EXPECT_TRUE(first.IsHeld());
    EXPECT_EQ(first.Claim(name), TMarkerClaim::mcClaimed); // claiming again keeps the claim

    TInstanceMarker second;
    EXPECT_EQ(second.Claim(name), TMarkerClaim::mcHeld);
    EXPECT_FALSE(second.IsHeld());

    first.Release();
    EXPECT_FALSE(first.IsHeld());
    {
        TInstanceMarker third;
        EXPECT_EQ(third.Claim(name), TMarkerClaim::mcClaimed);
        EXPECT_EQ(second.Claim(name), TMarkerClaim::mcHeld);
    }
    // The destructor released it.
    EXPECT_EQ(second.Claim(name), TMarkerClaim::mcClaimed);
}

TEST(InstanceMarkerWin, UnusableNamesFailAndHoldNothing)
{
    // A backslash makes the name a path into namespaces that do not exist.
    for (const std::string& name : {std::string(), std::string("NoSuchNamespace\\x"), std::string(300, 'n')}) {
        TInstanceMarker marker;
        EXPECT_EQ(marker.Claim(name), TMarkerClaim::mcFailed) << name;
        EXPECT_FALSE(marker.IsHeld());
    }
}

TEST(InstanceMarkerWin, ProcessesSeeEachOthersMarkerAndACrashedHolderBlocksNothing)
{
    const std::string name = FreshName();
    {
        TInstanceMarker ours;
        ASSERT_EQ(ours.Claim(name), TMarkerClaim::mcClaimed);
        THolder other(name);
        EXPECT_EQ(other.Line(), "exists");
    }

    THolder other(name);
    ASSERT_EQ(other.Line(), "created");
    TInstanceMarker ours;
    EXPECT_EQ(ours.Claim(name), TMarkerClaim::mcHeld);
    other.Crash();
    EXPECT_EQ(ours.Claim(name), TMarkerClaim::mcClaimed);
}

TEST(InstanceMarkerWin, NoFileNoTitleAndNoChannel)
{
    const std::string name = FreshName();
    TInstanceMarker marker;
    EXPECT_FALSE(marker.WriteTitle("x"));
    ASSERT_EQ(marker.Claim(name), TMarkerClaim::mcClaimed);
    EXPECT_TRUE(marker.WriteTitle("Tarnwick"));
    EXPECT_EQ(marker.ListenForActivation(), platform::kNoHandle);
    EXPECT_FALSE(marker.AcceptActivation());
    EXPECT_EQ(platform::MarkerFilePath(name), "");
}

TEST(InstanceMarkerWin, TheFirstInstanceIsFoundByItsApplicationWindowTitle)
{
    const std::string name = FreshName();
    // No window of another instance: nothing to read, nothing to bring forward.
    EXPECT_EQ(platform::ReadMarkerTitle(name), "");
    EXPECT_FALSE(platform::RequestActivation(name));

    std::string upper = ProgramBaseName();
    for (char& c : upper)
        c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    THolder stranger(FreshName(), "Another");
    THolder first(name, upper);
    if (first.Line() == "created nowindow")
        GTEST_SKIP() << "no desktop to make windows on";
    ASSERT_EQ(first.Line(), "created window");
    // The title as the window spells it; letters a to z match in either case.
    EXPECT_EQ(platform::ReadMarkerTitle(name), upper);
    EXPECT_TRUE(platform::RequestActivation(name));
    first.Crash();
    EXPECT_EQ(platform::ReadMarkerTitle(name), "");
}

} // namespace
