#include "support/FakeMailerRecord.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

std::string FromHex(const std::string& hex)
{
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        return 0;
    };
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out += static_cast<char>(digit(hex[i]) * 16 + digit(hex[i + 1]));
    return out;
}

} // namespace

std::vector<FakeMailerRun> ReadFakeMailerRecords(const std::string& path)
{
    std::vector<FakeMailerRun> runs;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    FakeMailerRun run;
    bool open = false;
    while (std::getline(in, line)) {
        const std::size_t space = line.find(' ');
        const std::string key = line.substr(0, space);
        const std::string value = space == std::string::npos ? std::string() : line.substr(space + 1);
        if (key == "RUN") {
            run = FakeMailerRun{};
            open = true;
        } else if (!open) {
            continue;
        } else if (key == "ARG") {
            run.args.push_back(FromHex(value));
        } else if (key == "LINE") {
            run.commandLine = FromHex(value);
        } else if (key == "CWD") {
            run.cwd = FromHex(value);
        } else if (key == "TZ") {
            run.tz = FromHex(value);
        } else if (key == "BAT") {
            run.batchFilePresent = value == "1";
        } else if (key == "BODY") {
            run.body = FromHex(value);
        } else if (key == "SESSION") {
            run.ownSession = value == "1";
        } else if (key == "NULLIO") {
            run.nullIo = value;
        } else if (key == "FDS") {
            run.extraFds = std::atoi(value.c_str());
        } else if (key == "END") {
            runs.push_back(run);
            open = false;
        }
    }
    return runs;
}

std::string FakeMailerPath()
{
    return TARNWICK_BIN_DIR "/fake_mailer" TARNWICK_EXE_SUFFIX;
}
