// Resource identifiers of the main window, the about box and the job windows, shared by the
// resource script, the Win32 layer and the program's test driver. Controls are named after the
// windows' components.
#pragma once

// Dialog templates. The three job windows share one layout.
#define IDD_MAIN 100
#define IDD_ABOUT 101
#define IDD_JOB 102

// Main window.
#define IDC_MAIN_COMPRESS 1001
#define IDC_MAIN_DECOMPRESS 1002
#define IDC_MAIN_FILEINFO 1003
#define IDC_MAIN_OPTIONS 1004
#define IDC_MAIN_ABOUT 1005
#define IDC_MAIN_EXIT 1006

// About box (its button is IDOK).
#define IDC_ABOUT_PRODUCT 1101
#define IDC_ABOUT_VERSION 1102
#define IDC_ABOUT_FORMATS 1103

// Job windows: labels.
#define IDC_JOB_LABEL_FILES 1201
#define IDC_JOB_LABEL_ERRORS 1202
#define IDC_JOB_LABEL_WARNINGS 1203
#define IDC_JOB_LABEL_ACTION 1204
#define IDC_JOB_LABEL_PATH 1205
#define IDC_JOB_LABEL_FILE_PROGRESS 1206
// Job windows: the text box and the texts that change.
#define IDC_JOB_EDIT_FILES 1210
#define IDC_JOB_FILE_PROGRESS 1211      // stFileProgress
#define IDC_JOB_ERROR_FILE_NUM 1212     // stErrorFileNum
#define IDC_JOB_WARNING_FILE_NUM 1213   // stWarningFileNum
#define IDC_JOB_ACTION 1214             // stAction
#define IDC_JOB_PATH 1215               // stPath
#define IDC_JOB_FRAME_PROGRESS 1216     // stFrameProgress
// Job windows: buttons; each window shows only its own start buttons.
#define IDC_JOB_ADD_FILES 1220
#define IDC_JOB_OPTIONS 1221
#define IDC_JOB_STOP 1222
#define IDC_JOB_DONE 1223
#define IDC_JOB_COMPRESS 1224
#define IDC_JOB_DECOMPRESS 1225
#define IDC_JOB_TEST 1226
#define IDC_JOB_START 1227
