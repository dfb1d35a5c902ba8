#include "platform/InstanceMarker.h"

#include "platform/CodePage.h"

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

// The lock lives in a file <name>.lock in a folder only the user can write:
// the user's runtime folder when the session names one, else tarnwick-<uid> in
// the temporary folder ($TMPDIR or /tmp),
// made with mode 0700. Whoever could create the file first could decide whether
// we run at all, so a folder or a file that is not the user's own is refused
// and the program does not start (it never runs without its guard). The path
// depends only on the name and the user, so every session of one user (desktop,
// cron, ssh) with the same runtime folder finds the same marker. The file is never removed: removing a lock file
// while another process may be opening it would let two processes lock two
// different files. All descriptors are close-on-exec so that the mailer and
// its children never inherit the marker.
//
// Requests to bring the window forward travel over a Linux abstract-namespace
// socket: it leaves no file behind and vanishes with the process. Anyone can
// connect to it, so the holder checks the peer's user and ignores strangers.

namespace platform {
namespace {

constexpr std::size_t kMaxNameBytes = 80;

// The name as one file-name component of UTF-8, or empty when unusable.
std::string NameComponent(std::string_view cp932Name)
{
    if (cp932Name.empty())
        return {};
    std::string utf8 = Cp932ToUtf8(cp932Name);
    for (char& c : utf8) {
        if (c == '/' || c == '\0')
            c = '_';
    }
    if (utf8.size() > kMaxNameBytes)
        return {};
    return utf8 + "-" + std::to_string(static_cast<unsigned long>(::geteuid()));
}

// A folder of this user's own that nobody else may write into, not a link.
bool OwnPrivateFolder(const std::string& path, mode_t forbidden)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & forbidden) == 0;
}

bool UsableRuntimeFolder(const char* runtime)
{
    return runtime && runtime[0] == '/' && OwnPrivateFolder(runtime, S_IWGRP | S_IWOTH);
}

// In the temporary folder the session names (TMPDIR), else /tmp.
std::string FallbackFolder()
{
    const char* tmp = std::getenv("TMPDIR");
    const std::string base = tmp && tmp[0] == '/' ? std::string(tmp) : std::string("/tmp");
    return base + (base.back() == '/' ? "" : "/") + "tarnwick-" + std::to_string(static_cast<unsigned long>(::geteuid()));
}

// The folder of the user's markers, or empty when there is none we can trust.
std::string MarkerFolder()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (UsableRuntimeFolder(runtime))
        return runtime;
    const std::string folder = FallbackFolder();
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        return {};
    return OwnPrivateFolder(folder, S_IRWXG | S_IRWXO) ? folder : std::string();
}

std::string LockPath(std::string_view cp932Name)
{
    const std::string component = NameComponent(cp932Name);
    const std::string folder = component.empty() ? std::string() : MarkerFolder();
    return folder.empty() ? std::string() : folder + "/" + component + ".lock";
}

// Fills an abstract socket address; returns its length, or 0.
socklen_t SocketAddress(std::string_view cp932Name, sockaddr_un& addr)
{
    const std::string component = NameComponent(cp932Name);
    if (component.empty())
        return 0;
    const std::string abstractName = "tarnwick-" + component + ".activate";
    if (abstractName.size() + 1 > sizeof(addr.sun_path))
        return 0;
    std::memset(&addr, 0, sizeof(addr));
    addr.sun_family = AF_UNIX;
    // Leading NUL: abstract namespace.
    std::memcpy(addr.sun_path + 1, abstractName.data(), abstractName.size());
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + abstractName.size());
}

// Opens the marker file if it is a plain file of this user. A file that
// someone else planted must not let them decide whether we run.
int OpenOwnFile(const std::string& path, int flags)
{
    int fd;
    do {
        fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NOFOLLOW, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

TInstanceMarker::~TInstanceMarker()
{
    Release();
}

TMarkerClaim TInstanceMarker::Claim(std::string_view name)
{
    if (IsHeld())
        return TMarkerClaim::mcClaimed;
    const std::string path = LockPath(name);
    if (path.empty())
        return TMarkerClaim::mcFailed;
    const int fd = OpenOwnFile(path, O_RDWR | O_CREAT);
    if (fd < 0)
        return TMarkerClaim::mcFailed;
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const bool held = errno == EWOULDBLOCK;
        ::close(fd);
        return held ? TMarkerClaim::mcHeld : TMarkerClaim::mcFailed;
    }
    lock_ = fd;
    name_ = std::string(name);
    return TMarkerClaim::mcClaimed;
}

bool TInstanceMarker::WriteTitle(std::string_view title)
{
    if (!IsHeld() || ::ftruncate(lock_, 0) != 0)
        return false;
    std::size_t done = 0;
    while (done < title.size()) {
        const ssize_t n = ::pwrite(lock_, title.data() + done, title.size() - done,
                                   static_cast<off_t>(done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

NativeHandle TInstanceMarker::ListenForActivation()
{
    if (!IsHeld())
        return -1;
    if (listen_ >= 0)
        return listen_;
    sockaddr_un addr {};
    const socklen_t len = SocketAddress(name_, addr);
    if (len == 0)
        return -1;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), len) != 0 || ::listen(fd, 8) != 0) {
        ::close(fd);
        return -1;
    }
    listen_ = fd;
    return fd;
}

bool TInstanceMarker::AcceptActivation()
{
    if (listen_ < 0)
        return false;
    int fd;
    do {
        fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return false;
    ucred cred {};
    socklen_t credLen = sizeof(cred);
    const bool sameUser = ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &credLen) == 0
        && cred.uid == ::geteuid();
    ::close(fd);
    return sameUser;
}

void TInstanceMarker::Release()
{
    if (listen_ >= 0) {
        ::close(listen_);
        listen_ = -1;
    }
    if (lock_ >= 0) {
        ::close(lock_);
        lock_ = -1;
    }
    name_.clear();
}

std::string MarkerFolderPath()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return UsableRuntimeFolder(runtime) ? std::string(runtime) : FallbackFolder();
}

std::string MarkerFilePath(std::string_view name)
{
    return LockPath(name);
}

std::string ReadMarkerTitle(std::string_view name)
{
    const std::string path = LockPath(name);
    if (path.empty())
        return {};
    const int fd = OpenOwnFile(path, O_RDONLY);
    if (fd < 0)
        return {};
    std::string title;
    char buf[256];
    // A title is short; anything beyond a few kilobytes is not ours.
    while (title.size() < 4096) {
        const ssize_t n = ::read(fd, buf, sizeof(buf));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        title.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return title;
}

bool RequestActivation(std::string_view name)
{
    sockaddr_un addr {};
    const socklen_t len = SocketAddress(name, addr);
    if (len == 0)
        return false;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return false;
    int rc;
    do {
        rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), len);
    } while (rc != 0 && errno == EINTR);
    ::close(fd);
    return rc == 0;
}

} // namespace platform
