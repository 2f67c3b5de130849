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

// One call of the library at a time. The host may call in again from its
// window procedure while the library's waits dispatch its messages, or from
// another thread, though it should not: such a call returns at once rather
// than share the D2XX binding, the dialogs' state and UDP 6454 with the call
// in progress.
LONG g_callInProgress = 0;

class ExclusiveCall {
public:
    ExclusiveCall() noexcept : owner_(::InterlockedCompareExchange(&g_callInProgress, 1, 0) == 0) {}
    ~ExclusiveCall() {
        if (owner_) ::InterlockedExchange(&g_callInProgress, 0);
    }
    ExclusiveCall(const ExclusiveCall&) = delete;
    ExclusiveCall& operator=(const ExclusiveCall&) = delete;
    explicit operator bool() const noexcept { return owner_; }

private:
    bool owner_;
};

}  // namespace

extern "C" {

int ZELMORK_CALL ZMK_Initialize(void) { return zmk::TheDialogPalette().Create(); }

void ZELMORK_CALL ZMK_Release(void) { zmk::TheDialogPalette().Release(); }

// Detects the connected interface. When the user has to fix something, the
// detection-problem dialog asks for a re-plug; "Rescan DMX" detects again, as
// often as the user likes, and "Cancel" hands the problem status to the host,
// as does a host that asked to quit meanwhile. A call made while another is
// in progress detects nothing and answers NoDevice.
int ZELMORK_CALL ZMK_GetDeviceStatus(void) {
    const ExclusiveCall call;
    if (!call) return zmk::NoDevice;
    const zmk::HostQuitKeeper hostQuit;
    for (;;) {
        const zmk::DeviceStatus status = zmk::DetectInterfaces();
        if (!NeedsUser(status)) return status;

        const INT_PTR mode =
            status == zmk::UnrecognizedUsbDevice ? zmk::kModeUnrecognizedDevice : zmk::kModeMultipleDevices;
        const INT_PTR answer = zmk::ShowDetectionProblemDialog(zmk::ChooseDialogOwner(), mode);
        zmk::WaitPumpingMessages(kAfterDialogMilliseconds);
        if (answer != IDOK || zmk::HostAskedToQuit()) return status;
    }
}

// -1, as for a dialog that cannot be created, when another call is in progress.
INT_PTR ZELMORK_CALL ZMK_DriversErrorBox(HWND owner) {
    const ExclusiveCall call;
    if (!call) return -1;
    return zmk::ShowDriverErrorDialog(owner);
}

}  // extern "C"
