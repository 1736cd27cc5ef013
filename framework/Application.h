#pragma once
// The application object: title, minimise and restore, and termination as a
// quit request posted to the message loop, so that the handler that asks for
// it and the rest of the current turn run on.

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

namespace quellora {

class TApplication : public QObject {
    Q_OBJECT
public:
    static TApplication& Instance();

    void Initialize();
    const std::string& Title() const { return title_; }
    void SetTitle(const std::string& title);

    // The first window registered becomes the main window.
    void RegisterForm(QWidget* form);
    QWidget* MainForm() const { return mainForm_; }
    int FormCount() const { return formCount_; }

    // Posts a quit request. Only the main loop takes it: a modal box's loop
    // leaves it for the main loop, which ends as soon as control is back.
    void Terminate();
    bool Terminated() const { return terminated_; }

    void Minimize();
    void Restore();
    // Follows the main window's real state, whatever changed it: the
    // program, the taskbar or the window manager.
    bool Minimized() const { return minimized_; }

    // Shows the main window and runs the message loop until termination.
    int Run();

    // The command-line arguments, the program's own path not included.
    std::vector<std::string> Params;

    // The folder of the file last chosen in a file dialog during this run;
    // empty until then.
    std::string LastFolder;

    // Forget all state (for tests that build the windows more than once).
    void Reset();

signals:
    // The application became minimised, by the program or from outside; a
    // listener may hide the main window.
    void OnMinimize();
    void OnRestore();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void takeQuitRequest();
    void noteWindowState();
    // The main window comes back with the keyboard focus where the user
    // left it, also when it was activated while it went off the screen.
    void keepFocus();
    void giveFocusBack();

    std::string title_;
    QPointer<QWidget> mainForm_;
    int formCount_ = 0;
    bool terminated_ = false;
    bool minimized_ = false;
    QPointer<QWidget> focusBeforeMinimize_;
    // The loop level of the main loop while it runs, 0 before and after.
    int mainLoopLevel_ = 0;
};

inline TApplication& Application() { return TApplication::Instance(); }

} // namespace quellora
