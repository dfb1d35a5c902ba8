// Program entry: the framework, the application title, the main window, the
// event loop and the exit code.
#include "platform/CodePage.h"
#include "platform/Paths.h"
#include "ui/TForm1.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The toolkit's own notes (missing runtime folders, plugins that cannot raise
// a window, a display it could not open) are not for the operator: standard
// error carries the program's texts alone. Only a fatal message goes through.
void ToolkitMessage(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
        std::fflush(stderr);
    }
}

} // namespace

int main(int argc, char* argv[])
{
    // The program's own arguments as CP932 texts, taken before the framework
    // looks at the command line.
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.push_back(platform::Utf8ToCp932(argv[i]));

    // Without a display the program runs unattended on the offscreen platform;
    // a display that cannot be opened falls back to it instead of aborting.
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const char* chosen = std::getenv("QT_QPA_PLATFORM");
    std::string platforms = chosen && *chosen ? chosen
        : (display && *display) || (wayland && *wayland) ? "xcb;wayland"
                                                          : "offscreen";
    const bool wantsDisplay = platforms.rfind("offscreen", 0) != 0 && platforms.rfind("minimal", 0) != 0;
    if (platforms.find("offscreen") == std::string::npos)
        platforms += ";offscreen";
    setenv("QT_QPA_PLATFORM", platforms.c_str(), 1);
    // The window is laid out in pixels and keeps them whatever the screen's resolution.
    setenv("QT_ENABLE_HIGHDPI_SCALING", "0", 1);
    qInstallMessageHandler(ToolkitMessage);

    // Termination signals end the run in order (see TDelivery::TerminationRequested).
    TSystemTermination termination;

    QApplication app(argc, argv);
    if (wantsDisplay && QGuiApplication::platformName() == QLatin1String("offscreen")) {
        std::fprintf(stderr, "Tarnwick: the display cannot be opened; running without a window\n");
        std::fflush(stderr);
    }
    QApplication::setApplicationName(QStringLiteral("Tarnwick(Sedge)"));
    QApplication::setQuitOnLastWindowClosed(false); // the close handler ends the loop itself

    TSystemClock clock;
    TSystemMailerProcess mailer;
    TForm1 form(std::move(args), platform::ProgramFolder(), clock, mailer);
    if (!form.Started())
        return 0; // another instance runs
    form.Delivery().SetTermination(termination);
    form.show();
    const int code = QApplication::exec();
    // The record's last chance: lines it could not write make the exit code 1.
    return form.Delivery().FinishProcess(code);
}
