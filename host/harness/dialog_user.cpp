#include "dialog_user.h"

#include <cstdarg>

#include "device_list.h"
#include "dialogs/dialog_ids.h"
#include "host_window.h"
#include "win32/text_encoding.h"

namespace zmk::host {
namespace {

constexpr int kAwaitMs = 30000;

// Captions and texts of the library's dialogs are Windows-1252; a Linux
// terminal wants UTF-8.
std::string Utf8FromDialogText(const std::string& text) { return Utf8FromCodePage(1252, text); }

}  // namespace

namespace step {
Step Await(const char* caption) { return {Step::Kind::Await, UserAction::PressOk, 0, caption ? caption : ""}; }
Step Act(UserAction action) { return {Step::Kind::Act, action, 0, {}}; }
Step Unplug(int n) { return {Step::Kind::Unplug, UserAction::PressOk, n, {}}; }
Step Replug(const std::string& devices) { return {Step::Kind::Replug, UserAction::PressOk, 0, devices}; }
Step Quit(int exitCode) { return {Step::Kind::Quit, UserAction::PressOk, exitCode, {}}; }
Step HostBusy(int milliseconds) { return {Step::Kind::HostBusy, UserAction::PressOk, milliseconds, {}}; }
Step OtherInFront() { return {Step::Kind::OtherInFront, UserAction::PressOk, 0, {}}; }
Step Pause(int milliseconds) { return {Step::Kind::Pause, UserAction::PressOk, milliseconds, {}}; }
Step AwaitGone() { return {Step::Kind::AwaitGone, UserAction::PressOk, 0, {}}; }
}  // namespace step

DialogUser::DialogUser(HostWindow& host, Plan plan, Options options)
    : host_(&host), hostThread_(host.thread()), plan_(std::move(plan)), options_(std::move(options)),
      started_(Now()) {
    thread_ = std::thread([this] { Run(); });
}

DialogUser::DialogUser(DWORD hostThread, std::function<void(DWORD)> drive)
    : hostThread_(hostThread), drive_(std::move(drive)), started_(Now()) {
    thread_ = std::thread([this] { drive_(hostThread_); });
}

DialogUser::~DialogUser() { Stop(); }

void DialogUser::Stop() {
    done_ = true;
    if (thread_.joinable()) thread_.join();
}

void DialogUser::Say(const char* format, ...) {
    if (!options_.narrate) return;
    std::va_list arguments;
    va_start(arguments, format);
    std::vfprintf(options_.narrate, format, arguments);
    va_end(arguments);
    std::fflush(options_.narrate);
}

// Follows the dialog acted on last for up to ms, or until it has closed:
// what its progress line shows, and when it ends.
void DialogUser::Watch(int milliseconds) {
    const LARGE_INTEGER start = Now();
    while (MillisecondsSince(start) < milliseconds) {
        SeenDialog* dialog = Current();
        if (!dialog || dialog->closedAt.QuadPart != 0) {
            // Nothing open to follow: a pause still lasts its time.
            if (milliseconds >= kAwaitMs) return;
            ::Sleep(kDialogPollMs);
            continue;
        }
        if (!::IsWindow(dialog->window)) {
            dialog->closedAt = Now();
            if (dialog->actedMs >= 0) dialog->openMs = MillisecondsSince(started_) - dialog->actedMs;
            return;
        }
        // The control empties as the dialog is torn down: keep the last text it showed.
        const std::string progress = ItemText(dialog->window, IDC_DETECTION_PROGRESS);
        if (!progress.empty()) dialog->progressAtEnd = progress;
        ::Sleep(kDialogPollMs);
    }
}

void DialogUser::MarkActed() {
    SeenDialog* dialog = Current();
    if (dialog && dialog->actedMs < 0 && ::IsWindow(dialog->window)) dialog->actedMs = MillisecondsSince(started_);
}

bool DialogUser::AwaitDialog(const std::string& caption, bool planned) {
    if (Current()) Watch(kAwaitMs);
    const LARGE_INTEGER start = Now();
    HWND found = nullptr;
    while (!found && MillisecondsSince(start) < kAwaitMs) {
        // The call has returned: no dialog will come any more.
        if (done_) return false;
        found = FindShownDialog(hostThread_, caption.c_str());
        if (!found) ::Sleep(kDialogPollMs);
    }
    if (!found) return false;
    SeenDialog seen;
    seen.window = found;
    seen.planned = planned;
    seen.shownMs = MillisecondsSince(started_);
    seen.caption = WindowText(found);
    seen.owner = ::GetWindow(found, GW_OWNER);
    if (seen.owner) ::GetWindowThreadProcessId(seen.owner, &seen.ownerProcess);
    if (Other()) seen.otherEnabled = ::IsWindowEnabled(Other()->window()) != FALSE;
    // Its texts are set before it shows; a moment more for its first paint.
    ::Sleep(150);
    std::vector<std::string> texts;
    for (HWND child = ::GetWindow(found, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        char kind[16] = {};
        ::GetClassNameA(child, kind, sizeof kind);
        if (lstrcmpiA(kind, "Static") != 0 || (::GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_BITMAP)
            continue;
        std::string text = ItemText(found, ::GetDlgCtrlID(child));
        if (!text.empty()) texts.push_back(std::move(text));
    }
    if (!texts.empty()) seen.message = texts.front();
    seen_.push_back(seen);
    current_ = static_cast<int>(seen_.size()) - 1;

    Say("  [dialog] \"%s\"%s\n", Utf8FromDialogText(seen.caption).c_str(), planned ? "" : " (not in the plan)");
    for (const std::string& ansi : texts) {
        const std::string text = Utf8FromDialogText(ansi);
        for (std::size_t at = 0; at <= text.size();) {
            std::size_t end = text.find('\n', at);
            if (end == std::string::npos) end = text.size();
            Say("    | %s\n", text.substr(at, end - at).c_str());
            at = end + 1;
        }
    }
    return true;
}

void DialogUser::Carry(const Step& step) {
    switch (step.kind) {
        case Step::Kind::Await:
            AwaitDialog(step.text, true);
            break;
        case Step::Kind::Act: {
            SeenDialog* dialog = Current();
            if (!dialog || !::IsWindow(dialog->window)) break;
            const int button = ButtonOf(step.action);
            const std::string label = button ? ItemText(dialog->window, button) : std::string();
            if (!label.empty()) Say("  [user] clicks \"%s\"\n", Utf8FromDialogText(label).c_str());
            // A dialog without that button: its command is what the key gives.
            else if (button == IDOK) Say("  [user] presses Enter\n");
            else if (button == IDCANCEL) Say("  [user] presses Escape\n");
            else Say("  [user] %s\n", Describe(step.action));
            if (dialog->caption == kSystemErrorBoxCaption && dialog->actedMs < 0)
                Say("  [library] the system-error box closes; the driver-error dialog ends without showing\n");
            MarkActed();
            Perform(dialog->window, step.action);
            break;
        }
        case Step::Kind::Unplug: {
            const std::string removed = UnplugDevices(step.value);
            if (removed.empty()) Say("  [user] finds no USB device to unplug\n");
            else if (step.value == 0) Say("  [user] unplugs every USB interface\n");
            else Say("  [user] unplugs USB device %d (%s)\n", step.value,
                     removed.substr(0, removed.find('\n')).c_str());
            break;
        }
        case Step::Kind::Replug:
            WriteDeviceList(step.text);
            Say("  [user] plugs in other devices\n");
            break;
        case Step::Kind::Quit:
            Say("  [host] posts its quit (exit code %d), as a closing host does\n", step.value);
            MarkActed();
            if (host_) host_->PostQuit(step.value);
            break;
        case Step::Kind::HostBusy:
            Say("  [host] stops answering for %d ms\n", step.value);
            if (host_) host_->PostBusy(step.value);
            break;
        case Step::Kind::OtherInFront:
            other_ = std::make_unique<OtherProgram>(options_.otherProgram);
            Say(other_->InFront() ? "  [user] switches to another program, which then hangs\n"
                                  : "  [user] starts another program, which did not come to the front\n");
            break;
        case Step::Kind::Pause:
            Watch(step.value);
            break;
        case Step::Kind::AwaitGone:
            Watch(kAwaitMs);
            break;
    }
}

void DialogUser::Run() {
    for (const Step& step : plan_) {
        // Once the call has returned, what is left of the plan has no dialog to act on.
        if (done_ && (step.kind == Step::Kind::Await || step.kind == Step::Kind::Act)) break;
        Carry(step);
    }
    while (!done_ && options_.cancelUnplanned) {
        if (!AwaitDialog("", false)) break;
        Say("  [user] clicks Cancel\n");
        MarkActed();
        Perform(Current()->window, UserAction::PressCancel);
    }
    if (Current()) Watch(kAwaitMs);
}

INT_PTR RunWithUser(const std::function<INT_PTR()>& call, const std::function<void(DWORD)>& drive) {
    DialogUser user(::GetCurrentThreadId(), drive);
    const INT_PTR result = call();
    user.Stop();
    return result;
}

}  // namespace zmk::host
