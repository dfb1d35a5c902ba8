#include "ui/ToolkitSetup.h"

#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>
#include <string>

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

bool PrepareToolkit()
{
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
    return wantsDisplay;
}

void NoteDisplayFallback(bool displayWanted)
{
    if (displayWanted && QGuiApplication::platformName() == QLatin1String("offscreen")) {
        std::fprintf(stderr, "Tarnwick: the display cannot be opened; running without a window\n");
        std::fflush(stderr);
    }
}
