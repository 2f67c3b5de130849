// The four functions the host application calls, as ZELMORK.h declares
// them: the compiler holds these definitions to that header. The ordinals
// come from ZELMORK.def.
#define ZELMORK_BUILDING_LIBRARY
#include "ZELMORK.h"

#include "detect/detect_interfaces.h"
#include "device_status.h"
#include "dialogs/detection_problem_dialog.h"
#include "dialogs/dialog_palette.h"
#include "dialogs/driver_error_dialog.h"
#include "dialogs/wait_pumping.h"

namespace {

// The header's values and the library's are the same contract.
constexpr bool Same(ZmkDeviceStatus published, zmk::DeviceStatus status) {
    return static_cast<int>(published) == static_cast<int>(status);
}
static_assert(Same(ZMK_DRIVER_ERROR, zmk::DriverError) && Same(ZMK_MULTIPLE_DEVICES, zmk::MultipleDevices) &&
              Same(ZMK_NO_DEVICE, zmk::NoDevice) && Same(ZMK_OPEN_DMX_USB, zmk::OpenDmxUsb) &&
              Same(ZMK_DMX_USB_PRO, zmk::DmxUsbPro) && Same(ZMK_OPEN_DMX_ETHERNET, zmk::OpenDmxEthernet) &&
              Same(ZMK_UNRECOGNIZED_USB_DEVICE, zmk::UnrecognizedUsbDevice));

// Time the host's windows get after the detection-problem dialog closes,
// before the next detection run or the return to the host.
constexpr int kAfterDialogMilliseconds = 400;

bool NeedsUser(zmk::DeviceStatus status) {
    return status == zmk::UnrecognizedUsbDevice || status == zmk::MultipleDevices;
}

}  // namespace

extern "C" {

int ZELMORK_CALL ZMK_Initialize(void) { return zmk::TheDialogPalette().Create(); }

void ZELMORK_CALL ZMK_Release(void) { zmk::TheDialogPalette().Release(); }

// Detects the connected interface. When the user has to fix something, the
// detection-problem dialog asks for a re-plug; "Rescan DMX" detects again, as
// often as the user likes, and "Cancel" hands the problem status to the host.
int ZELMORK_CALL ZMK_GetDeviceStatus(void) {
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

INT_PTR ZELMORK_CALL ZMK_DriversErrorBox(HWND owner) { return zmk::ShowDriverErrorDialog(owner); }

}  // extern "C"
