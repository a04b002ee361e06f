// Identifiers of the program's resources and of the controls in its dialog templates.
#pragma once

#define IDR_MAINFRAME 128
#define IDD_ABOUTBOX 100
#define IDD_WAITBAR 129
#define IDD_SETUP 130
#define IDD_QUILLODROME_DIALOG 134

#define IDS_ABOUTBOX 101
#define IDM_ABOUTBOX 0x0010

#define IDB_LAMP_OFF 136
#define IDB_WINDOW_ICON 148
#define IDB_VOLUME 149
#define IDB_LAMP_ON 162
#define IDB_TOP_OFF 163
#define IDB_TOP_ON 164
#define IDB_BACKGROUND 165
#define IDB_PEDAL_UP 166
#define IDB_PEDAL_DOWN 167
#define IDB_NO_PEDAL 168

#define IDC_FILE 1002
#define IDC_TIME 1011
#define IDC_REWIND_TEXT 1019
#define IDC_SLIDER_REWIND 1021
#define IDC_SLIDER_VOLUME 1022
#define IDC_PLAY 1024
#define IDC_PAUSE 1025
#define IDC_STOP 1026
#define IDC_SLIDER_POSITION 1027
#define IDC_CAPTION 1033
#define IDC_OPTION 1034
#define IDC_ABOUT 1035
#define IDC_TOPMOST 1038
#define IDC_WINDOW_ICON 1039
#define IDC_PEDAL 1043
#define IDC_HELP_BUTTON 1045
#define IDC_SPEED_TEXT 1046
#define IDC_SLIDER_SPEED 1047
#define IDC_MIN 3

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// Dialog 129, the timed wait.
#define IDC_WAIT_PROGRESS 1001
#define IDC_WAIT_MESSAGE 1002

// Dialog 130, the pedal settings.
#define IDC_SETUP_PEDAL 1037
#define IDC_SETUP_LINE 1042
#define IDC_SETUP_PORT 1048
// The pedal settings' later controls: the side lamps, a function list per switch (left,
// middle, right), learning, the six shortcuts (label then hotkey control, in the shortcuts'
// order) and the time-stamp format.
#define IDC_SETUP_LAMP_LEFT 1100
#define IDC_SETUP_LAMP_RIGHT 1101
#define IDC_SETUP_FUNCTION_LEFT 1102
#define IDC_SETUP_FUNCTION_MIDDLE 1103
#define IDC_SETUP_FUNCTION_RIGHT 1104
#define IDC_SETUP_LEARN 1105
#define IDC_SETUP_STAMP_FORMAT 1106
#define IDC_SETUP_SHORTCUT_LABEL 1110
#define IDC_SETUP_SHORTCUT 1120

// Dialog 100, the About box.
#define IDC_ABOUT_VERSION 1000
#define IDC_ABOUT_DRIVER 1003
#define IDC_ABOUT_WEB 1041
#define IDC_ABOUT_MAIL 1042
