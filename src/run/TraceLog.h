// The trace log "TraceMailLog.txt": each mailer start and end, when the
// settings ask for it.
#pragma once

#include "run/RunEnvironment.h"

#include <string>
#include <string_view>

class TTraceLog {
public:
    TTraceLog(std::string path, IClock& clock) : path_(std::move(path)), clock_(clock) {}

    // Deletes and re-creates the log with "<<Trace Start>>" when `enabled`;
    // without it the log is never written. Throws EInOutError.
    void Start(bool enabled);
    // One line when enabled. Throws EInOutError: the log must exist (Start made it).
    void Write(std::string_view message);

private:
    std::string path_;
    IClock& clock_;
    bool enabled_ = false;
};
