#include "app/NameCheck.h"

#include "platform/Clock.h"
#include "platform/CodePage.h"
#include "platform/Paths.h"
#include "run/TimeFormat.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

void Report(const std::string& what, const std::string& utf8Name, const std::string& utf8Folder)
{
    const std::string message = "Tarnwick: " + what + "「" + utf8Name + "」にはShift_JISで表せない文字があります";
    std::fprintf(stderr, "%s\n", platform::ToConsoleText(message).c_str());
    // The mail log is found by the operating system's name of the folder,
    // which may be the very name that has no Shift_JIS form. Its record is
    // Shift_JIS like every other; the characters without a form show as "?".
    const std::u8string folder(utf8Folder.begin(), utf8Folder.end());
    std::ofstream log(std::filesystem::path(folder + u8"$mail_log.txt"), std::ios::binary | std::ios::app);
    log << FormatMailLogStamp(platform::NowLocal()) << ": NameError " << platform::Utf8ToCp932(utf8Name) << "\r\n";
}

} // namespace

bool CheckNamesHaveCp932Form(int argc, char* argv[])
{
    const std::string folder = platform::ProgramFolderUtf8();
    if (!platform::HasCp932Form(folder)) {
        Report("プログラムのフォルダ", folder, folder);
        return false;
    }
    for (const std::string& arg : platform::ProgramArgumentsUtf8(argc, argv)) {
        if (!platform::HasCp932Form(arg)) {
            Report("引数", arg, folder);
            return false;
        }
    }
    return true;
}
