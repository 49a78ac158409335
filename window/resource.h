// SPDX-License-Identifier: GPL-3.0-or-later
// Identifiers shared by the resource script and the code: the dialog
// template, the icon, the five button pictures, the controls and the timer.
#ifndef KORVANE_WINDOW_RESOURCE_H
#define KORVANE_WINDOW_RESOURCE_H

#define IDI_APP 101
#define IDD_MAIN 102
#define IDB_PLAY 104
#define IDB_STOP 105
#define IDB_NEXT 106
#define IDB_PREV 107
#define IDB_PAGE 108

#define IDC_TRACK 1000
#define IDC_SLIDER 1002
#define IDC_LENGTH 1004
#define IDC_PLAY 1005
#define IDC_STOP 1006
#define IDC_PREV 1007
#define IDC_NEXT 1008
#define IDC_PAGE 1009

#define IDT_PLAY 1

#endif
