#include "run/Job.h"

#include "jtext/SjisBytes.h"
#include "platform/Files.h"
#include "platform/Paths.h"

#include <utility>

std::string ApplyRelativePathRule(std::string_view path, const std::string& base)
{
    std::string p = platform::NormalizeSeparators(path);
    if (p.size() > 2 && !platform::IsAbsolutePath(p))
        return platform::NormalizeSeparators(base) + p;
    return p;
}

TJob ReadJobLine(const std::vector<std::string>& jobList, int index, const std::string& programFolder)
{
    TJob job;
    job.Index = index;
    if (index < 0 || static_cast<std::size_t>(index) >= jobList.size())
        return job;
    const std::string& line = jobList[static_cast<std::size_t>(index)];
    const std::size_t comma = FindChar(line, ',');
    if (comma == std::string::npos) {
        // No comma: the whole line is the path, taken as it is.
        job.DefinitionPath = line;
        return job;
    }
    job.DefinitionPath = ApplyRelativePathRule(std::string_view(line).substr(0, comma), programFolder);
    job.SendCode = line.substr(comma + 1);
    if (!platform::FileExists(job.DefinitionPath))
        job.Missing = std::exchange(job.DefinitionPath, {});
    return job;
}
