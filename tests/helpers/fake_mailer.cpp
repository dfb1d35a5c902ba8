// Stands in for the mailer in tests. It appends one record of what it saw to a
// record file, prints what it is told, sleeps, and ends with the exit code or
// signal it is told.
//
// Control keys come from the environment and, overriding them, from the file
// "fake_mailer.ctl" in the current folder (KEY=VALUE lines):
//   FAKE_MAILER_RECORD       file the record is appended to
//   FAKE_MAILER_EXIT         exit code (default 0)
//   FAKE_MAILER_EXIT_SEQ     exit codes for successive runs, e.g. "0,3,0"; the
//                            run count is kept in RECORD + ".seq" (or
//                            "fake_mailer.seq" in the current folder); after
//                            the last value the last value repeats
//   FAKE_MAILER_SIGNAL       signal number to kill itself with at the end
//   FAKE_MAILER_SLEEP_MS     milliseconds to sleep before ending
//   FAKE_MAILER_PRINT        text for standard output ("\n", "\r", "\\" escapes;
//                            CP932 double-byte characters are kept whole)
//   FAKE_MAILER_PRINT_FILE   file whose bytes go to standard output
//   FAKE_MAILER_PRINT_ERR    text for standard error (same escapes)
//   FAKE_MAILER_PRINT_BYTES  number of "x" bytes to flood standard output with
//   FAKE_MAILER_ESCAPE       file: first start a child that leaves the session
//                            (setsid), writes its pid there and waits for ever
//
// Record format (text lines, every value in hex so any bytes survive):
//   RUN
//   ARG <hex>           one per argv element, argv[0] first
//   CWD <hex>
//   TZ <hex>            only when TZ is set
//   BAT 0|1             "$mail.bat" exists in the current folder
//   BODY <hex>          bytes of "body.txt" in the current folder, when present
//   SESSION 0|1         it leads a session of its own
//   NULLIO <3 digits>   1 per standard handle 0, 1, 2 that is /dev/null
//   FDS <n>             open descriptors above 2
//   END
#include "FakeMailerKeys.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace {

std::map<std::string, std::string> g_keys;

std::string Key(const std::string& name)
{
    auto it = g_keys.find(name);
    return it == g_keys.end() ? std::string() : it->second;
}

bool ReadFile(const std::string& path, std::string& out)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    out.clear();
    char buf[65536];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0)
        out.append(buf, static_cast<std::size_t>(n));
    ::close(fd);
    return n == 0;
}

void WriteAll(int fd, const std::string& data)
{
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        done += static_cast<std::size_t>(n);
    }
}

void LoadKeys(char** envp)
{
    fake_mailer::ParseEnvironment(envp, g_keys);
    std::string ctl;
    if (ReadFile("fake_mailer.ctl", ctl))
        fake_mailer::ParseControl(ctl, g_keys);
}

bool IsDevNull(int fd)
{
    struct stat a {}, b {};
    return ::fstat(fd, &a) == 0 && ::stat("/dev/null", &b) == 0 && S_ISCHR(a.st_mode) && a.st_rdev == b.st_rdev;
}

int CountExtraFds()
{
    DIR* dir = ::opendir("/proc/self/fd");
    if (!dir)
        return -1;
    int count = 0;
    while (dirent* e = ::readdir(dir)) {
        const int fd = std::atoi(e->d_name);
        if (e->d_name[0] != '.' && fd > 2 && fd != ::dirfd(dir))
            ++count;
    }
    ::closedir(dir);
    return count;
}

std::string MakeRecord(int argc, char** argv)
{
    std::string r = "RUN\n";
    for (int i = 0; i < argc; ++i)
        r += "ARG " + fake_mailer::Hex(argv[i]) + "\n";
    char cwd[4096];
    r += "CWD " + fake_mailer::Hex(::getcwd(cwd, sizeof cwd) ? cwd : "") + "\n";
    if (const char* tz = std::getenv("TZ"))
        r += "TZ " + fake_mailer::Hex(tz) + "\n";
    r += std::string("BAT ") + (::access("$mail.bat", F_OK) == 0 ? "1" : "0") + "\n";
    std::string body;
    if (ReadFile("body.txt", body))
        r += "BODY " + fake_mailer::Hex(body) + "\n";
    r += std::string("SESSION ") + (::getsid(0) == ::getpid() ? "1" : "0") + "\n";
    r += "NULLIO ";
    for (int fd = 0; fd < 3; ++fd)
        r += IsDevNull(fd) ? '1' : '0';
    r += "\nFDS " + std::to_string(CountExtraFds()) + "\nEND\n";
    return r;
}

