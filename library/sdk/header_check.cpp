// ZELMORK.h as a C++ host sees it, compiled at the highest warning levels:
// the prototypes match the pointer types for run-time loading, and the
// status is the 32-bit int the host receives. Only the header and windows.h
// are needed, so that any C++ compiler for Windows can take this file alone.
#include "ZELMORK.h"

namespace {

template <typename A, typename B>
struct Same {
    static constexpr bool value = false;
};
template <typename A>
struct Same<A, A> {
    static constexpr bool value = true;
};

static_assert(Same<decltype(&ZMK_Initialize), PFN_ZMK_INITIALIZE>::value, "ZMK_Initialize");
static_assert(Same<decltype(&ZMK_Release), PFN_ZMK_RELEASE>::value, "ZMK_Release");
static_assert(Same<decltype(&ZMK_GetDeviceStatus), PFN_ZMK_GETDEVICESTATUS>::value, "ZMK_GetDeviceStatus");
static_assert(Same<decltype(&ZMK_DriversErrorBox), PFN_ZMK_DRIVERSERRORBOX>::value, "ZMK_DriversErrorBox");
static_assert(sizeof(ZmkDeviceStatus) == 4 && ZMK_UNRECOGNIZED_USB_DEVICE == 32, "a 32-bit status");

}  // namespace
