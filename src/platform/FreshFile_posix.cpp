#include "platform/FreshFile.h"

#include "platform/Paths.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

bool WriteAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// A name beside `osPath` that no one has used: ".<name>.<random>".
std::string TemporaryName(const std::string& osPath, std::mt19937_64& random)
{
    const std::size_t slash = osPath.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : osPath.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? osPath : osPath.substr(slash + 1);
    char tag[17];
    std::snprintf(tag, sizeof tag, "%016llx", static_cast<unsigned long long>(random()));
    return folder + "." + name + "." + tag;
}

} // namespace

TFreshFile::~TFreshFile()
{
    Close();
}

bool TFreshFile::Create(std::string_view path, std::string_view data)
{
    Close();
    if (path.empty() || path.find('\0') != std::string_view::npos)
        return false;
    const std::string osPath = ToOsPath(path);
    static std::mt19937_64 random(std::random_device {}());
    std::string temp;
    int fd = -1;
    // A name someone else took first is simply not ours: try another.
    for (int tries = 0; tries < 16 && fd < 0; ++tries) {
        temp = TemporaryName(osPath, random);
        fd = ::open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            return false;
    }
    if (fd < 0)
        return false;
    // rename replaces a file or a link at the path without following it; it
    // fails on a folder there.
    if (!WriteAll(fd, data) || ::lseek(fd, 0, SEEK_SET) != 0 || ::rename(temp.c_str(), osPath.c_str()) != 0) {
        ::unlink(temp.c_str());
        ::close(fd);
        return false;
    }
    file_ = fd;
    path_ = std::string(path);
    return true;
}

bool TFreshFile::Rewind()
{
    return file_ >= 0 && ::lseek(file_, 0, SEEK_SET) == 0;
}

long long TFreshFile::Read(char* buffer, std::size_t size)
{
    if (file_ < 0)
        return -1;
    for (;;) {
        const ssize_t n = ::read(file_, buffer, size);
        if (n >= 0 || errno != EINTR)
            return n;
    }
}

bool TFreshFile::Close()
{
    const int fd = file_;
    file_ = -1;
    return fd < 0 || ::close(fd) == 0;
}

// Files_posix.cpp: the type, mode, links, owner and size of an open file.
bool StatOpenFile(int fd, struct stat& st);

namespace {

// The file at `osPath` when it is one this account made as a fresh file and
// nobody else can reach: a regular file of ours, readable by us alone, with
// no other name. Writing it in place is then as safe as a new one, and spares
// the folder a new file for every mail.
int OpenOwnFile(const std::string& osPath, long long& size)
{
    const int fd = ::open(osPath.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st {};
    if (!StatOpenFile(fd, st) || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() || st.st_nlink != 1 || (st.st_mode & 077) != 0) {
        ::close(fd);
        return -1;
    }
    size = st.st_size;
    return fd;
}

} // namespace

bool TryWriteFreshFile(std::string_view path, std::string_view data)
{
    if (!path.empty() && path.find('\0') == std::string_view::npos) {
        long long size = 0;
        const int own = OpenOwnFile(ToOsPath(path), size);
        if (own >= 0) {
            // Cut only what the last text left beyond this one.
            const auto length = static_cast<long long>(data.size());
            const bool written = WriteAll(own, data) && (size <= length || ::ftruncate(own, static_cast<off_t>(length)) == 0);
            return ::close(own) == 0 && written;
        }
    }
    TFreshFile file;
    // A full disk may show only at close.
    return file.Create(path, data) && file.Close();
}

} // namespace platform
