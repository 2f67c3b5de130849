// Resource and control ids of the library's dialogs, shared by dialogs.rc and
// the code. Plain macros, because the resource compiler reads this file too.
#pragma once

// Detection-problem dialog.
#define IDD_DETECTION_PROBLEM 107
#define IDB_DETECTION_PROBLEM 108
#define IDC_DETECTION_MESSAGE 1004
#define IDC_DETECTION_PROGRESS 1006

// Themed message box.
#define IDD_THEMED_MESSAGE_BOX 131
#define IDB_BADGE_RED 132
#define IDB_BADGE_SILVER 133
#define IDB_BADGE_OLIVE 134
#define IDC_MESSAGE_BADGE 1016
#define IDC_MESSAGE_TEXT 1017

// Driver-error dialog.
#define IDD_DRIVER_ERROR 105
#define IDB_DRIVER_ERROR 109
#define IDC_DRIVER_INSTRUCTIONS 1003
