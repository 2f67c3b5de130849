// The driver-error dialog: runs the vendor's diagnostic tool, then shows the
// instructions, or only the system-error box when the tool failed.
#pragma once

#include <windows.h>

namespace zmk {

inline constexpr char kDriverInstructionsText[] =
    "\nUne erreur de d\xE9tection d'interface DMX est apparue.\n\nEssayez de d\xE9"
    "brancher et rebrancher l'interface sur le port USB\n"
    "pour les mod\xE8les ENTTEC OPEN DMX USB / ENTTEC DMX USB PRO,\n"
    "ou sur le port Ethernet pour le mod\xE8le ENTTEC OPEN DMX ETHERNET,\n"
    "puis quittez et red\xE9marrez Borvanect. La d\xE9tection d'interface DMX devrait se d\xE9rouler "
    "normalement.\n\nUn fichier de rapport d'erreur (MORLISK.txt) a \xE9t\xE9 g\xE9n\xE9r\xE9 sur votre bureau.\n"
    "Envoyez un mail \xE0 : "
    "support@quenford.com"  // the vendor's support address
    " avec ce fichier joint afin que nous puissions vous proposer une solution.\nMerci.";

INT_PTR CALLBACK DriverErrorDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Runs the tool and waits for it without limit; on failure shows the
// system-error box and ends the dialog with 2 before it ever appears.
void RunDriverDiagnostic(HWND dialog) noexcept;

// Shows dialog 105 of the library: 1 Enter, 2 Escape/close box, tool failure
// or the host's quit, -1 when it cannot be created, 0 for an owner that is no
// window.
INT_PTR ShowDriverErrorDialog(HWND owner) noexcept;

}  // namespace zmk
