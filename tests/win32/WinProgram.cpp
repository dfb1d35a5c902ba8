#include "WinProgram.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

std::string Convert(const std::string& text, UINT from, UINT to)
{
    if (text.empty())
        return {};
    const int wn = MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(wn), L'\0');
    MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()), wide.data(), wn);
    const int n = WideCharToMultiByte(to, 0, wide.data(), wn, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(to, 0, wide.data(), wn, out.data(), n, nullptr, nullptr);
    return out;
}

void RemoveTree(const std::string& folder)
{
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((folder + "*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = fd.cFileName;
            if (name == "." || name == "..")
                continue;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(folder + name + "\\");
            else
                DeleteFileA((folder + name).c_str());
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryA(folder.c_str());
}

std::string Quote(const std::string& arg)
{
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos)
        return arg;
    return "\"" + arg + "\"";
}

struct TBoxSearch {
    DWORD pid;
    HWND box = nullptr;
};

BOOL CALLBACK FindBox(HWND hwnd, LPARAM lp)
{
    auto* s = reinterpret_cast<TBoxSearch*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != s->pid || !IsWindowVisible(hwnd) || ClassOf(hwnd) != "#32770")
        return TRUE;
    s->box = hwnd;
    return FALSE;
}

struct TWindowSearch {
    DWORD pid;
    const char* cls;
    HWND found = nullptr;
};

BOOL CALLBACK FindOf(HWND hwnd, LPARAM lp)
{
    auto* s = reinterpret_cast<TWindowSearch*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    // Visible once it is built and shown.
    if (pid != s->pid || ClassOf(hwnd) != s->cls || !IsWindowVisible(hwnd))
        return TRUE;
    s->found = hwnd;
    return FALSE;
}

} // namespace

std::string Sjis(const std::string& utf8) { return Convert(utf8, CP_UTF8, 932); }
std::string Utf8(const std::string& cp932) { return Convert(cp932, 932, CP_UTF8); }

std::string BinFolder()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string p = path;
    return p.substr(0, p.find_last_of('\\') + 1);
}

std::string WindowText(HWND hwnd)
{
    char text[1024] = {};
    SendMessageTimeoutA(hwnd, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, nullptr);
    return text;
}

std::string ClassOf(HWND hwnd)
{
    char cls[128] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    return cls;
}

RECT ChildRect(HWND child)
{
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(20);
    }
    return true;
}

TWinProgram::TWinProgram(const std::string& exeName)
{
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    for (unsigned k = GetTickCount() ^ GetCurrentProcessId();; ++k) {
        folder_ = std::string(temp) + "tarnwin" + std::to_string(k % 1000000) + "\\";
        if (CreateDirectoryA(folder_.c_str(), nullptr))
            break;
    }
    CopyFileA((BinFolder() + "Tarnwick.exe").c_str(), (folder_ + exeName).c_str(), FALSE);
    MakeFolder("temp");
    const std::string settings = exeName.substr(0, exeName.rfind('.')) + ".ini";
    WriteBytes(settings, "[Mail]\r\nName=" + BinFolder() + "fake_mailer.exe\r\n");
    MailerKeys({});
}

TWinProgram::~TWinProgram()
{
    Kill();
    RemoveTree(folder_);
}

void TWinProgram::Kill()
{
    if (!pi_.hProcess)
        return;
    if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(pi_.hProcess, 99);
        WaitForSingleObject(pi_.hProcess, 5000);
    }
    CloseHandle(pi_.hProcess);
    CloseHandle(pi_.hThread);
    pi_ = {};
}

