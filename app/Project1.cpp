// Entry point: the hand-over to a player already running, the application
// object, its title, the four windows in order, then the message loop.

#include "Application.h"
#include "HandOverServer.h"
#include "InstanceChannel.h"
#include "MprisService.h"
#include "Paths.h"
#include "SessionPlatform.h"
#include "Unit1.h"
#include "Unit2.h"
#include "Unit3.h"
#include "Unit5.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

using namespace quellora;

int main(int argc, char** argv)
{
    // One player per list folder: a start that finds the player of its
    // folder running hands its arguments over and ends, before anything slow
    // (the display, the windows, GStreamer) has begun.
    const std::vector<std::string> params(argv + 1, argv + argc);
    const std::string folder = CanonicalDir(ConfigDir());
    const std::string workDir = WorkingDir();
    TStartResult start = HandOverOrClaim(ChannelOf(folder), {folder, workDir.empty() ? "/" : workDir, params});
    if (start.outcome == TStartOutcome::HandedOver)
        return 0;
    const char* failure = nullptr;
    switch (start.outcome) {
    case TStartOutcome::NoAnswer:
        failure = "quellora: the player already running for %s does not answer\n";
        break;
    case TStartOutcome::Unanswered:
        // A player that was stopped takes the arguments once it goes on.
        failure = "quellora: the player already running for %s has not answered yet; it takes the files when it does\n";
        break;
    case TStartOutcome::TooLarge:
        failure = "quellora: too many arguments to hand over to the player running for %s\n";
        break;
    default:
        break;
    }
    if (failure) {
        std::fprintf(stderr, failure, folder.c_str());
        return 1;
    }

    // In a Wayland session the player goes through XWayland when it can.
    // The choice is Qt's environment only while the application object
    // starts, so that programs started from the player choose for themselves.
    const std::string platform = ChooseQtPlatform(CurrentSessionFacts());
    if (!platform.empty())
        setenv("QT_QPA_PLATFORM", platform.c_str(), 1);
    // Under X11 the window's pixels go to the server through the socket, not
    // shared memory: a shared image must be waited for (a round trip to the
    // server) before each paint over what was last sent, and the banner
    // repaints the same small area several times a second. A user's own
    // choice stands.
    const bool sharedMemoryChosen = std::getenv("QT_XCB_NO_MITSHM") != nullptr;
    if (!sharedMemoryChosen)
        setenv("QT_XCB_NO_MITSHM", "1", 1);
    QApplication qtApp(argc, argv);
    if (!platform.empty())
        unsetenv("QT_QPA_PLATFORM");
    if (!sharedMemoryChosen)
        unsetenv("QT_XCB_NO_MITSHM");
    QApplication::setQuitOnLastWindowClosed(false);
    // Desktops match the windows to the desktop entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(QUELLORA_APP_ID));
    Application().Initialize();
    Application().Params = params;
    Application().SetTitle("Quellora");

    Form1 = new TForm1();
    Form2 = new TForm2(Form1);
    Form3 = new TForm3(Form1);
    Form5 = new TForm5(Form1);
    // The dialogs show the main window's icon too.
    QApplication::setWindowIcon(Form1->windowIcon());
    // The desktop's media controls, when there is a session bus to meet them on.
    std::unique_ptr<TMprisService> mpris = TMprisService::Start(Form1);
    // Later starts for the same folder hand over to this player; they wait
    // in the socket's queue until the message loop runs.
    std::unique_ptr<THandOverServer> handOver;
    if (start.outcome == TStartOutcome::Claimed) {
        handOver = std::make_unique<THandOverServer>(start.claim, folder);
        handOver->Accepting = [] { return !Application().Terminated(); };
        handOver->OnArguments = [](const std::vector<std::string>& args) { Form1->TakeArguments(args); };
    }

    const int result = Application().Run();
    // From here on the next start becomes the player.
    handOver.reset();
    mpris.reset();
    delete Form1;
    return result;
}
