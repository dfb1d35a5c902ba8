// Job-list lines and the relative-path rule.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The relative-path rule: a path longer than two bytes that is not absolute
// gets `base` put in front of it. Separators are normalised first.
std::string ApplyRelativePathRule(std::string_view path, const std::string& base);

// What one job-list line asks for.
struct TJob {
    int Index = 0;              // 0-based line of the job list
    std::string DefinitionPath; // empty: the line is skipped
    std::string SendCode;
    std::string Missing;        // a skipped line's definition path that names no file

    bool Skipped() const { return DefinitionPath.empty(); }
    // The job-list line that sends this mail again: definition path, a comma, send code.
    std::string ResendLine() const { return DefinitionPath + "," + SendCode; }
};

// Line `index` of the job list. A line without a comma is the definition
// path as it stands; otherwise the path before the first comma gets the
// program folder in front and must name an existing file, and the send code
// is everything after it.
TJob ReadJobLine(const std::vector<std::string>& jobList, int index, const std::string& programFolder);
