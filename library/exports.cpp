// The four functions the host application calls. Undecorated C names; the
// ordinals come from ZELMORK.def.
#include <windows.h>

#include "detect/detect_interfaces.h"
#include "device_status.h"
#include "dialogs/detection_problem_dialog.h"
#include "dialogs/dialog_palette.h"
#include "dialogs/driver_error_dialog.h"
#include "dialogs/wait_pumping.h"

namespace {

// Time the host's windows get after the detection-problem dialog closes,
// before the next detection run or the return to the host.
constexpr int kAfterDialogMilliseconds = 400;

bool NeedsUser(zmk::DeviceStatus status) {
    return status == zmk::UnrecognizedUsbDevice || status == zmk::MultipleDevices;
}

}  // namespace

extern "C" {

__declspec(dllexport) int ZMK_Initialize() { return zmk::TheDialogPalette().Create(); }

__declspec(dllexport) void ZMK_Release() { zmk::TheDialogPalette().Release(); }

// Detects the connected interface. When the user has to fix something, the
// detection-problem dialog asks for a re-plug; "Rescan DMX" detects again, as
// often as the user likes, and "Cancel" hands the problem status to the host.
__declspec(dllexport) int ZMK_GetDeviceStatus() {
    const zmk::HostQuitKeeper hostQuit;
    for (;;) {
        const zmk::DeviceStatus status = zmk::DetectInterfaces();
        if (!NeedsUser(status)) return status;

        const INT_PTR mode =
            status == zmk::UnrecognizedUsbDevice ? zmk::kModeUnrecognizedDevice : zmk::kModeMultipleDevices;
        const INT_PTR answer = zmk::ShowDetectionProblemDialog(GetForegroundWindow(), mode);
        zmk::WaitPumpingMessages(kAfterDialogMilliseconds);
        if (answer != IDOK) return status;
    }
}

__declspec(dllexport) INT_PTR ZMK_DriversErrorBox(HWND owner) { return zmk::ShowDriverErrorDialog(owner); }

}  // extern "C"
