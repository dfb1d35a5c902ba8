// How a mail ended, and the one rule that turns it into its status code.
#pragma once

#include <cstdint>

// Status codes beyond the mailer's own exit codes.
inline constexpr std::int32_t kStatusSent = 0;
// The definition was too short, or the mailer could not be started or was refused.
inline constexpr std::int32_t kStatusNotSent = -1;
// A needed file cannot be written, there is no usable job list, or the
// program refuses to guess what an earlier run did.
inline constexpr std::int32_t kStatusFailure = 1;
// The mailer was started by a run that died before its outcome was recorded.
inline constexpr std::int32_t kStatusOutcomeUnknown = -2;
// The mailer was ended by the time limit.
inline constexpr std::int32_t kStatusTimeLimit = 124;

// How one run of the mailer ended.
enum class TMailerEnd {
    kExited,     // it ended by itself; ExitCode is its exit code
    kRefused,    // its command would not reach it as written: never started
    kNotStarted, // it could not be started
    kUnusable,   // a file the mail needs cannot be used: never started
    kTimeLimit,  // it ran past the time limit and was ended
    kEndedByUs,  // a termination of the program ended it; ExitCode is how it ended
};

struct TMailerOutcome {
    TMailerEnd End = TMailerEnd::kExited;
    int ExitCode = 0;
};

// A mail's outcome: its mailer's, and whether its definition was too short
// (the mailer still runs then, and only a nonzero exit code of its own wins).
struct TMailOutcome {
    TMailerOutcome Mailer;
    bool DefinitionTooShort = false;
};

constexpr std::int32_t StatusOf(const TMailOutcome& outcome)
{
    switch (outcome.Mailer.End) {
    case TMailerEnd::kRefused:
    case TMailerEnd::kNotStarted:
    case TMailerEnd::kUnusable:
        return kStatusNotSent;
    case TMailerEnd::kTimeLimit:
        return kStatusTimeLimit;
    case TMailerEnd::kExited:
    case TMailerEnd::kEndedByUs:
        break;
    }
    if (outcome.Mailer.ExitCode != 0)
        return outcome.Mailer.ExitCode;
    return outcome.DefinitionTooShort ? kStatusNotSent : kStatusSent;
}
