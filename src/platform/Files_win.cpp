#include "platform/Files.h"
#include "platform/Paths.h"

#include <windows.h>

#include <algorithm>

// windows.h names DeleteFileA "DeleteFile"; ours is the platform's own.
#undef DeleteFile

// The share modes of the classic program: a file is created or emptied with
// exclusive access, appended to while other writers are denied, and loaded
// while others may go on writing. A file someone else holds against us makes
// that attempt fail at once; the retry rules do the rest.
namespace platform {
namespace {

HANDLE AsHandle(NativeHandle h) { return reinterpret_cast<HANDLE>(h); }
NativeHandle AsNative(HANDLE h) { return reinterpret_cast<NativeHandle>(h); }

// A name the system can take: not empty, and no NUL byte, which would cut it
// short and reach another file.
bool Usable(std::string_view path) { return !path.empty() && path.find('\0') == std::string_view::npos; }

// Closes the handle on every path out.
class THandle {
public:
    explicit THandle(HANDLE h) : h_(h) {}
    ~THandle()
    {
        if (ok())
            ::CloseHandle(h_);
    }
    THandle(const THandle&) = delete;
    THandle& operator=(const THandle&) = delete;
    HANDLE get() const { return h_; }
    bool ok() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    bool Close()
    {
        const HANDLE h = h_;
        h_ = INVALID_HANDLE_VALUE;
        return h != INVALID_HANDLE_VALUE && ::CloseHandle(h) != 0;
    }
    HANDLE Release()
    {
        const HANDLE h = h_;
        h_ = INVALID_HANDLE_VALUE;
        return h;
    }

private:
    HANDLE h_;
};

// Opens a file (never a folder or a device name such as "CON").
HANDLE OpenFile(std::string_view path, DWORD access, DWORD share, DWORD disposition)
{
    if (!Usable(path))
        return INVALID_HANDLE_VALUE;
    const HANDLE h = ::CreateFileA(ToOsPath(path).c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return h;
    if (::GetFileType(h) != FILE_TYPE_DISK) {
        ::CloseHandle(h);
        return INVALID_HANDLE_VALUE;
    }
    return h;
}

bool WriteAll(HANDLE h, std::string_view data)
{
    while (!data.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(data.size(), 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(h, data.data(), chunk, &written, nullptr) || written == 0)
            return false;
        data.remove_prefix(written);
    }
    return true;
}

bool SizeOf(HANDLE h, long long& size)
{
    LARGE_INTEGER s{};
    if (!::GetFileSizeEx(h, &s))
        return false;
    size = s.QuadPart;
    return true;
}

bool SeekTo(HANDLE h, long long offset)
{
    LARGE_INTEGER at{};
    at.QuadPart = offset;
    return ::SetFilePointerEx(h, at, nullptr, FILE_BEGIN) != 0;
}

bool CutTo(HANDLE h, long long size) { return SeekTo(h, size) && ::SetEndOfFile(h) != 0; }

DWORD Attributes(std::string_view path)
{
    return Usable(path) ? ::GetFileAttributesA(ToOsPath(path).c_str()) : INVALID_FILE_ATTRIBUTES;
}

} // namespace

std::string LastFileError()
{
    const DWORD code = ::GetLastError();
    char text[512] = {};
    const DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text, sizeof text, nullptr);
    std::string reason(text, n);
    while (!reason.empty() && (reason.back() == '\r' || reason.back() == '\n' || reason.back() == ' '))
        reason.pop_back();
    return reason.empty() ? "error " + std::to_string(code) : reason;
}

bool FileExists(std::string_view path)
{
    const DWORD a = Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirectoryExists(std::string_view path)
{
    const DWORD a = Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool CreateFolder(std::string_view path)
{
    return Usable(path) && (::CreateDirectoryA(ToOsPath(path).c_str(), nullptr) != 0 || DirectoryExists(path));
}

bool DeleteFile(std::string_view path) { return Usable(path) && ::DeleteFileA(ToOsPath(path).c_str()) != 0; }

bool TryLoadFile(std::string_view path, std::string& contents)
{
    THandle h(OpenFile(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING));
    long long size = 0;
    if (!h.ok() || !SizeOf(h.get(), size))
        return false;
    std::string data;
    data.reserve(static_cast<std::size_t>(size));
    char buf[65536];
    for (;;) {
        DWORD n = 0;
        if (!::ReadFile(h.get(), buf, sizeof buf, &n, nullptr))
            return false;
        if (n == 0)
            break;
        data.append(buf, n);
    }
    contents = std::move(data);
    return true;
}

bool TryWriteNewFile(std::string_view path, std::string_view data)
{
    // Exclusive: a file someone else holds open is never emptied.
    THandle h(OpenFile(path, GENERIC_WRITE, 0, CREATE_ALWAYS));
    return h.ok() && WriteAll(h.get(), data) && h.Close();
}

bool TryAppendFile(std::string_view path, std::string_view data)
{
    TAppendWriter writer;
    return writer.Open(path) && writer.Write(data) && writer.Close();
}

bool TryGrowFile(std::string_view path, long long size)
{
    THandle h(OpenFile(path, GENERIC_WRITE, 0, OPEN_ALWAYS));
    long long had = 0;
    if (!h.ok() || !SizeOf(h.get(), had) || !SeekTo(h.get(), had))
        return false;
    // Real zeros written out, so later writes in place change no metadata.
    static const std::string zeros(1 << 16, '\0');
    for (long long at = had; at < size;) {
        const std::size_t n = static_cast<std::size_t>(std::min<long long>(size - at, static_cast<long long>(zeros.size())));
        if (!WriteAll(h.get(), std::string_view(zeros.data(), n))) {
            // All or nothing: a full disk gets its space back.
            CutTo(h.get(), had);
            return false;
        }
        at += static_cast<long long>(n);
    }
    return ::FlushFileBuffers(h.get()) != 0 && h.Close();
}

bool TryWriteAt(std::string_view path, long long offset, std::string_view data, bool sync)
{
    TInPlaceWriter writer;
    return writer.Open(path) && writer.WriteAt(offset, data, sync) && writer.Close();
}

bool TInPlaceWriter::Open(std::string_view path)
{
    Close();
    THandle h(OpenFile(path, GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING));
    long long size = 0;
    if (!h.ok() || !SizeOf(h.get(), size))
        return false;
    size_ = size;
    file_ = AsNative(h.Release());
    return true;
}

bool TInPlaceWriter::WriteAt(long long offset, std::string_view data, bool sync)
{
    // Never grow the file here.
    if (file_ == kNoHandle || offset < 0 || offset + static_cast<long long>(data.size()) > size_)
        return false;
    const HANDLE h = AsHandle(file_);
    return SeekTo(h, offset) && WriteAll(h, data) && (!sync || ::FlushFileBuffers(h) != 0);
}

bool TInPlaceWriter::Close()
{
    if (file_ == kNoHandle)
        return true;
    const HANDLE h = AsHandle(file_);
    file_ = kNoHandle;
    return ::CloseHandle(h) != 0;
}

bool TryReplaceFile(std::string_view from, std::string_view to)
{
    return Usable(from) && Usable(to)
        && ::MoveFileExA(ToOsPath(from).c_str(), ToOsPath(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool TryCutFile(std::string_view path, long long size)
{
    THandle h(OpenFile(path, GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING));
    long long had = 0;
    if (!h.ok() || !SizeOf(h.get(), had))
        return false;
    if (had <= size)
        return h.Close();
    return CutTo(h.get(), size) && h.Close();
}

TAppendWriter::~TAppendWriter() { Abandon(); }

bool TAppendWriter::Open(std::string_view path)
{
    Abandon();
    // An existing file is opened denying other writers; a new one is created
    // with exclusive access.
    HANDLE h = OpenFile(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING);
    if (h == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_FILE_NOT_FOUND)
        h = OpenFile(path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW);
    THandle file(h);
    long long size = 0;
    if (!file.ok() || !SizeOf(file.get(), size) || !SeekTo(file.get(), size))
        return false;
    file_ = AsNative(file.Release());
    start_ = size;
    return true;
}

bool TAppendWriter::Write(std::string_view data) { return file_ != kNoHandle && WriteAll(AsHandle(file_), data); }

bool TAppendWriter::Close()
{
    if (file_ == kNoHandle)
        return false;
    const HANDLE h = AsHandle(file_);
    file_ = kNoHandle;
    return ::CloseHandle(h) != 0;
}

void TAppendWriter::Abandon()
{
    if (file_ == kNoHandle)
        return;
    CutTo(AsHandle(file_), start_);
    ::CloseHandle(AsHandle(file_));
    file_ = kNoHandle;
}

TFileReader::~TFileReader() { Close(); }

bool TFileReader::Open(std::string_view path)
{
    Close();
    const HANDLE h = OpenFile(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    file_ = AsNative(h);
    return true;
}

bool TFileReader::Rewind() { return file_ != kNoHandle && SeekTo(AsHandle(file_), 0); }

long long TFileReader::Read(char* buffer, std::size_t size)
{
    if (file_ == kNoHandle)
        return -1;
    DWORD n = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    return ::ReadFile(AsHandle(file_), buffer, want, &n, nullptr) ? static_cast<long long>(n) : -1;
}

void TFileReader::Close()
{
    if (file_ != kNoHandle)
        ::CloseHandle(AsHandle(file_));
    file_ = kNoHandle;
}

} // namespace platform
