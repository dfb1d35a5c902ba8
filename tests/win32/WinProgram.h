// Whole runs of Tarnwick.exe for the Windows tests: a program folder of its
// own with the program and the fake mailer named in its settings, started as
// a separate process; its windows and boxes seen from outside through the
// Win32 API, and the screen read back as pixels.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// UTF-8 test text to CP932 and back.
std::string Sjis(const std::string& utf8);
std::string Utf8(const std::string& cp932);

struct TFinished {
    DWORD exitCode = STILL_ACTIVE;
    bool timedOut = false;
    // Texts of the message boxes that came up (UTF-8), each answered with its default button.
    std::vector<std::string> boxes;
};

class TWinProgram {
public:
    // A fresh program folder with Tarnwick.exe under `exeName`, a work folder
    // "temp\" and the settings file naming the fake mailer.
    explicit TWinProgram(const std::string& exeName = "Tarnwick.exe");
    ~TWinProgram();
    TWinProgram(const TWinProgram&) = delete;
    TWinProgram& operator=(const TWinProgram&) = delete;

    // The folder, ending in a backslash.
    const std::string& Folder() const { return folder_; }
    std::string RecordPath() const { return folder_ + "mailer.rec"; }

    void WriteBytes(const std::string& relative, const std::string& bytes) const;
    // UTF-8 lines written as CP932, each ended by CR LF.
    void WriteLines(const std::string& relative, const std::vector<std::string>& utf8Lines) const;
    std::string ReadBytes(const std::string& relative) const;
    // CP932 lines of a file as UTF-8.
    std::vector<std::string> ReadLines(const std::string& relative) const;
    bool Exists(const std::string& relative) const;
    void MakeFolder(const std::string& relative) const;
    // Keys for the fake mailer (KEY=VALUE), written to its control file in the work folder.
    void MailerKeys(const std::vector<std::string>& keys) const;
    // `n` mails m1..n with send codes C1..Cn, outcome log logs\out.txt.
    void WriteJobs(int n, const std::string& subject = "件名") const;

    // Starts the program with CP932 arguments (given as UTF-8). Unattended, it
    // runs where nobody can see it (a window station that shows nothing, as a
    // service's) with its standard error going to "stderr.txt" in the folder.
    void Start(const std::vector<std::string>& args, bool unattended = false);
    // Waits for its end, answering every box with its default button.
    TFinished Wait(DWORD timeoutMs = 60000);
    TFinished Run(const std::vector<std::string>& args, DWORD timeoutMs = 60000)
    {
        Start(args);
        return Wait(timeoutMs);
    }
    // Waits for a message box of the program, answers it with its default
    // button and returns its text (UTF-8); empty when none came.
    std::string AnswerBox(DWORD timeoutMs = 20000);
    DWORD ProcessId() const { return pi_.dwProcessId; }
    // The process's visible top-level window of class `cls`, waiting up to `timeoutMs`.
    HWND FindWindowOf(const char* cls, DWORD timeoutMs = 20000) const;
    void Kill();

private:
    std::string folder_;
    PROCESS_INFORMATION pi_{};
};

// The directory of the running test program (where the built programs are), with a backslash.
std::string BinFolder();
// Reads the text of a window through WM_GETTEXT (CP932).
std::string WindowText(HWND hwnd);
std::string ClassOf(HWND hwnd);
// A child's rectangle relative to its parent's client area.
RECT ChildRect(HWND child);
// Waits until `condition` holds or `timeoutMs` pass, letting this thread's messages through.
bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs);

// The screen as 0x00RRGGBB pixels.
class TScreenShot {
public:
    TScreenShot();
    int Width() const { return w_; }
    int Height() const { return h_; }
    std::uint32_t Pixel(int x, int y) const;
    std::uint32_t Pixel(POINT p) const { return Pixel(p.x, p.y); }
    // Saves a 24-bit BMP file.
    bool Save(const std::string& path) const;

private:
    int w_ = 0, h_ = 0;
    std::vector<std::uint32_t> px_;
};

// A point of a window's client area on the screen.
POINT OnScreen(HWND hwnd, int x, int y);
// RGB values as the layout table gives them, in the 0x00RRGGBB form of TScreenShot.
constexpr std::uint32_t Rgb(int r, int g, int b) { return static_cast<std::uint32_t>(r << 16 | g << 8 | b); }
