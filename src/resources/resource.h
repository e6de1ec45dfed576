// Resource identifiers of Tamsel.exe.
#pragma once

#define IDD_TAMSEL_DIALOG 102
#define IDD_PREVIEW_DIALOG 129

#define IDC_BTN_CLOSE 1000
#define IDC_BTN_TEST 1001
#define IDC_BTN_SETUP 1002
#define IDC_BTN_CAPTURE 1008
#define IDC_BTN_LEFT 1009
#define IDC_BTN_RIGHT 1010
#define IDC_SMALL_PREVIEW_PIC 1011
#define IDC_BTN_MODE 1012
#define IDC_BTN_DELETE 1013
#define IDC_BTN_GPS 1014
#define IDC_BTN_THUMB 1029
