// Identifiers of the program that the UI driver's own test drives (ui_target.exe).
#pragma once

#define IDD_UI_TARGET 100
#define IDB_TARGET_OFF 200
#define IDB_TARGET_ON 201

// An owner-drawn button and what it counted: "clicks=N".
#define IDC_OWNER 1001
#define IDC_CLICKS 1002
// A notifying picture that changes on each click, and "clicked=N double=N".
#define IDC_TOGGLE 1003
#define IDC_TOGGLES 1004
// A trackbar 0..100 and what it told: "track=N position=N end=N released=N last=V".
#define IDC_SLIDER 1005
#define IDC_SLIDER_SEEN 1006
#define IDC_EDIT 1007
// Asks a yes/no question in a message box and shows "answer=ID".
#define IDC_ASK 1008
#define IDC_ANSWER 1009
// Opens the open-file dialog and takes the chosen path as its text.
#define IDC_OPEN 1010
// "drops=N files=N at=X,Y last=PATH" after files were dropped on the window.
#define IDC_DROPPED 1011

// The colours of the owner-drawn button, up and pressed.
#define TARGET_UP_COLOUR RGB(0x12, 0x9A, 0x57)
#define TARGET_DOWN_COLOUR RGB(0xC3, 0x21, 0x6D)
// What the target's dialog answers when it closes.
#define TARGET_EXIT_CODE 7
