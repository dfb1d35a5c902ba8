#include "platform/Files.h"

#include "platform/Paths.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace platform {

// Asks only for what the callers look at. Asking for a file's times makes the
// kernel (multigrain timestamps) give its next change a fine-grained time, and
// with it every later change of any file a new time: the journal's inode would
// then be dirty at every sync and each sync would write it too.
bool StatOpenFile(int fd, struct stat& st)
{
#ifdef STATX_TYPE
    struct statx sx {};
    constexpr unsigned kMask = STATX_TYPE | STATX_MODE | STATX_NLINK | STATX_UID | STATX_INO | STATX_SIZE;
    if (::statx(fd, "", AT_EMPTY_PATH, kMask, &sx) == 0) {
        st = {};
        st.st_mode = sx.stx_mode;
        st.st_nlink = sx.stx_nlink;
        st.st_uid = sx.stx_uid;
        st.st_ino = sx.stx_ino;
        st.st_size = static_cast<off_t>(sx.stx_size);
        st.st_dev = makedev(sx.stx_dev_major, sx.stx_dev_minor);
        return true;
    }
    if (errno != ENOSYS)
        return false;
#endif
    return ::fstat(fd, &st) == 0;
}

namespace {

// A reason of our own for the last failure (a lock held, a file that is not
// a regular one), where errno would not say it; empty: errno says it.
thread_local std::string g_failure;

// Closes the descriptor (and with it the lock) on every path out.
class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    bool ok() const { return fd_ >= 0; }
    bool Close()
    {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }
    int Release()
    {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

// Writes all of `data`, at the file position or, from `offset` on, in place.
bool WriteAll(int fd, std::string_view data, long long offset = -1)
{
    const char* p = data.data();
    std::size_t left = data.size();
    while (left > 0) {
        const ssize_t n = offset < 0 ? ::write(fd, p, left) : ::pwrite(fd, p, left, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
        if (offset >= 0)
            offset += n;
    }
    return true;
}

bool Lock(int fd, int how)
{
    while (::flock(fd, how | LOCK_NB) != 0) {
        if (errno != EINTR) {
            if (errno == EWOULDBLOCK)
                g_failure = "held by another process";
            return false;
        }
    }
    return true;
}

// A name the OS can take: not empty, and no NUL byte, which would cut it short
// and reach another file.
bool Usable(std::string_view path)
{
    return !path.empty() && path.find('\0') == std::string_view::npos;
}

// Opens without waiting (a FIFO or similar under a file's name would
// otherwise block the open until someone opens its other end), locks with
// `lock` (LOCK_SH or LOCK_EX) without waiting, then looks at what it holds:
// only regular files (and devices such as /dev/null for writing) are
// accepted. `size` is the file's length under the lock.
int OpenFile(std::string_view path, int flags, bool allowDevice, int lock, long long* size = nullptr)
{
    g_failure.clear();
    if (!Usable(path)) {
        g_failure = "not a usable file name";
        return -1;
    }
    Fd fd(::open(ToOsPath(path).c_str(), flags | O_NONBLOCK | O_CLOEXEC, 0666));
    struct stat st {};
    if (!fd.ok() || !Lock(fd.get(), lock) || !StatOpenFile(fd.get(), st))
        return -1;
    // A regular file takes no notice of O_NONBLOCK; a device must wait as usual.
    const bool usable = S_ISREG(st.st_mode)
        || (allowDevice && S_ISCHR(st.st_mode) && ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK) == 0);
    if (!usable) {
        g_failure = "not a regular file";
        return -1;
    }
    if (size)
        *size = st.st_size;
    return fd.Release();
}

} // namespace

std::string LastFileError()
{
    return g_failure.empty() ? std::string(std::strerror(errno)) : g_failure;
}

bool FileExists(std::string_view path)
{
    struct stat st {};
    return Usable(path) && ::stat(ToOsPath(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(std::string_view path)
{
    struct stat st {};
    return Usable(path) && ::stat(ToOsPath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateFolder(std::string_view path)
{
    return Usable(path) && (::mkdir(ToOsPath(path).c_str(), 0777) == 0 || DirectoryExists(path));
}

bool DeleteFile(std::string_view path)
{
    return Usable(path) && ::unlink(ToOsPath(path).c_str()) == 0;
}

bool TryLoadFile(std::string_view path, std::string& contents)
{
    long long size = 0;
    Fd fd(OpenFile(path, O_RDONLY, false, LOCK_SH, &size));
    if (!fd.ok())
        return false;
    std::string data;
    data.reserve(static_cast<std::size_t>(size));
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            break;
        data.append(buf, static_cast<std::size_t>(n));
    }
    contents = std::move(data);
    return true;
}

bool TryWriteNewFile(std::string_view path, std::string_view data)
{
    // Open without truncating, lock, then truncate: never empty a file that
    // someone else holds.
    long long size = 0;
    Fd fd(OpenFile(path, O_WRONLY | O_CREAT, true, LOCK_EX, &size));
    // Truncate only a file that has contents: on ext4 a truncate to zero makes
    // the close allocate and flush the new data at once, and deleting the file
    // for the next mail then costs milliseconds instead of microseconds.
    if (!fd.ok() || (size != 0 && ::ftruncate(fd.get(), 0) != 0))
        return false;
    return WriteAll(fd.get(), data) && fd.Close();
}

bool TryAppendFile(std::string_view path, std::string_view data)
{
    TAppendWriter writer;
    return writer.Open(path) && writer.Write(data) && writer.Close();
}

namespace {
// A name lives in its folder: syncing the folder makes a new or changed name durable.
bool SyncFolderOf(std::string_view path)
{
    std::string folder = ToOsPath(path);
    const std::size_t slash = folder.rfind('/');
    folder = slash == std::string::npos ? std::string(".") : folder.substr(0, slash == 0 ? 1 : slash);
    Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return dir.ok() && ::fsync(dir.get()) == 0;
}
} // namespace

bool TryReplaceFile(std::string_view from, std::string_view to)
{
    return Usable(from) && Usable(to) && ::rename(ToOsPath(from).c_str(), ToOsPath(to).c_str()) == 0 && SyncFolderOf(to);
}

bool TryGrowFile(std::string_view path, long long size)
{
    const bool existed = FileExists(path);
    long long had = 0;
    Fd fd(OpenFile(path, O_WRONLY | O_CREAT, false, LOCK_EX, &had));
    if (!fd.ok())
        return false;
    // Real zeros, not a hole or a preallocated extent: writing into those
    // later would change the file's block map, and every sync would commit it.
    static const std::string zeros(1 << 16, '\0');
    for (long long at = had; at < size;) {
        const std::size_t n = static_cast<std::size_t>(std::min<long long>(size - at, static_cast<long long>(zeros.size())));
        if (!WriteAll(fd.get(), std::string_view(zeros.data(), n), at)) {
            // All or nothing: a full disk gets its space back.
            [[maybe_unused]] const int cut = ::ftruncate(fd.get(), static_cast<off_t>(had));
            return false;
        }
        at += static_cast<long long>(n);
    }
    if (::fsync(fd.get()) != 0 || !fd.Close())
        return false;
    return existed || SyncFolderOf(path);
}

bool TryWriteAt(std::string_view path, long long offset, std::string_view data, bool sync)
{
    TInPlaceWriter writer;
    return writer.Open(path) && writer.WriteAt(offset, data, sync) && writer.Close();
}

bool TInPlaceWriter::Open(std::string_view path)
{
    Close();
    Fd fd(OpenFile(path, O_WRONLY, false, LOCK_EX, &size_));
    if (!fd.ok())
        return false;
    file_ = fd.Release();
    return true;
}

bool TInPlaceWriter::WriteAt(long long offset, std::string_view data, bool sync)
{
    // Never grow the file here.
    if (file_ < 0 || offset < 0 || offset + static_cast<long long>(data.size()) > size_)
        return false;
    const int fd = static_cast<int>(file_);
    return WriteAll(fd, data, offset) && (!sync || ::fdatasync(fd) == 0);
}

bool TInPlaceWriter::Close()
{
    if (file_ < 0)
        return true;
    const int fd = static_cast<int>(file_);
    file_ = kNoHandle;
    return ::close(fd) == 0;
}

bool TryCutFile(std::string_view path, long long size)
{
    long long had = 0;
    Fd fd(OpenFile(path, O_WRONLY, false, LOCK_EX, &had));
    if (!fd.ok())
        return false;
    if (had <= size)
        return fd.Close();
    return ::ftruncate(fd.get(), static_cast<off_t>(size)) == 0 && fd.Close();
}

} // namespace platform

namespace platform {

TAppendWriter::~TAppendWriter() { Abandon(); }

bool TAppendWriter::Open(std::string_view path)
{
    Abandon();
    long long size = 0;
    const int fd = OpenFile(path, O_WRONLY | O_CREAT | O_APPEND, true, LOCK_EX, &size);
    if (fd < 0)
        return false;
    file_ = fd;
    start_ = size;
    return true;
}

bool TAppendWriter::Write(std::string_view data)
{
    return file_ >= 0 && WriteAll(file_, data);
}

bool TAppendWriter::Close()
{
    if (file_ < 0)
        return false;
    const int fd = file_;
    file_ = -1;
    return ::close(fd) == 0;
}

void TAppendWriter::Abandon()
{
    if (file_ < 0)
        return;
    // A device (/dev/null, /dev/full) cannot be cut back; there is nothing to undo.
    [[maybe_unused]] const int cut = ::ftruncate(file_, static_cast<off_t>(start_));
    ::close(file_);
    file_ = -1;
}

TFileReader::~TFileReader() { Close(); }

bool TFileReader::Open(std::string_view path)
{
    Close();
    const int fd = OpenFile(path, O_RDONLY, false, LOCK_SH);
    if (fd < 0)
        return false;
    file_ = fd;
    return true;
}

bool TFileReader::Rewind()
{
    return file_ >= 0 && ::lseek(file_, 0, SEEK_SET) == 0;
}

long long TFileReader::Read(char* buffer, std::size_t size)
{
    if (file_ < 0)
        return -1;
    for (;;) {
        const ssize_t n = ::read(file_, buffer, size);
        if (n >= 0)
            return n;
        if (errno != EINTR)
            return -1;
    }
}

void TFileReader::Close()
{
    if (file_ >= 0)
        ::close(file_);
    file_ = -1;
}

} // namespace platform
