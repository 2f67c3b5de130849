// The user in front of the host: a second thread that finds the library's
// dialogs on the host's user-interface thread and answers them by a plan,
// while that thread is inside a call of the library. The plan's steps find,
// read and act on a dialog with dialog_actions.h.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "win32/clock.h"
#include "dialog_actions.h"
#include "other_program.h"

namespace zmk::host {

// One step of the user's plan, carried out in order.
struct Step {
    enum class Kind { Await, Act, Unplug, Replug, Quit, HostBusy, OtherInFront, Pause, AwaitGone };
    Kind kind;
    UserAction action = UserAction::PressOk;  // Act
    int value = 0;                            // Unplug: device (0: all); Quit: exit code; ms for the others
    std::string text;                         // Await: caption (empty: any dialog); Replug: the devices
};

namespace step {
// Waits (up to 30 s) for the next dialog to be shown; the steps after it act on it.
Step Await(const char* caption = "");
Step Act(UserAction action);
inline Step Press(int button) { return Act(button == IDCANCEL ? UserAction::PressCancel : UserAction::PressOk); }
// Takes the n-th device out of the D2XX stand-in's list (0: every one).
Step Unplug(int n);
// The user plugs a different set of devices: the stand-in's whole list.
Step Replug(const std::string& devices);
// The host posts its quit with this exit code, from its own window procedure.
Step Quit(int exitCode);
// The host's window procedure does not return for ms.
Step HostBusy(int milliseconds);
// Another program comes to the front and stops answering there.
Step OtherInFront();
Step Pause(int milliseconds);
// Until the dialog acted on last has closed (or 30 s).
Step AwaitGone();
// The usual answer to one showing: wait for it, then press.
inline std::vector<Step> Answer(int button) { return {Await(), Press(button)}; }
}  // namespace step

using Plan = std::vector<Step>;

// One showing of a dialog, as the user saw it.
struct SeenDialog {
    HWND window = nullptr;
    std::string caption;
    std::string message;        // its first text that is not empty
    HWND owner = nullptr;
    DWORD ownerProcess = 0;     // 0: no owner
    bool planned = true;        // false: after the plan ran out; it was cancelled
    double shownMs = 0;         // from the user's start to the dialog on screen
    double actedMs = -1;        // from the user's start to the first action on it; -1: none
    double openMs = -1;         // from the first action on it to its end; -1: never acted on
    std::string progressAtEnd;  // the last text its progress line showed
    bool otherEnabled = true;   // the other program's window, while this dialog was up
    LARGE_INTEGER closedAt = {};
};

class HostWindow;

class DialogUser {
public:
    struct Options {
        Options() {}
        // Dialogs shown after the plan ran out are cancelled, so that a call ends.
        bool cancelUnplanned = true;
        // Says each dialog and each step on this stream ("[dialog] ...", "[user] ...").
        std::FILE* narrate = nullptr;
        // The other program's executable, for OtherInFront.
        std::string otherProgram;
        // Another program already in front, whose window each seen dialog notes.
        const OtherProgram* other = nullptr;
    };

    // Starts answering the dialogs of host's thread at once.
    DialogUser(HostWindow& host, Plan plan, Options options = Options());
    // Runs drive(hostThread) on the user's thread instead of a plan.
    DialogUser(DWORD hostThread, std::function<void(DWORD)> drive);
    ~DialogUser();
    DialogUser(const DialogUser&) = delete;
    DialogUser& operator=(const DialogUser&) = delete;

    // Ends the user's thread (after the dialog acted on last has closed).
    void Stop();
    const std::vector<SeenDialog>& Seen() const { return seen_; }
    // The other program that came to the front, when a step brought it there.
    const OtherProgram* Other() const { return other_ ? other_.get() : options_.other; }

private:
    void Run();
    void Carry(const Step& step);
    bool AwaitDialog(const std::string& caption, bool planned);
    void Watch(int milliseconds);
    void MarkActed();
    SeenDialog* Current() { return current_ < 0 ? nullptr : &seen_[static_cast<std::size_t>(current_)]; }
    void Say(const char* format, ...);

    HostWindow* host_ = nullptr;
    DWORD hostThread_ = 0;
    Plan plan_;
    Options options_;
    std::function<void(DWORD)> drive_;
    LARGE_INTEGER started_ = {};
    std::vector<SeenDialog> seen_;
    int current_ = -1;  // the dialog the steps act on: an index into seen_
    std::unique_ptr<OtherProgram> other_;
    std::atomic<bool> done_{false};
    std::thread thread_;
};

// Calls call() on this (the host's) thread while drive(thisThread) runs on
// the user's thread; returns what call() returned once both are done.
INT_PTR RunWithUser(const std::function<INT_PTR()>& call, const std::function<void(DWORD)>& drive);

}  // namespace zmk::host
