/*
 * ZELMORK.h: the interface of ZELMORK.dll, Borvanect's DMX detection library
 * (its version resource tells which release it is).
 *
 * A host either links with the import library (libZELMORK.dll.a for
 * mingw-w64, ZELMORK.lib for Microsoft's linker) and calls the functions
 * below, or loads ZELMORK_LIBRARY_NAME at run time and binds them by name
 * with GetProcAddress into the PFN_ types.
 *
 * Every function is for the host's user-interface thread, one call at a time;
 * ZMK_GetDeviceStatus expects Winsock 2 to be started (WSAStartup). See
 * docs/api.md for what each call shows and how long it can take.
 */
#ifndef ZELMORK_H
#define ZELMORK_H

/* Every host starts Winsock 2, and winsock2.h must come before windows.h,
 * which would bring in the older winsock.h: this header includes it first, so
 * that a host may include winsock2.h before or after it. A host that included
 * windows.h already has winsock.h, which winsock2.h cannot join. */
#ifndef _WINSOCKAPI_
#include <winsock2.h>
#endif
#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

#define ZELMORK_LIBRARY_NAME "ZELMORK.dll"

/* Defined by the library's own build only. */
#ifdef ZELMORK_BUILDING_LIBRARY
#define ZELMORK_API __declspec(dllexport)
#else
#define ZELMORK_API __declspec(dllimport)
#endif

/* The calling convention of every export (the one x64 convention). */
#define ZELMORK_CALL __cdecl

/* Which single DMX interface is connected: ZMK_GetDeviceStatus's result, a
 * 32-bit int. The values never change. */
typedef enum ZmkDeviceStatus {
    ZMK_DRIVER_ERROR = 1,             /* FTDI's D2XX driver is present but unusable */
    ZMK_MULTIPLE_DEVICES = 2,         /* more than one interface; the user cancelled */
    ZMK_NO_DEVICE = 10,               /* no interface found */
    ZMK_OPEN_DMX_USB = 11,            /* one ENTTEC Open DMX USB */
    ZMK_DMX_USB_PRO = 12,             /* one ENTTEC DMX USB PRO */
    ZMK_OPEN_DMX_ETHERNET = 13,       /* one ENTTEC Open DMX Ethernet node (Art-Net) */
    ZMK_UNRECOGNIZED_USB_DEVICE = 32  /* one FTDI device of another kind; the user cancelled */
} ZmkDeviceStatus;

/* Creates the dark colour theme of the library's dialogs: 1, or 0 when it
 * could not be created (the dialogs then show system colours). Releases an
 * earlier theme first, so it may be called again at any time. */
ZELMORK_API int ZELMORK_CALL ZMK_Initialize(void);

/* Frees the theme. Harmless when there is none. */
ZELMORK_API void ZELMORK_CALL ZMK_Release(void);

/* Detects the connected interface; a ZmkDeviceStatus value. When the user
 * must re-plug something, shows a modal dialog and rescans as often as the
 * user asks; a WM_QUIT the host posts meanwhile ends the call with the status
 * it had, and is posted again before the call returns. Blocks up to about 3 s
 * while an Art-Net node is polled. Called while a call of this function or of
 * ZMK_DriversErrorBox runs (another thread, a window procedure inside the
 * library's waits), it returns ZMK_NO_DEVICE at once. */
ZELMORK_API int ZELMORK_CALL ZMK_GetDeviceStatus(void);

/* Runs the vendor's diagnostic tool TRAVOLK.exe from Borvanect's program
 * folder and waits for it (without pumping messages), then shows the modal
 * driver-error dialog owned by owner: 1 (Enter) or 2 (Escape, close box, the
 * host's WM_QUIT).
 * NULL is a valid owner: the dialog then has no owner window. When the tool
 * is missing or fails, only a system-error box is shown, and the result is 2.
 * 0: owner is not NULL and not a window (nothing is run or shown); -1: the
 * dialog could not be created, or another call of the library was running. */
ZELMORK_API INT_PTR ZELMORK_CALL ZMK_DriversErrorBox(HWND owner);

/* For hosts that load the library at run time. */
typedef int(ZELMORK_CALL *PFN_ZMK_INITIALIZE)(void);
typedef void(ZELMORK_CALL *PFN_ZMK_RELEASE)(void);
typedef int(ZELMORK_CALL *PFN_ZMK_GETDEVICESTATUS)(void);
typedef INT_PTR(ZELMORK_CALL *PFN_ZMK_DRIVERSERRORBOX)(HWND owner);

#ifdef __cplusplus
}
#endif

#endif /* ZELMORK_H */
