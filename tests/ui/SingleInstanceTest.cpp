#include "QtTestApp.h"

#include "jtext/JpWords.h"
#include "platform/InstanceMarker.h"
#include "platform/Paths.h"
#include "ui/TSingleInstance.h"

#include <QApplication>
#include <QWidget>

#include <gtest/gtest.h>

#include <csignal>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using platform::TInstanceMarker;
using platform::TMarkerClaim;

// A marker name of this test process alone; its file is removed afterwards.
class MarkerName {
public:
    explicit MarkerName(const char* tag)
        : name_(std::string("TarnTest-") + tag + "-" + std::to_string(::getpid()))
    {
    }
    ~MarkerName() { ::unlink(platform::MarkerFilePath(name_).c_str()); }
    const std::string& str() const { return name_; }

private:
    std::string name_;
};

class SingleInstanceTest : public ::testing::Test {
protected:
    void SetUp() override { QtTestApp(); }
};

TEST_F(SingleInstanceTest, OneGuardPerProcess)
{
    {
        TSingleInstance first;
        EXPECT_EQ(first.DupInstAction(), diActivateFirst);
        EXPECT_EQ(first.ErrorMessage(), jp::kAlreadyRunning);
        EXPECT_EQ(first.UniqueName(), "");
        try {
            TSingleInstance second;
            FAIL() << "a second guard was made";
        } catch (const EMultiSingleInstance& e) {
            EXPECT_STREQ(e.what(), "Only single component allowed");
        }
    }
    // The failed guard was not counted and the first one is gone.
    EXPECT_NO_THROW(TSingleInstance again);
}

TEST_F(SingleInstanceTest, FirstInstanceHoldsTheMarkerUntilItEnds)
{
    MarkerName name("first");
    {
        TSingleInstance guard;
        guard.SetUniqueName(name.str());
        EXPECT_TRUE(guard.Loaded());
        EXPECT_TRUE(guard.HoldsMarker());
        TInstanceMarker other;
        EXPECT_EQ(other.Claim(name.str()), TMarkerClaim::mcHeld);
    }
    TInstanceMarker after;
    EXPECT_EQ(after.Claim(name.str()), TMarkerClaim::mcClaimed);
}

TEST_F(SingleInstanceTest, WithoutANameNothingIsGuarded)
{
    TSingleInstance guard;
    EXPECT_TRUE(guard.Loaded());
    EXPECT_FALSE(guard.HoldsMarker());
}

TEST_F(SingleInstanceTest, LaterInstanceActions)
{
    MarkerName name("later");
    TInstanceMarker first;
    ASSERT_EQ(first.Claim(name.str()), TMarkerClaim::mcClaimed);

    for (TDupInstAction action : {diActivateFirst, diTerminate, diException}) {
        TSingleInstance guard;
        guard.SetUniqueName(name.str());
        guard.SetDupInstAction(action);
        guard.SetErrorMessage("busy");
        int calls = 0;
        guard.SetOnDuplicate([&](TInstanceGuard& sender) {
            EXPECT_EQ(&sender, &guard);
            ++calls;
        });
        if (action == diException) {
            try {
                guard.Loaded();
                FAIL() << "no error raised";
            } catch (const EMultiAppInstance& e) {
                EXPECT_EQ(e.Message(), "busy");
            }
        } else {
            EXPECT_FALSE(guard.Loaded()) << action;
            EXPECT_FALSE(guard.Loaded()) << "the answer must not change";
        }
        EXPECT_EQ(calls, 1) << action;
        EXPECT_FALSE(guard.HoldsMarker());
    }
}

TEST_F(SingleInstanceTest, TitleRule)
{
    EXPECT_TRUE(TSingleInstance::SameTitle("Tarnwick", "tARNWICK"));
    EXPECT_FALSE(TSingleInstance::SameTitle("Tarnwick(Sedge)", "Tarnwick"));
    EXPECT_FALSE(TSingleInstance::SameTitle("Tarnwick", "Tarnwic"));
    // Full-width letters are not ASCII: Ａ is not ａ.
    EXPECT_FALSE(TSingleInstance::SameTitle("\x82\x60", "\x82\x81"));
    // The second byte of a double-byte character is never folded: ヂ is not ア.
    EXPECT_FALSE(TSingleInstance::SameTitle("\x83\x61", "\x83\x41"));
    EXPECT_TRUE(TSingleInstance::SameTitle("\x83\x61x", "\x83\x61X"));

    EXPECT_EQ(TSingleInstance::BaseName("/opt/tarn/Tarnwick"), "Tarnwick");
    EXPECT_EQ(TSingleInstance::BaseName("/opt/a.b/Tarn.exe"), "Tarn");
    // 表 ends in 0x5C, which is not a separator there.
    EXPECT_EQ(TSingleInstance::BaseName("C:\\x\\\x95\x5C.exe"), "\x95\x5C");
}

