// Identifiers shared by the resource script and the code. Plain defines only: the resource compiler reads this.
#pragma once

// Dialog templates, menu, strings, icon, bitmap
#define IDD_MAIN 102
#define IDD_PORTS 129
#define IDD_WAIT 175
#define IDR_MAIN_MENU 130
#define IDS_ABOUTBOX 101
#define IDI_MAIN 128
#define IDB_WAIT 310

// A control that the code never addresses
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// Main window controls
#define IDC_STATUS 1002
#define IDC_TEMPERATURE 1003
#define IDC_HUMIDITY 1007

// Port dialog controls
#define IDC_PORT_LIST 1000
#define IDC_PORT_INFO 1001

// Wait window controls
#define IDC_WAIT_PICTURE 1112
#define IDC_WAIT_TEXT 1238
#define IDC_WAIT_STOP 1028

// Menu commands
#define ID_APP_PLOT 32795
#define ID_APP_CLOSE 32783
#define ID_VIEW_COLOURS 32780
#define ID_VIEW_FONTS 32781
#define ID_VIEW_TOPMOST 32772
#define ID_SETTINGS_PORT 32771
#define ID_SETTINGS_RECORDING 32773
#define ID_SETTINGS_ADDITIONAL 32797
#define ID_HELP_HELP 32778
#define ID_HELP_SOFTWARE_INFO 32798
#define ID_HELP_ABOUT 32779
#define IDM_ABOUTBOX 16 // system menu

// Window timers
#define IDT_RECORD 1034
#define IDT_WATCHDOG 1035
#define IDT_DELAYED_RECORDING 1036
#define IDT_BLINK 1052
#define IDT_PORT_RETRY 1069
#define IDT_SOFTWARE_INFO 1070

// Window messages
#define WM_RXBYTE_ID 1028    // WM_USER + 4: one received byte in wParam
#define WM_PORT_LOST_ID 1029 // WM_USER + 5: the port in wParam has gone
