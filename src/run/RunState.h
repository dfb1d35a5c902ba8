// The run state: one record for the whole process, shared by every step of the
// delivery run. Texts are CP932; folders end in the path separator.
#pragma once

#include "platform/Clock.h"

#include <cstdint>
#include <string>
#include <vector>

// Status code of a mail whose mailer was started by a run that died before
// recording its outcome (written by a continuation).
inline constexpr std::int32_t kStatusOutcomeUnknown = -2;
// Status code of a mail whose mailer was ended by the time limit.
inline constexpr std::int32_t kStatusTimeLimit = 124;

struct TRunState {
    std::vector<std::string> JobList;          // one line per mail
    std::vector<std::string> DefinitionLines;  // lines of the mail definition being sent

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
    std::string ResultFilePath;   // program folder + "$mail_result.csv"

    std::int32_t StatusCode = 0;  // outcome of the current (or last) mail; the exit code
    bool StopRequest = false;     // end button, window close; cleared when a run starts
    bool PauseRequest = false;    // pause button
    bool WaitOver = false;        // set by TimerWait
    bool ResendMarker = false;    // set by the automatic resend
    std::int32_t MailCounter = 0; // sequence number of the mails sent by this process

    bool JobListReady = false;    // the command line gave a usable job list and work folder
    bool HadArguments = false;    // the program was started with arguments

    // Set once a fatal write failure has closed the window: nothing more may run.
    bool Closing = false;

    // Termination signals: the latest one's number, how many came, and the tick of the first.
    int TerminationSignal = 0;
    int TerminationCount = 0;
    std::uint32_t TerminationTick = 0;
};

// The current job: what ReadJobLine makes of one job-list line.
struct TCurrentJob {
    std::string DefinitionPath;   // empty: the line is skipped
    std::string SendCode;
};

// The current mail: what ParseMailDefinition makes of one definition file.
struct TCurrentMail {
    std::string OutcomeLogPath;
    std::string Host;
    std::string MailFolder;       // per-mail folder, or empty
    std::string AddressList;      // TO bare, "CC:", "BCC:" entries joined by commas
    std::string RecipientDisplay; // "TO:", "CC:", "BCC:" entries joined by tabs
    std::string Sender1, Sender2, Sender3;
    std::string Subject;
    std::string AttachmentList;   // quoted absolute paths joined by commas
    std::string AttachmentNames;  // file names joined by tabs
};
