/* ZELMORK.h as a C host sees it, at the highest warning levels: C99, no
 * C++ in its C view. */
#include "ZELMORK.h"

int ZmkHeaderCheck(void);

int ZmkHeaderCheck(void) {
    PFN_ZMK_GETDEVICESTATUS getDeviceStatus = ZMK_GetDeviceStatus;
    ZmkDeviceStatus none = ZMK_NO_DEVICE;
    return getDeviceStatus != 0 && (int)none == 10;
}
