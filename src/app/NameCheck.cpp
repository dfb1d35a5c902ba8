#include "app/NameCheck.h"

#include "platform/Clock.h"
#include "platform/CodePage.h"
#include "platform/Paths.h"
#include "run/TDelivery.h"

#include <cstdio>
#include <fstream>
#include <string>

namespace {

void Report(const std::string& what, const std::string& utf8Name, const std::string& osFolder)
{
    std::fprintf(stderr, "Tarnwick: %s「%s」にはShift_JISで表せない文字があります\n", what.c_str(), utf8Name.c_str());
    // The mail log is found by the operating system's name of the folder,
    // which may be the very name that has no Shift_JIS form. Its record is
    // Shift_JIS like every other; the characters without a form show as "?".
    std::ofstream log(osFolder + "$mail_log.txt", std::ios::binary | std::ios::app);
    log << FormatMailLogStamp(platform::NowLocal()) << ": NameError " << platform::Utf8ToCp932(utf8Name) << "\r\n";
}

} // namespace

bool CheckNamesHaveCp932Form(int argc, char* argv[])
{
    const std::string exe = platform::ProgramOsPath();
    const std::string folder = exe.substr(0, exe.rfind('/') + 1);
    if (!platform::HasCp932Form(folder)) {
        Report("プログラムのフォルダ", folder, folder);
        return false;
    }
    for (int i = 1; i < argc; ++i) {
        if (!platform::HasCp932Form(argv[i])) {
            Report("引数", argv[i], folder);
            return false;
        }
    }
    return true;
}
