// Shows one dialog state and saves what is on the screen, frame included, as
// a BMP; scripts/screenshots.sh runs it once per state.
//
//   zmk_dialog_gallery STATE OUT.bmp [TRAVOLK.exe]
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "detection_problem_dialog.h"
#include "diagnostic_tool.h"
#include "dialog_palette.h"
#include "dialog_user.h"
#include "driver_error_dialog.h"
#include "host_window.h"
#include "module_handle.h"
#include "screen_pixels.h"
#include "themed_message_box.h"
#include "windows_path.h"

namespace {

using namespace zmk::host;
using namespace zmk::test;

struct State {
    const char* name;
    const char* caption;
    bool themed;
    int show;  // 0 detection mode 1, 1 detection mode 2, 2 message box, 3 driver error
    int rescanWaitMs;  // > 0: press "Rescan DMX" and shoot this long after
};

const State kStates[] = {
    {"detection-mode1", "Borvanect  -  DMX Device Scan", true, 0, 0},
    {"detection-mode2", "Borvanect  -  DMX Device Scan", true, 1, 0},
    {"detection-progress", "Borvanect  -  DMX Device Scan", true, 0, 2650},
    {"detection-mode1-unthemed", "Borvanect  -  DMX Device Scan", false, 0, 0},
    {"message-box", "ZELMORK", true, 2, 0},
    {"driver-error", "Borvanect  -  DMX Device Error", true, 3, 0},
    {"driver-error-unthemed", "Borvanect  -  DMX Device Error", false, 3, 0},
};

}  // namespace

int main(int argc, char** argv) {
    const State* state = nullptr;
    for (const State& s : kStates)
        if (argc >= 3 && std::strcmp(argv[1], s.name) == 0) state = &s;
    if (!state) {
        std::fprintf(stderr, "usage: %s STATE OUT.bmp [TRAVOLK.exe]\n", argv[0]);
        return 2;
    }
    zmk::SetLibraryModule(::GetModuleHandleA(nullptr));
    if (state->show == 3 && (argc < 4 || !PlaceDiagnosticTool(WindowsPath(argv[3])))) {
        std::fprintf(stderr, "the driver-error states need the TRAVOLK.exe stand-in\n");
        return 2;
    }
    if (state->themed && !zmk::TheDialogPalette().Create()) return 1;

    HostWindow host;
    const std::string out = WindowsPath(argv[2]);
    bool saved = false;
    RunWithUser(
        [&]() -> INT_PTR {
            switch (state->show) {
                case 0: return zmk::ShowDetectionProblemDialog(host.get(), zmk::kModeUnrecognizedDevice);
                case 1: return zmk::ShowDetectionProblemDialog(host.get(), zmk::kModeMultipleDevices);
                case 2: return zmk::ShowSystemErrorBox(host.get());
                default: return zmk::ShowDriverErrorDialog(host.get());
            }
        },
        [&](DWORD ui) {
            HWND dialog = WaitForDialog(ui, state->caption, 30000);
            if (!dialog) return;
            if (state->rescanWaitMs > 0) {
                Perform(dialog, UserAction::Enter);
                ::Sleep(state->rescanWaitMs);
            } else {
                ::Sleep(700);
            }
            saved = WriteBmp(CaptureScreen(dialog), out.c_str());
            Perform(dialog, UserAction::Escape);
            WaitUntilGone(dialog, 15000);
        });
    zmk::TheDialogPalette().Release();
    return saved ? 0 : 1;
}
