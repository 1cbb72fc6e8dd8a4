// Identifiers shared by the resource script and the code. Plain defines only: the resource compiler reads this.
#pragma once

// Dialog templates, menu, strings, icon, bitmap
#define IDD_MAIN 102
#define IDD_PORTS 129
#define IDD_RECORDING 131
#define IDD_WAIT 175
#define IDR_MAIN_MENU 130
#define IDS_ABOUTBOX 101
#define IDI_MAIN 128
#define IDB_WAIT 310
#define IDD_ABOUT 100
#define IDD_COLOURS 136
#define IDD_FONTS 137
#define IDD_SOFTWARE_INFO 157
#define IDD_ADDITIONAL_SETTINGS 159
#define IDD_HELP 161
#define IDD_ALARMS 180
#define IDD_MQTT 181
#define IDD_MAIL 182
#define IDB_LOGO 148
#define IDR_HELP_DOCUMENT 170 // RTF documents (RCDATA)
#define IDR_INFO_DOCUMENT 171

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

// Recording settings dialog controls (1036 is also a window timer of the main window)
#define IDC_REC_INTERVAL_LABEL 1052
#define IDC_REC_INTERVAL 1045
#define IDC_REC_TEXT_ENABLED 1026
#define IDC_REC_TEXT_LABEL 1048
#define IDC_REC_TEXT_FILE 1036
#define IDC_REC_TEXT_BROWSE 1038
#define IDC_REC_SEPARATOR_LABEL 1051
#define IDC_REC_SEPARATOR_TAB 1123
#define IDC_REC_SEPARATOR_COMMA 1124
#define IDC_REC_SEPARATOR_SEMICOLON 1125
#define IDC_REC_DECIMAL_COMMA 1126
#define IDC_REC_TEMPERATURE 1046
#define IDC_REC_HUMIDITY 1008
#define IDC_REC_COMMENT_ENABLED 1115
#define IDC_REC_COMMENT 1116
#define IDC_REC_COMMENT_SERIAL 1117
#define IDC_REC_BINARY_ENABLED 1027
#define IDC_REC_BINARY_LABEL 1053
#define IDC_REC_BINARY_FILE 1039
#define IDC_REC_BINARY_BROWSE 1040

// Wait window controls
#define IDC_WAIT_PICTURE 1112
#define IDC_WAIT_TEXT 1238
#define IDC_WAIT_STOP 1028

// About dialog controls
#define IDC_ABOUT_LOGO 1112
#define IDC_ABOUT_EMAIL 1113

// Software information window controls
#define IDC_INFO_DOCUMENT 1076
#define IDC_INFO_LINK 1130

// Additional settings dialog controls
#define IDC_DONT_SHOW_INFO 1131

// Colours dialog swatches
#define IDC_SWATCH_TEMP_BACKGROUND 1040
#define IDC_SWATCH_RH_BACKGROUND 1042
#define IDC_SWATCH_TEMP_TEXT 1046
#define IDC_SWATCH_RH_TEXT 1048

// Fonts dialog samples
#define IDC_SAMPLE_TEMP 1039
#define IDC_SAMPLE_RH 1042

// Help window controls
#define IDC_HELP_SECTIONS 1140
#define IDC_HELP_DOCUMENT 1141

// Alarms dialog controls
#define IDC_ALARM_ENABLED 1150
#define IDC_ALARM_TEMP_LOW 1151
#define IDC_ALARM_TEMP_HIGH 1152
#define IDC_ALARM_RH_LOW 1153
#define IDC_ALARM_RH_HIGH 1154
#define IDC_ALARM_DELAY 1155
#define IDC_ALARM_HYSTERESIS 1156
#define IDC_ALARM_LINK_MINUTES 1157
#define IDC_ALARM_SOUND 1158
#define IDC_ALARM_ACTION 1159
#define IDC_ALARM_ACTION_BROWSE 1160
#define IDC_ALARM_EVENT_FILE 1161
#define IDC_ALARM_SWATCH_BACKGROUND 1162
#define IDC_ALARM_SWATCH_TEXT 1163

// MQTT dialog controls
#define IDC_MQTT_ENABLED 1170
#define IDC_MQTT_HOST 1171
#define IDC_MQTT_PORT 1172
#define IDC_MQTT_STATION 1173
#define IDC_MQTT_USER 1174
#define IDC_MQTT_PASSWORD 1175
#define IDC_MQTT_KEEPALIVE 1176
#define IDC_MQTT_RECORD_INTERVAL 1177
#define IDC_MQTT_DISCOVERY 1178
#define IDC_MQTT_TLS 1179

// E-mail dialog controls
#define IDC_MAIL_ENABLED 1180
#define IDC_MAIL_SERVER 1181
#define IDC_MAIL_PORT 1182
#define IDC_MAIL_SECURITY 1183
#define IDC_MAIL_USER 1184
#define IDC_MAIL_PASSWORD 1185
#define IDC_MAIL_FROM 1186
#define IDC_MAIL_TO 1187
#define IDC_MAIL_SEND_START 1188
#define IDC_MAIL_SEND_END 1189
#define IDC_MAIL_SEND_ACK 1190
#define IDC_MAIL_REMINDER 1191
#define IDC_MAIL_DAILY 1192
#define IDC_MAIL_TEST 1193
#define IDC_MAIL_TEST_STATE 1194

// Menu commands
#define ID_APP_PLOT 32795
#define ID_APP_CLOSE 32783
#define ID_VIEW_COLOURS 32780
#define ID_VIEW_FONTS 32781
#define ID_VIEW_TOPMOST 32772
#define ID_SETTINGS_PORT 32771
#define ID_SETTINGS_RECORDING 32773
#define ID_SETTINGS_ADDITIONAL 32797
#define ID_SETTINGS_ALARMS 32799
#define ID_ALARM_ACKNOWLEDGE 32800 // also a click on the status line
#define ID_SETTINGS_MQTT 32801
#define ID_SETTINGS_MAIL 32802
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
#define IDT_PORT_REOPEN 1071 // retries a port that went away or has not appeared yet
#define IDT_ALARM_TICK 1072  // once a second while alarms are on: the missing-reading alarm, the event file's retry
#define IDT_ALARM_SOUND 1073 // repeats the alarm sound until the alarm is acknowledged
#define IDT_MAIL_TICK 1074   // while e-mail is on: the reminders, the daily message, the retries

// Window messages
#define WM_PORT_LOST_ID 1029 // WM_USER + 5: the port in wParam, opened with the identity in lParam, has gone
#define WM_RXBYTES_ID 1030   // WM_USER + 6: wParam received bytes at lParam, sent by the serial worker
