#include "support/TestSystem.h"

#include "platform/Paths.h"

#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

std::filesystem::path OsName(const std::string& cp932Path) { return std::filesystem::path(platform::ToOsPath(cp932Path)); }

void SetEnvironment(const char* name, const char* value)
{
    if (value)
        ::setenv(name, value, 1);
    else
        ::unsetenv(name);
}

// A timed hold is a child process, so that it ends on its own; an open one is
// a lock of this process (flock locks of two opens conflict like two programs').
struct TFileHold::State {
    pid_t pid = -1;
    int fd = -1;
    bool held = false;
};

TFileHold::TFileHold(const std::string& osPath, int ms) : state_(std::make_unique<State>())
{
    if (ms < 0) {
        state_->fd = ::open(osPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        state_->held = state_->fd >= 0 && ::flock(state_->fd, LOCK_EX) == 0;
        return;
    }
    int ready[2];
    if (::pipe(ready) != 0)
        return;
    state_->pid = ::fork();
    if (state_->pid == 0) {
        const int fd = ::open(osPath.c_str(), O_RDWR | O_CREAT, 0666);
        ::flock(fd, LOCK_EX);
        (void)!::write(ready[1], "x", 1);
        ::usleep(static_cast<useconds_t>(ms) * 1000);
        ::_exit(0);
    }
    char c;
    state_->held = ::read(ready[0], &c, 1) == 1; // the lock is held from here on
    ::close(ready[0]);
    ::close(ready[1]);
}

TFileHold::~TFileHold()
{
    if (state_->pid > 0)
        ::waitpid(state_->pid, nullptr, 0);
    if (state_->fd >= 0)
        ::close(state_->fd);
}

bool TFileHold::Held() const { return state_->held; }
