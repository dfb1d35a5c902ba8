// The readable account of one run that -d writes to standard output (in
// batch mode Tarnwick copies it into its mail log).
#pragma once

#include <cstdio>
#include <string>

class TTranscript {
public:
  explicit TTranscript(bool on) : on_(on) {}
  bool On() const { return on_; }
  // Written at once, so a run that is cut short still leaves its account.
  void Line(const std::string& text)
  {
    if (!on_)
      return;
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  }

private:
  bool on_;
};
