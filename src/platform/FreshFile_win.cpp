#include "platform/FreshFile.h"
#include "platform/Paths.h"

#include <windows.h>

#include <algorithm>

// On Windows the work-folder files are written as the classic program writes
// them: created or overwritten with exclusive access, and closed before the
// command interpreter runs the script and redirects the mailer's output into
// the output file by name. Reading the output afterwards opens it again.
namespace platform {
namespace {

HANDLE AsHandle(NativeHandle h) { return reinterpret_cast<HANDLE>(h); }
NativeHandle AsNative(HANDLE h) { return reinterpret_cast<NativeHandle>(h); }

} // namespace

TFreshFile::~TFreshFile() { Close(); }

bool TFreshFile::Create(std::string_view path, std::string_view data)
{
    Close();
    if (path.empty() || path.find('\0') != std::string_view::npos)
        return false;
    const HANDLE h = ::CreateFileA(ToOsPath(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    file_ = AsNative(h);
    path_ = std::string(path);
    while (!data.empty()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(data.size(), 1u << 30));
        if (!::WriteFile(h, data.data(), chunk, &written, nullptr) || written == 0) {
            Close();
            ::DeleteFileA(ToOsPath(path).c_str());
            return false;
        }
        data.remove_prefix(written);
    }
    return Rewind();
}

bool TFreshFile::Rewind()
{
    if (file_ == kNoHandle && !path_.empty()) {
        // Closed for the command interpreter: open the file again to read it.
        const HANDLE h = ::CreateFileA(ToOsPath(path_).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return false;
        file_ = AsNative(h);
    }
    LARGE_INTEGER zero{};
    return file_ != kNoHandle && ::SetFilePointerEx(AsHandle(file_), zero, nullptr, FILE_BEGIN) != 0;
}

long long TFreshFile::Read(char* buffer, std::size_t size)
{
    if (file_ == kNoHandle)
        return -1;
    DWORD n = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    return ::ReadFile(AsHandle(file_), buffer, want, &n, nullptr) ? static_cast<long long>(n) : -1;
}

bool TFreshFile::Close()
{
    const NativeHandle h = file_;
    file_ = kNoHandle;
    return h == kNoHandle || ::CloseHandle(AsHandle(h)) != 0;
}

bool TryWriteFreshFile(std::string_view path, std::string_view data)
{
    TFreshFile file;
    return file.Create(path, data) && file.Close();
}

} // namespace platform
