// The run state: the options the command line fixed, the run's controls, the
// job list and the counters of the process. Texts are CP932; folders end in
// the path separator. The values of one mail never live here: they go through
// the run as values (TJob, TMail, TMailerCommand, TMailOutcome).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What the command line fixed for the whole process.
struct TRunOptions {
    std::int32_t SendLimit = 0;   // /K: at most this many job-list lines per run; 0 = all
    std::string ProcessName;      // /n
    std::int32_t SendUnit = 0;    // /m: mails sent back to back; 0 = no units
    double MailPause = 0;         // /s: seconds before each mail of a unit but the first
    double UnitWait = 0;          // /t: minutes between two units; 0 = none

    bool BatchMode = false;       // /d
    bool InvisibleMode = false;   // /i
    bool EncodeSenderName = false;// /z
    bool AutoResend = false;      // /r
    bool KeepOpen = false;        // /e
    bool Continue = false;        // /c: continue the run that did not finish
    bool VerifyOnly = false;      // /v: check the batch, send nothing, write only the report

    std::string JobListPath;      // the job list that was loaded (absolute)
    std::string WorkFolder;       // program folder + "temp/" unless /f says otherwise

    bool JobListReady = false;    // the command line gave a usable job list and work folder
    bool HadArguments = false;    // the program was started with arguments
    bool ResendOnly = false;      // /r without /P: resend the failures of the last result file
    std::string NotReadyReason;   // why the job list is not ready (CP932), for standard error
    std::vector<std::string> SkippedArguments; // why each skipped argument was skipped (CP932)
};

// The run's controls: set by the buttons, the timers, the close and the
// termination signals; read by the loop at its checks.
struct TRunControls {
    bool StopRequest = false;     // end button, window close; cleared when a run starts
    bool PauseRequest = false;    // pause button
    bool WaitOver = false;        // set by TimerWait
    // Set once a fatal write failure has closed the window: nothing more may run.
    bool Closing = false;

    // Termination signals: the latest one's number, how many came, and the tick of the first.
    int TerminationSignal = 0;
    int TerminationCount = 0;
    std::uint32_t TerminationTick = 0;
};

struct TRunState {
    TRunOptions Options;
    TRunControls Controls;
    std::vector<std::string> JobList; // one line per mail: the job list, or a resend's lines
    bool ResendMarker = false;        // set by the automatic resend
    int JournalPart = 0;              // the journal's part in progress: 0 the run, 1 and on the resends
    std::int32_t MailCounter = 0;     // sequence number of the mails sent by this process
};