void TWinProgram::WriteBytes(const std::string& relative, const std::string& bytes) const
{
    FILE* f = std::fopen((folder_ + relative).c_str(), "wb");
    ASSERT_NE(f, nullptr) << relative;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

void TWinProgram::WriteLines(const std::string& relative, const std::vector<std::string>& utf8Lines) const
{
    std::string text;
    for (const std::string& line : utf8Lines)
        text += Sjis(line) + "\r\n";
    WriteBytes(relative, text);
}

std::string TWinProgram::ReadBytes(const std::string& relative) const
{
    std::string out;
    FILE* f = std::fopen((folder_ + relative).c_str(), "rb");
    if (!f)
        return out;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        out.append(buf, n);
    std::fclose(f);
    return out;
}

std::vector<std::string> TWinProgram::ReadLines(const std::string& relative) const
{
    std::vector<std::string> lines;
    const std::string text = ReadBytes(relative);
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(Utf8(text.substr(start, end - start)));
        start = end + 2;
    }
    return lines;
}

bool TWinProgram::Exists(const std::string& relative) const
{
    return GetFileAttributesA((folder_ + relative).c_str()) != INVALID_FILE_ATTRIBUTES;
}

void TWinProgram::MakeFolder(const std::string& relative) const { CreateDirectoryA((folder_ + relative).c_str(), nullptr); }

void TWinProgram::MailerKeys(const std::vector<std::string>& keys) const
{
    std::string text = "FAKE_MAILER_RECORD=" + RecordPath() + "\n";
    for (const std::string& k : keys)
        text += k + "\n";
    WriteBytes("temp\\fake_mailer.ctl", text);
}

void TWinProgram::WriteJobs(int n, const std::string& subject) const
{
    MakeFolder("mails");
    MakeFolder("logs");
    std::vector<std::string> jobs;
    for (int k = 1; k <= n; ++k) {
        const std::string name = "m" + std::to_string(k) + ".txt";
        WriteLines("mails\\" + name, {"..\\logs\\out.txt", "host", "to" + std::to_string(k) + "@example.jp",
                                      "from@example.jp", subject, "", "本文"});
        jobs.push_back("mails\\" + name + ",C" + std::to_string(k));
    }
    WriteLines("jobs.txt", jobs);
}

