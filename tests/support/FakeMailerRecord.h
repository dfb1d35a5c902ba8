// Reading what the fake mailer (tests/helpers/fake_mailer) recorded, one entry
// per run, in the order of the runs.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct FakeMailerRun {
    std::vector<std::string> args;   // argv bytes, argv[0] first
    std::string commandLine;         // the command line as given (Windows only)
    std::string cwd;                 // its current folder (operating system's path)
    std::optional<std::string> tz;   // TZ, when set
    bool batchFilePresent = false;   // "$mail.bat" existed in its current folder
    std::optional<std::string> body; // bytes of "body.txt" in its current folder
    bool ownSession = false;         // it led a session of its own
    std::string nullIo;              // "111": standard handles 0, 1, 2 on /dev/null
    int extraFds = -1;               // open descriptors above 2
};

// The complete records of the file; a record cut short (a run killed while
// writing) is left out. No file gives no records.
std::vector<FakeMailerRun> ReadFakeMailerRecords(const std::string& path);

// The built fake mailer.
std::string FakeMailerPath();
