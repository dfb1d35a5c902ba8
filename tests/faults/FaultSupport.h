// Helpers of the fault tests: running the built program with its peak memory,
// and checking that every mail the mailer saw has exactly one result line.
#pragma once

#include "run/TDelivery.h"
#include "support/FakeMailerRecord.h"
#include "support/ProgramRun.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace faults {

struct TUsageResult {
    int exitCode = -1;   // -1: timed out and killed
    long maxRssKb = 0;
    double seconds = 0;
};

// Another Tarnwick of this user (a test run elsewhere) would make ours end at
// once as a later instance: wait until the marker is free.
inline void WaitForFreeInstanceMarker()
{
    const std::string path = "/tmp/Ident8957-" + std::to_string(::geteuid()) + ".lock";
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ::close(fd);
}

inline int StartProgram(const TProgramFolder& folder, const std::vector<std::string>& args,
                        const std::vector<std::string>& env = {})
{
    WaitForFreeInstanceMarker();
    return folder.Start(args, env);
}

// Waits for the program with wait4 so that its peak memory is known.
inline TUsageResult WaitWithUsage(int pid, int timeoutMs)
{
    TUsageResult r;
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        int status = 0;
        rusage usage {};
        const pid_t got = ::wait4(pid, &status, WNOHANG, &usage);
        r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (got == pid) {
            r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            r.maxRssKb = usage.ru_maxrss;
            return r;
        }
        if (got < 0 || r.seconds * 1000 > timeoutMs) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
            return r;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

inline TUsageResult RunProgram(const TProgramFolder& folder, const std::vector<std::string>& args,
                               const std::vector<std::string>& env = {}, int timeoutMs = 60000)
{
    return WaitWithUsage(StartProgram(folder, args, env), timeoutMs);
}

// The raw lines of a CR LF file (no conversion).
inline std::vector<std::string> RawLines(const std::string& bytes)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = bytes.find("\r\n", start);
        if (end == std::string::npos)
            break;
        lines.push_back(bytes.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// Field n (from 1) of a result line, split as the program reads it back.
inline std::string ResultField(const std::string& line, std::size_t n)
{
    std::vector<std::string> fields;
    SplitResultLine(line, fields);
    return n <= fields.size() ? fields[n - 1] : std::string();
}

// Every mail the mailer saw has exactly one result line, numbered 1..n in
// order, and no line exists for a mail it did not see.
inline void ExpectOneResultLinePerMail(const TProgramFolder& folder, std::size_t expectedMails)
{
    const auto runs = ReadFakeMailerRecords(folder.RecordPath());
    EXPECT_EQ(runs.size(), expectedMails);
    const std::vector<std::string> lines =
        folder.Exists("$mail_result.csv") ? RawLines(folder.ReadBytes("$mail_result.csv")) : std::vector<std::string>{};
    ASSERT_EQ(lines.size(), runs.size());
    for (std::size_t k = 0; k < lines.size(); ++k) {
        // Byte-wise: a broken double-byte value may hide a comma from the
        // character-aware split, so the number is looked for from field 11 on.
        std::vector<std::string> fields;
        std::size_t start = 0;
        for (std::size_t comma; (comma = lines[k].find(',', start)) != std::string::npos; start = comma + 1)
            fields.push_back(lines[k].substr(start, comma - start));
        fields.push_back(lines[k].substr(start));
        bool numbered = false;
        for (std::size_t f = 10; f < fields.size(); ++f)
            numbered = numbered || fields[f] == std::to_string(k + 1);
        EXPECT_TRUE(numbered) << "line " << k + 1 << ": " << lines[k];
    }
}

// n mail definitions mails/m<k>.txt and a job list naming them.
inline void WriteMails(const TProgramFolder& folder, int n, const std::string& outcomeLog = "../out.txt",
                       const std::string& jobFile = "jobs.txt")
{
    std::string jobs;
    for (int k = 1; k <= n; ++k) {
        const std::string name = "m" + std::to_string(k) + ".txt";
        folder.WriteLines("mails/" + name, {outcomeLog, "host", "to@example.jp", "from@example.jp", "件名", "", "本文"});
        jobs += "mails/" + name + ",C" + std::to_string(k) + "\r\n";
    }
    folder.WriteBytes(jobFile, jobs);
}

// Waits until `done` holds or the deadline passes.
template <typename Pred>
bool WaitFor(Pred done, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

} // namespace faults