void TWinProgram::Start(const std::vector<std::string>& args, bool unattended)
{
    Kill();
    char exe[MAX_PATH] = {};
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((folder_ + "*.exe").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        lstrcpynA(exe, fd.cFileName, MAX_PATH);
        FindClose(h);
    }
    std::string line = Quote(folder_ + exe);
    for (const std::string& a : args)
        line += " " + Quote(Sjis(a));
    STARTUPINFOA si{};
    si.cb = sizeof si;
    HANDLE errors = INVALID_HANDLE_VALUE;
    std::string desktop;
    if (unattended) {
        // A window station of the test's own, which shows nothing: the
        // program's boxes could never be answered there.
        static HWINSTA station = [] {
            HWINSTA ours = GetProcessWindowStation();
            HWINSTA hidden = CreateWindowStationA("TarnwickUnattended", 0, WINSTA_ALL_ACCESS, nullptr);
            SetProcessWindowStation(hidden);
            CreateDesktopA("Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
            SetProcessWindowStation(ours);
            return hidden;
        }();
        ASSERT_NE(station, nullptr);
        desktop = "TarnwickUnattended\\Default";
        si.lpDesktop = desktop.data();
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        errors = CreateFileA((folder_ + "stderr.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(errors, INVALID_HANDLE_VALUE);
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdError = errors;
    }
    const BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, unattended, 0, nullptr,
                                        folder_.c_str(), &si, &pi_);
    if (errors != INVALID_HANDLE_VALUE)
        CloseHandle(errors);
    ASSERT_TRUE(started) << line;
}

TFinished TWinProgram::Wait(DWORD timeoutMs)
{
    TFinished f;
    const DWORD start = GetTickCount();
    for (;;) {
        if (WaitForSingleObject(pi_.hProcess, 50) == WAIT_OBJECT_0)
            break;
        const std::string box = AnswerBox(0);
        if (!box.empty())
            f.boxes.push_back(box);
        if (GetTickCount() - start > timeoutMs) {
            f.timedOut = true;
            Kill();
            return f;
        }
    }
    GetExitCodeProcess(pi_.hProcess, &f.exitCode);
    return f;
}

std::string TWinProgram::AnswerBox(DWORD timeoutMs)
{
    TBoxSearch s{pi_.dwProcessId};
    WaitFor([&] {
        EnumWindows(&FindBox, reinterpret_cast<LPARAM>(&s));
        return s.box != nullptr;
    }, timeoutMs);
    if (!s.box)
        return {};
    // The box's text is its static control (id 0xFFFF); the default button answers.
    const std::string text = Utf8(WindowText(GetDlgItem(s.box, 0xFFFF)));
    int id = IDOK;
    for (int candidate : {IDOK, IDYES, IDNO, IDCANCEL, IDABORT, IDRETRY, IDIGNORE}) {
        const HWND b = GetDlgItem(s.box, candidate);
        if (b && (GetWindowLongA(b, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
            id = candidate;
            break;
        }
    }
    PostMessageA(s.box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(s.box, id)));
    WaitFor([&] { return !IsWindow(s.box) || !IsWindowVisible(s.box); }, 5000);
    return text.empty() ? " " : text;
}

HWND TWinProgram::FindWindowOf(const char* cls, DWORD timeoutMs) const
{
    TWindowSearch s{pi_.dwProcessId, cls};
    WaitFor([&] {
        EnumWindows(&FindOf, reinterpret_cast<LPARAM>(&s));
        return s.found != nullptr;
    }, timeoutMs);
    return s.found;
}

TScreenShot::TScreenShot()
{
    w_ = GetSystemMetrics(SM_CXSCREEN);
    h_ = GetSystemMetrics(SM_CYSCREEN);
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w_;
    bi.bmiHeader.biHeight = -h_;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, w_, h_, screen, 0, 0, SRCCOPY);
    GdiFlush();
    const auto* p = static_cast<const std::uint32_t*>(bits);
    px_.assign(p, p + static_cast<std::size_t>(w_) * static_cast<std::size_t>(h_));
    for (std::uint32_t& v : px_)
        v &= 0xFFFFFF;
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
}

std::uint32_t TScreenShot::Pixel(int x, int y) const
{
    if (x < 0 || y < 0 || x >= w_ || y >= h_)
        return 0xFF000000u;
    return px_[static_cast<std::size_t>(y) * static_cast<std::size_t>(w_) + static_cast<std::size_t>(x)];
}

bool TScreenShot::Save(const std::string& path) const
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const int stride = (w_ * 3 + 3) & ~3;
    BITMAPFILEHEADER fh{};
    BITMAPINFOHEADER ih{};
    ih.biSize = sizeof ih;
    ih.biWidth = w_;
    ih.biHeight = -h_;
    ih.biPlanes = 1;
    ih.biBitCount = 24;
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof fh + sizeof ih;
    fh.bfSize = fh.bfOffBits + static_cast<DWORD>(stride * h_);
    std::fwrite(&fh, sizeof fh, 1, f);
    std::fwrite(&ih, sizeof ih, 1, f);
    std::vector<unsigned char> row(static_cast<std::size_t>(stride), 0);
    for (int y = 0; y < h_; ++y) {
        for (int x = 0; x < w_; ++x) {
            const std::uint32_t v = Pixel(x, y);
            row[static_cast<std::size_t>(x * 3)] = static_cast<unsigned char>(v & 0xFF);
            row[static_cast<std::size_t>(x * 3 + 1)] = static_cast<unsigned char>((v >> 8) & 0xFF);
            row[static_cast<std::size_t>(x * 3 + 2)] = static_cast<unsigned char>((v >> 16) & 0xFF);
        }
        std::fwrite(row.data(), 1, row.size(), f);
    }
    std::fclose(f);
    return true;
}

POINT OnScreen(HWND hwnd, int x, int y)
{
    POINT p{x, y};
    ClientToScreen(hwnd, &p);
    return p;
}
