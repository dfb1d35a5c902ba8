// The two retry rules of the delivery run's file access, around any single
// attempt, and the file operations that follow them. Load: up to 11
// attempts, 50 ms apart. Write: up to 10 attempts, 150 ms apart, cut short by
// the stop request.
#pragma once

#include "run/RunEnvironment.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

class TRetryRules {
public:
    TRetryRules(IClock& clock, const bool& stopRequest) : clock_(clock), stopRequest_(stopRequest) {}

    // True once one attempt succeeded.
    bool Load(const std::function<bool()>& attempt);
    // 0 on success, 1 on failure.
    int Write(const std::function<bool()>& attempt);

    // The file's lines; on failure `lines` is unchanged.
    bool LoadLines(const std::string& path, std::vector<std::string>& lines);
    // Create or overwrite, and append. An empty path fails at once.
    int WriteNewFile(const std::string& path, std::string_view text);
    int AppendFile(const std::string& path, std::string_view text);

private:
    IClock& clock_;
    const bool& stopRequest_;
};
