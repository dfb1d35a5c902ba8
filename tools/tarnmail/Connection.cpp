#include "Connection.h"

void TConnection::SetLimits(TClock::time_point deadline, long stallSeconds)
{
  deadline_ = deadline;
  stall_ = stallSeconds;
}

bool TConnection::Fail(TNetFailure kind, const std::string& text)
{
  failure_ = kind;
  error_ = text;
  return false;
}

bool TConnection::Wait(short events)
{
  auto now = TClock::now();
  if (now >= deadline_)
    return Fail(nfTimeout, "no answer within the time limit");
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - now).count() + 1;
  const bool stallFirst = stall_ * 1000LL < left;
  if (Ready(events, stallFirst ? stall_ * 1000LL : left))
    return true;
  return Fail(nfTimeout, stallFirst ? "no progress for " + std::to_string(stall_) + " s (StallTimeout)"
                                    : std::string("no answer within the time limit"));
}
