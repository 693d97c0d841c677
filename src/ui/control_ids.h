// Control and resource ids of the settings window (template 5000) and the about box (5002).
// Shared by the behaviour, both window-system bindings and the resource script.
#pragma once

#define IDD_SETTINGS 5000
#define IDD_ABOUT 5002
#define IDB_ABOUT 5004

#define IDC_OK 5002
#define IDC_CANCEL 5103
#define IDC_ABOUT 5008
#define IDC_START 5009
#define IDC_STOP 5010
#define IDC_CLEAR 5011
#define IDC_SAVE 5012
#define IDC_COLOR_KEY 5096
#define IDC_INVERSE 5116

#define IDC_THRESHOLD_EDIT 5092
#define IDC_THRESHOLD_SPIN 5093
#define IDC_BLACK_EDIT 5094
#define IDC_BLACK_SPIN 5095
#define IDC_POSX_EDIT 5085
#define IDC_POSX_SPIN 5077
#define IDC_SIZEX_EDIT 5091
#define IDC_SIZEX_SPIN 5090
#define IDC_POSY_EDIT 5078
#define IDC_POSY_SPIN 5076
#define IDC_SIZEY_EDIT 5088
#define IDC_SIZEY_SPIN 5089

// Posted (never sent) to the settings window; wParam names the controls to refresh.
#define UM_REFRESH_CONTROLS (0x0400 + 400)

// The flashing caption's timer.
#define FLASH_TIMER_ID 2
#define FLASH_PERIOD_MS 50
