// Runs the built Tarnwick in a temporary program folder: the executable and the
// fake mailer (as "smail") are copied in, so the program folder, its settings,
// result file and logs are the test's own.
#pragma once

#include "support/TempFolder.h"

#include <string>
#include <utility>
#include <vector>

// The status field (the fourth) of a result line.
inline std::string ResultStatus(const std::string& line)
{
    std::size_t at = 0;
    for (int k = 0; k < 3; ++k)
        at = line.find(',', at) + 1;
    return line.substr(at, line.find(',', at) - at);
}

class TProgramFolder : public TTempFolder {
public:
    TProgramFolder();

    struct TResult {
        int exitCode = -1;     // exit status, 128 + signal, or -1 when it timed out (then killed)
        std::string stdErr;
        double seconds = 0;
    };
    // Runs Tarnwick with the arguments (bytes as given) and extra environment
    // entries "KEY=VALUE", on the offscreen platform unless the entries choose
    // another ("QT_QPA_PLATFORM=" for none), and waits at most timeoutMs.
    TResult Run(const std::vector<std::string>& args, int timeoutMs = 60000,
                const std::vector<std::string>& env = {}) const;

    // Starts Tarnwick without waiting; Wait() collects it.
    int Start(const std::vector<std::string>& args, const std::vector<std::string>& env = {}) const;
    TResult Wait(int pid, int timeoutMs = 60000) const;

    // The fake mailer's record file (FAKE_MAILER_RECORD is set for every run).
    std::string RecordPath() const { return Path() + "mailer-record.txt"; }
    std::string ExecutablePath() const { return Path() + "Tarnwick"; }
    // A program that runs Tarnwick for the test (with its own arguments
    // first), such as setpriv for another account; empty: none.
    std::vector<std::string> launcher;
};