// The exit code for this run of a sequence; the counter file is locked so
// that runs started together still take one value each.
int NextSequenceCode(const std::string& seq)
{
    const std::string record = Key("FAKE_MAILER_RECORD");
    const std::string counterPath = record.empty() ? "fake_mailer.seq" : record + ".seq";
    int run = 0;
    const int fd = ::open(counterPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0) {
        ::flock(fd, LOCK_EX);
        char buf[32] = {};
        const ssize_t n = ::pread(fd, buf, sizeof buf - 1, 0);
        if (n > 0)
            run = std::atoi(buf);
        const std::string next = std::to_string(run + 1);
        if (::ftruncate(fd, 0) == 0)
            (void)::pwrite(fd, next.data(), next.size(), 0);
        ::close(fd);
    }
    return fake_mailer::SequenceCode(seq, run);
}

} // namespace

int main(int argc, char** argv, char** envp)
{
    LoadKeys(envp);

    const std::string recordPath = Key("FAKE_MAILER_RECORD");
    if (!recordPath.empty()) {
        const std::string record = MakeRecord(argc, argv); // before our own descriptor is open
        const int fd = ::open(recordPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (fd >= 0) {
            ::flock(fd, LOCK_EX);
            WriteAll(fd, record);
            ::close(fd);
        }
    }

    if (!Key("FAKE_MAILER_PRINT").empty())
        WriteAll(1, fake_mailer::Unescape(Key("FAKE_MAILER_PRINT")));
    std::string fileText;
    if (!Key("FAKE_MAILER_PRINT_FILE").empty() && ReadFile(Key("FAKE_MAILER_PRINT_FILE"), fileText))
        WriteAll(1, fileText);
    if (!Key("FAKE_MAILER_PRINT_BYTES").empty()) {
        long long left = std::atoll(Key("FAKE_MAILER_PRINT_BYTES").c_str());
        const std::string chunk(65536, 'x');
        while (left > 0) {
            const std::size_t n = left < static_cast<long long>(chunk.size()) ? static_cast<std::size_t>(left) : chunk.size();
            WriteAll(1, chunk.substr(0, n));
            left -= static_cast<long long>(n);
        }
    }
    if (!Key("FAKE_MAILER_PRINT_ERR").empty())
        WriteAll(2, fake_mailer::Unescape(Key("FAKE_MAILER_PRINT_ERR")));

    if (!Key("FAKE_MAILER_ESCAPE").empty()) {
        const std::string pidFile = Key("FAKE_MAILER_ESCAPE");
        if (::fork() == 0) {
            ::setsid();
            const int null = ::open("/dev/null", O_RDWR);
            for (int fd = 0; fd < 3; ++fd)
                ::dup2(null, fd);
            const std::string pid = std::to_string(::getpid());
            const int out = ::open(pidFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            WriteAll(out, pid);
            ::close(out);
            for (;;)
                ::pause();
        }
        while (::access(pidFile.c_str(), F_OK) != 0)
            ::usleep(1000);
    }

    if (!Key("FAKE_MAILER_SLEEP_MS").empty()) {
        const long ms = std::atol(Key("FAKE_MAILER_SLEEP_MS").c_str());
        timespec ts {ms / 1000, (ms % 1000) * 1000000L};
        while (::nanosleep(&ts, &ts) != 0 && errno == EINTR) {
        }
    }

    if (!Key("FAKE_MAILER_SIGNAL").empty()) {
        // The disposition is left as inherited: an ignored signal shows up
        // as a run that ends normally.
        ::kill(::getpid(), std::atoi(Key("FAKE_MAILER_SIGNAL").c_str()));
    }
    if (!Key("FAKE_MAILER_EXIT_SEQ").empty())
        return NextSequenceCode(Key("FAKE_MAILER_EXIT_SEQ"));
    return std::atoi(Key("FAKE_MAILER_EXIT").c_str());
}
