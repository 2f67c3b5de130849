// The dialog shown when detection finds several interfaces or one USB device
// it does not recognise: re-plug, then "Rescan DMX" or "Cancel".
#pragma once

#include <windows.h>

namespace zmk {

// The dialog's creation parameter. Any mode other than 1 behaves as mode 2.
inline constexpr INT_PTR kModeUnrecognizedDevice = 1;
inline constexpr INT_PTR kModeMultipleDevices = 2;

inline constexpr char kUnrecognizedDeviceText[] =
    "Erreur de d\xE9tection d'interface DMX.\nD\xE9"
    "branchez puis Rebranchez l'interface sur le port USB ou sur le port Ethernet,\n"
    "Puis cliquez sur  [Rescan DMX]  pour r\xE9"
    "essayer, ou  [Cancel]  pour quitter.";
inline constexpr char kMultipleDevicesText[] =
    "Plusieurs interfaces DMX d\xE9tect\xE9"
    "es.\nNe branchez qu'une seule interface sur le port USB ou sur le port Ethernet,\n"
    "Puis cliquez sur  [Rescan DMX]  pour r\xE9"
    "essayer, ou  [Cancel]  pour quitter.";
inline constexpr char kProgressStartText[] = "Please Wait";
inline constexpr char kProgressStepText[] = "    .";
inline constexpr int kProgressSteps = 7;
inline constexpr int kProgressStepMilliseconds = 750;

INT_PTR CALLBACK DetectionProblemDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The window that owns the dialog: the foreground window when it is the
// calling thread's, else the thread's first visible unowned top-level window,
// else none. Never another program's window.
HWND ChooseDialogOwner() noexcept;

// Shows dialog 107 of the library modally: 1 "Rescan DMX", 2 "Cancel" (also
// when the host's quit ended it), -1 or 0 when it cannot be shown.
INT_PTR ShowDetectionProblemDialog(HWND owner, INT_PTR mode) noexcept;

}  // namespace zmk
