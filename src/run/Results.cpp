// The result list read back from the result file.
#include "run/TDelivery.h"

#include "platform/Files.h"

void TDelivery::LoadResultList()
{
    rows_.Clear();
    std::string contents;
    if (platform::FileExists(ResultFilePath()))
        retry_.Load([&] { return platform::TryLoadFile(ResultFilePath(), contents); });
    std::size_t lines = 0;
    platform::ForEachLine(contents, [&](std::string_view, std::string_view) { ++lines; });
    rows_.Reserve(lines);
    // A damaged line shows what it has; it must not stop later unattended runs.
    platform::ForEachLine(contents, [&](std::string_view line, std::string_view) { rows_.InsertTop(RowOf(ParseResultLine(line))); });
    view_.ResultRowsReset();
}
