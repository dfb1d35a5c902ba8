// The window on a real X server at a given resolution (96 or 144 dots per
// inch): it keeps its laid-out pixel geometry. The test program starts its own
// Xvfb; run as `tarn_xcb_tests <dpi>`.
#include "platform/InstanceMarker.h"
#include "support/RunFakes.h"
#include "support/TempFolder.h"
#include "ui/TForm1.h"
#include "ui/ToolkitSetup.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QWindow>
#include <QLabel>
#include <QScreen>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

int g_dpi = 96;
bool g_xvfb = false;

bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 5000)
{
    QElapsedTimer t;
    t.start();
    while (!condition()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

TEST(XcbLayoutTest, TheWindowKeepsItsPixelsAtAnyResolution)
{
    if (!g_xvfb)
        GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    EXPECT_NEAR(QGuiApplication::primaryScreen()->logicalDotsPerInch(), g_dpi, 1);

    TTempFolder folder;
    folder.MakeFolder("temp");
    const std::string marker = "TarnTest-Xcb-" + std::to_string(::getpid());
    TForm1::SetInstanceName(marker);
    TForm1::SetBoxHook([](TForm1::TBoxKind, const QString&, const QString&) { return true; });
    TVirtualClock clock;
    TScriptedMailer mailer(clock);
    {
        TForm1 form({}, folder.Cp932Path(), clock, mailer);
        ASSERT_TRUE(form.Started());
        form.show();
        ASSERT_TRUE(WaitFor([&] { return form.isVisible() && form.windowHandle() && form.windowHandle()->isExposed(); }));
        EXPECT_EQ(form.devicePixelRatio(), 1.0);
        EXPECT_EQ(form.size(), QSize(416, 464));
        // What the X server holds for the window: 416 x 464 of its pixels.
        const QImage shown = form.screen()->grabWindow(form.winId()).toImage();
        EXPECT_EQ(shown.size(), QSize(416, 464));

        struct Place { const char* name; QRect rect; };
        for (const Place& p : {Place{"ListView1", {0, 0, 416, 113}}, Place{"ListView2", {0, 113, 416, 239}},
                               Place{"Panel2", {0, 352, 416, 70}}, Place{"ColorButton2", {192, 8, 105, 49}},
                               Place{"ColorButton1", {304, 8, 105, 49}}, Place{"ProgressBar1", {0, 422, 416, 17}},
                               Place{"Panel1", {0, 439, 416, 25}}}) {
            QWidget* w = form.findChild<QWidget*>(QString::fromLatin1(p.name));
            ASSERT_NE(w, nullptr) << p.name;
            EXPECT_EQ(w->geometry(), p.rect) << p.name;
        }
        struct At { const char* name; QPoint pos; };
        for (const At& a : {At{"Label1", {8, 7}}, At{"LabelRestTime", {8, 31}}, At{"LabelState", {8, 5}}, At{"LabelSend", {368, 6}}}) {
            QWidget* w = form.findChild<QWidget*>(QString::fromLatin1(a.name));
            ASSERT_NE(w, nullptr) << a.name;
            EXPECT_EQ(w->pos(), a.pos) << a.name;
        }
        EXPECT_EQ(form.font().pixelSize(), 12);
        EXPECT_EQ(form.findChild<QWidget*>(QStringLiteral("ColorButton1"))->font().pixelSize(), 19);
        // The label's text is 12-pixel characters at any resolution.
        EXPECT_LE(form.findChild<QLabel*>(QStringLiteral("Label1"))->sizeHint().height(), 16);
        form.close();
    }
    TForm1::SetBoxHook({});
    ::unlink(platform::MarkerFilePath(marker).c_str());
}

// Starts Xvfb on a display number of its choosing; 0 when it cannot be started.
pid_t StartXvfb(int dpi)
{
    if (::access("/usr/bin/Xvfb", X_OK) != 0)
        return 0;
    int fds[2];
    if (::pipe(fds) != 0)
        return 0;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        const std::string fd = std::to_string(fds[1]);
        const std::string res = std::to_string(dpi);
        ::execl("/usr/bin/Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-dpi", res.c_str(), "-screen", "0", "1280x1024x24",
                "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    std::string number;
    char c;
    while (::read(fds[0], &c, 1) == 1 && c != '\n')
        number += c;
    ::close(fds[0]);
    if (number.empty()) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        return 0;
    }
    ::setenv("DISPLAY", (":" + number).c_str(), 1);
    // Desktops tell programs their resolution through the Xft.dpi resource; the
    // toolkit scales by it unless told not to.
    const std::string resources = "xprop -root -f RESOURCE_MANAGER 8s -set RESOURCE_MANAGER 'Xft.dpi:\t" + std::to_string(dpi) + "\n'";
    if (std::system(resources.c_str()) != 0)
        return pid;
    return pid;
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (argc > 1)
        g_dpi = std::atoi(argv[1]);
    ::unsetenv("QT_QPA_PLATFORM");
    ::unsetenv("WAYLAND_DISPLAY");
    const pid_t xvfb = StartXvfb(g_dpi);
    g_xvfb = xvfb > 0;
    if (!g_xvfb)
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    PrepareToolkit();
    int code = 0;
    {
        QApplication app(argc, argv);
        code = RUN_ALL_TESTS();
    }
    if (xvfb > 0) {
        ::kill(xvfb, SIGTERM);
        ::waitpid(xvfb, nullptr, 0);
    }
    return code;
}
