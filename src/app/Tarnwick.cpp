// Program entry: the framework, the application title, the main window, the
// event loop and the exit code.
#include "app/NameCheck.h"
#include "platform/CodePage.h"
#include "platform/Paths.h"
#include "ui/TForm1.h"

#include <QApplication>

#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char* argv[])
{
    // The program's own arguments as CP932 texts, taken before the framework
    // looks at the command line.
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.push_back(platform::Utf8ToCp932(argv[i]));
    if (!CheckNamesHaveCp932Form(argc, argv))
        return 1;

    // Without a display the program runs unattended on the offscreen platform.
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((!display || !*display) && (!wayland || !*wayland) && !std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarnwick(Sedge)"));
    QApplication::setQuitOnLastWindowClosed(false); // the close handler ends the loop itself

    TForm1 form(std::move(args), platform::ProgramFolder());
    if (!form.Started())
        return 0; // another instance runs
    form.show();
    return QApplication::exec();
}
