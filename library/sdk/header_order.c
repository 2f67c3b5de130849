/* A host's own includes around ZELMORK.h, in the order ZMK_ORDER names,
 * compiled as C and as C++ with -Wall -Wextra -Werror and nothing defined
 * (no WIN32_LEAN_AND_MEAN), as a host compiles:
 *   1  ZELMORK.h first, then winsock2.h and windows.h
 *   2  winsock2.h and windows.h first, then ZELMORK.h
 *   3  windows.h alone first (it brings the older winsock.h), then ZELMORK.h */
#if ZMK_ORDER == 1
#include "ZELMORK.h"
#include <winsock2.h>
#include <windows.h>
#elif ZMK_ORDER == 2
#include <winsock2.h>
#include <windows.h>
#include "ZELMORK.h"
#else
#include <windows.h>
#include "ZELMORK.h"
#endif

int ZmkStartWinsockAndDetect(void);

int ZmkStartWinsockAndDetect(void) {
    WSADATA winsock;
    if (WSAStartup(MAKEWORD(2, 2), &winsock) != 0) return -1;
    return ZMK_GetDeviceStatus();
}
