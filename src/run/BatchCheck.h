// Checking a batch before it is sent (/v): what a run would do with each
// job-list line and what is wrong, and the schedule it would follow.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class TCheckSeverity {
    kWarning, // the run goes past it, but the mail may not be what was meant
    kError,   // a run would skip the mail or fail it
};

struct TCheckFinding {
    int line = 0;               // job-list line, from 1
    std::string definitionPath; // CP932; empty for a line without one
    std::string code;           // stable: "E01" ... "W08"
    TCheckSeverity severity = TCheckSeverity::kError;
    std::string text;           // CP932
};

// What the run's pacing would do with the checked lines.
struct TCheckSchedule {
    int mails = 0;             // lines the run would take (the send limit applied)
    int units = 0;             // send units (whole ones and a remainder group)
    int unitWaits = 0;
    int mailPauses = 0;
    double waitSeconds = 0;    // the waits and pauses alone
    double EstimateSeconds(double secondsPerMail) const { return waitSeconds + mails * secondsPerMail; }
};

struct TCheckReport {
    std::vector<TCheckFinding> findings;
    TCheckSchedule schedule;
    int Errors() const;
    int Warnings() const;
    // 0 nothing wrong, 2 warnings only, 1 a run would fail or skip mails.
    int ExitCode() const;
};

// One finding as a line of the report file (without its line end).
std::string FormatCheckLine(const TCheckFinding& finding);

struct TRunState;
struct TSettings;
struct TBatchReader;
// Walks the job list as a run would, with the run's own reading of job lines,
// definitions and commands, and reports what is wrong; sends nothing, writes
// no file and leaves the run state alone.
TCheckReport CheckBatch(const TRunState& state, const TSettings& settings, const std::string& programFolder,
                        const TBatchReader& files);
