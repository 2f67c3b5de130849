/*
 * The smallest host of ZELMORK.dll: linked with its import library, it asks
 * once which DMX interface is connected, the way Borvanect does.
 *
 * Build it from the release's sdk folder with mingw-w64:
 *
 *   x86_64-w64-mingw32-gcc -std=c99 -I include sample/minimal_host.c lib/libZELMORK.dll.a -lws2_32 -o minimal_host.exe
 *
 * Run it with ZELMORK.dll (at the top of the release) beside it. Exit code:
 * the status (10 when nothing is connected), or 100 when Winsock did not
 * start.
 */
#include <winsock2.h>
#include <windows.h>

#include <stdio.h>

#include "ZELMORK.h"

int main(void) {
    WSADATA winsock;
    int status;

    /* The library probes the network with Winsock but never starts it. */
    if (WSAStartup(MAKEWORD(2, 2), &winsock) != 0) return 100;

    /* The theme of the library's dialogs, before any call that can show one. */
    if (!ZMK_Initialize()) printf("the dialogs will show system colours\n");

    /* Up to about 3 s on this thread; a dialog when the user must re-plug. */
    status = ZMK_GetDeviceStatus();
    switch (status) {
    case ZMK_NO_DEVICE: printf("ZMK_GetDeviceStatus: %d (no DMX interface)\n", status); break;
    case ZMK_OPEN_DMX_USB:
    case ZMK_DMX_USB_PRO:
    case ZMK_OPEN_DMX_ETHERNET: printf("ZMK_GetDeviceStatus: %d (one DMX interface)\n", status); break;
    case ZMK_DRIVER_ERROR: printf("ZMK_GetDeviceStatus: %d (the D2XX driver is unusable)\n", status); break;
    default: printf("ZMK_GetDeviceStatus: %d (the user cancelled)\n", status); break;
    }

    ZMK_Release();
    WSACleanup();
    return status;
}
