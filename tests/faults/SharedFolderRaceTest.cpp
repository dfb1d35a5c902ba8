// A work folder that another account can write to: that account races every
// mail of a batch run, renaming its own script over $mail.bat and putting
// links at body.txt and $log.txt that lead into the operator's private
// folder. It must find nothing: its script never runs, nothing in the
// private folder is created or changed, and every mail is sent as written.
#include "FaultSupport.h"

#include <cstdlib>
#include <filesystem>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>

namespace {

using namespace faults;

// A second, unprivileged account for the life of the test.
class TNeighbour {
public:
    TNeighbour() : name_("tarnrace" + std::to_string(::getpid()))
    {
        if (::geteuid() != 0)
            return;
        const std::string cmd = "useradd --system --no-create-home --shell /usr/sbin/nologin " + name_ + " >/dev/null 2>&1";
        if (std::system(cmd.c_str()) != 0)
            return;
        if (const passwd* pw = ::getpwnam(name_.c_str())) {
            uid_ = pw->pw_uid;
            gid_ = pw->pw_gid;
            made_ = true;
        }
    }
    ~TNeighbour()
    {
        if (made_)
            std::system(("userdel " + name_ + " >/dev/null 2>&1").c_str());
    }
    bool Made() const { return made_; }
    uid_t Uid() const { return uid_; }
    gid_t Gid() const { return gid_; }

private:
    std::string name_;
    uid_t uid_ = 0;
    gid_t gid_ = 0;
    bool made_ = false;
};

TEST(SharedFolderRace, NeighbourFindsNothingInThreeHundredMails)
{
    TNeighbour neighbour;
    if (!neighbour.Made())
        GTEST_SKIP() << "needs root and useradd to make a second account";

    constexpr int kMails = 300;
    TProgramFolder folder;
    WriteMails(folder, kMails);
    folder.MakeFolder("private");
    folder.WriteBytes("private/secret.txt", "the operator's own\n");
    folder.MakeFolder("drop");
    const std::string root = folder.Path();
    ::chmod(root.c_str(), 0755);
    ::chmod((root + "temp").c_str(), 0777);  // the shared work folder
    ::chmod((root + "drop").c_str(), 0777);  // where the neighbour's script would leave its mark
    ::chmod((root + "private").c_str(), 0700);

    // Everything the neighbour uses is ready before it forks off.
    const std::string work = root + "temp/";
    const std::string ownScript = work + "own.sh";
    const std::string scriptText = "#!/bin/sh\ntouch " + root + "drop/PWNED\nexit 0\n";
    const std::string bat = work + "$mail.bat", body = work + "body.txt", log = work + "$log.txt";
    const std::string intoPrivate = root + "private/created.txt", secret = root + "private/secret.txt";
    const uid_t uid = neighbour.Uid();
    const gid_t gid = neighbour.Gid();

    const pid_t racer = ::fork();
    ASSERT_GE(racer, 0);
    if (racer == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)
            ::_exit(2);
        for (;;) {
            const int fd = ::open(ownScript.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0777);
            if (fd >= 0) {
                (void)!::write(fd, scriptText.data(), scriptText.size());
                ::close(fd);
                ::rename(ownScript.c_str(), bat.c_str());
            }
            ::unlink(body.c_str());
            (void)!::symlink(intoPrivate.c_str(), body.c_str());
            ::unlink(log.c_str());
            (void)!::symlink(secret.c_str(), log.c_str());
        }
    }

    const auto r = RunProgram(folder, {"/P", "jobs.txt", "/i", "/d"}, {"FAKE_MAILER_PRINT=sent\\n"}, 600000);
    ::kill(racer, SIGKILL);
    ::waitpid(racer, nullptr, 0);

    EXPECT_EQ(r.exitCode, 0);
    EXPECT_FALSE(std::filesystem::exists(root + "drop/PWNED")) << "the neighbour's script ran as the operator";
    EXPECT_FALSE(std::filesystem::exists(intoPrivate)) << "a file was made in the private folder";
    EXPECT_EQ(folder.ReadBytes("private/secret.txt"), "the operator's own\n");
    ExpectOneResultLinePerMail(folder, kMails);
    const auto runs = ReadFakeMailerRecords(folder.RecordPath());
    for (const auto& run : runs)
        EXPECT_EQ(run.args.back(), "to@example.jp");
    // Every mail's own output reached the mail log, read from our own file.
    const std::string mailLog = folder.ReadBytes("$mail_log.txt");
    std::size_t records = 0;
    for (std::size_t p = 0; (p = mailLog.find("#Res:\r\nsent\r\n", p)) != std::string::npos; ++p)
        ++records;
    EXPECT_EQ(records, static_cast<std::size_t>(kMails));
}

} // namespace