// A later instance asks the first one to come forward only when the first
// one's application title is the later one's executable name.
TEST_F(SingleInstanceTest, LaterInstanceAsksOnlyWhenTheTitleMatches)
{
    MarkerName name("title");
    TInstanceMarker first;
    ASSERT_EQ(first.Claim(name.str()), TMarkerClaim::mcClaimed);
    ASSERT_GE(first.ListenForActivation(), 0);
    const std::string exe = TSingleInstance::BaseName(platform::ProgramPath());
    ASSERT_EQ(exe, "tarn_ui_tests");

    ASSERT_TRUE(first.WriteTitle("Tarnwick(Sedge)"));
    {
        TSingleInstance later;
        later.SetUniqueName(name.str());
        EXPECT_FALSE(later.Loaded());
    }
    EXPECT_FALSE(first.AcceptActivation());

    ASSERT_TRUE(first.WriteTitle("TARN_UI_TESTS"));
    EXPECT_EQ(platform::ReadMarkerTitle(name.str()), "TARN_UI_TESTS");
    {
        TSingleInstance later;
        later.SetUniqueName(name.str());
        EXPECT_FALSE(later.Loaded());
    }
    EXPECT_TRUE(first.AcceptActivation());
    EXPECT_FALSE(first.AcceptActivation());
}

TEST_F(SingleInstanceTest, FirstInstanceComesForwardWhenAsked)
{
    MarkerName name("forward");
    QWidget main;
    main.resize(100, 100);
    QWidget other;
    other.resize(100, 100);
    TSingleInstance guard(&main);
    guard.SetUniqueName(name.str());
    QCoreApplication::setApplicationName(QStringLiteral("Tarnwick(Sedge)"));
    ASSERT_TRUE(guard.Loaded());
    EXPECT_EQ(platform::ReadMarkerTitle(name.str()), "Tarnwick(Sedge)");

    ASSERT_TRUE(ShowActive(&main));
    ASSERT_TRUE(ShowActive(&other));
    ASSERT_TRUE(platform::RequestActivation(name.str()));
    EXPECT_TRUE(WaitFor([&] { return QApplication::activeWindow() == &main; }));
}

// Many processes try at the same instant: exactly one gets the marker.
TEST_F(SingleInstanceTest, SimultaneousStartsClaimOnce)
{
    MarkerName name("race");
    constexpr int kProcesses = 6;
    for (int round = 0; round < 40; ++round) {
        int go[2], results[2], done[2];
        ASSERT_EQ(::pipe(go), 0);
        ASSERT_EQ(::pipe(results), 0);
        ASSERT_EQ(::pipe(done), 0);
        pid_t pids[kProcesses];
        for (int k = 0; k < kProcesses; ++k) {
            pids[k] = ::fork();
            ASSERT_GE(pids[k], 0);
            if (pids[k] == 0) {
                ::close(go[1]);
                ::close(results[0]);
                ::close(done[1]);
                char c;
                (void)!::read(go[0], &c, 1); // end of file: everyone starts
                TInstanceMarker marker;
                const TMarkerClaim r = marker.Claim(name.str());
                c = r == TMarkerClaim::mcClaimed ? 'C' : r == TMarkerClaim::mcHeld ? 'H' : 'F';
                (void)!::write(results[1], &c, 1);
                (void)!::read(done[0], &c, 1); // hold it until everyone has tried
                ::_exit(0);
            }
        }
        ::close(go[0]);
        ::close(results[1]);
        ::close(done[0]);
        ::close(go[1]);
        std::string answers;
        char c;
        while (answers.size() < kProcesses && ::read(results[0], &c, 1) == 1)
            answers += c;
        ::close(done[1]);
        ::close(results[0]);
        for (pid_t pid : pids)
            ::waitpid(pid, nullptr, 0);
        ASSERT_EQ(answers.size(), std::size_t(kProcesses));
        EXPECT_EQ(std::count(answers.begin(), answers.end(), 'C'), 1) << answers;
        EXPECT_EQ(std::count(answers.begin(), answers.end(), 'H'), kProcesses - 1) << answers;
    }
}

// A program started by the holder must not keep the marker alive.
TEST_F(SingleInstanceTest, ChildProcessesDoNotInheritTheMarker)
{
    MarkerName name("child");
    TInstanceMarker marker;
    ASSERT_EQ(marker.Claim(name.str()), TMarkerClaim::mcClaimed);
    ASSERT_GE(marker.ListenForActivation(), 0);
    pid_t child = 0;
    char sleepName[] = "sleep";
    char seconds[] = "30";
    char* argv[] = {sleepName, seconds, nullptr};
    ASSERT_EQ(::posix_spawnp(&child, "sleep", nullptr, nullptr, argv, environ), 0);

    marker.Release();
    // The child closes its copies while it starts the new program, a moment
    // after the spawn returns; a copy kept would hold the marker for 30 s.
    TInstanceMarker next;
    EXPECT_TRUE(WaitFor([&] { return next.Claim(name.str()) == TMarkerClaim::mcClaimed; }, 3000));
    EXPECT_GE(next.ListenForActivation(), 0);

    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
}

} // namespace
