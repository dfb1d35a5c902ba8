// Program entry: the framework, the application title, the main window, the
// event loop and the exit code.
#include "app/NameCheck.h"
#include "app/StartWords.h"
#include "platform/CodePage.h"
#include "platform/Paths.h"
#include "ui/TForm1.h"
#include "ui/ToolkitSetup.h"

#include <QApplication>

#include <cstdio>
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
    if (AsksForUsage(args)) {
        std::fputs(UsageText().c_str(), stderr);
        return 0;
    }

    const bool displayWanted = PrepareToolkit();

    // Termination signals end the run in order (see TDelivery::TerminationRequested).
    TSystemTermination termination;

    QApplication app(argc, argv);
    NoteDisplayFallback(displayWanted);
    QApplication::setApplicationName(QStringLiteral("Tarnwick(Sedge)"));
    QApplication::setQuitOnLastWindowClosed(false); // the close handler ends the loop itself

    TSystemClock clock;
    TSystemMailerProcess mailer;
    // Without a job list and without a display nobody could close the window:
    // the usage, never a wait.
    if (args.empty() && TForm1::Unattended()) {
        std::fputs(UsageText().c_str(), stderr);
        return 1;
    }
    TForm1 form(std::move(args), platform::ProgramFolder(), clock, mailer);
    if (!form.Started())
        return EndBeforeWindow(form.GuardFailed());
    form.Delivery().SetTermination(termination);
    form.show();
    const int code = QApplication::exec();
    // The record's last chance: lines it could not write make the exit code 1.
    return form.Delivery().FinishProcess(code);
}
