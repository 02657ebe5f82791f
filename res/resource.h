// Resource identifiers of Kelp.exe. Control ids are shared between templates,
// so each page has its own names for the numbers it uses.
#pragma once

// Templates
#define IDD_ABOUTBOX 100
#define IDD_PRINTER_SETTINGS 102
#define IDD_SYSTEM 129
#define IDD_PORT_TYPES 138
#define IDD_PORT 139
#define IDD_LANGUAGE 141
#define IDD_NETWORK 142

// Icon, strings, menu commands
#define IDR_MAINFRAME 128
#define IDS_ABOUTBOX 101
#define IDM_ABOUTBOX 0x0010

// Language page (141)
#define IDC_LANG_LABEL 1028
#define IDC_LANG_LIST 1011
#define IDC_LANG_CONFIRM 1010
#define IDC_LANG_CANCEL 1012

// System page (129)
#define IDC_SYS_GROUP 1028
#define IDC_SYS_VISTA 1020
#define IDC_SYS_WIN95 1000
#define IDC_SYS_WIN98 1001
#define IDC_SYS_NT4 1002
#define IDC_SYS_WIN2000 1003
#define IDC_SYS_XP 1004
#define IDC_SYS_WIN2003 1011
#define IDC_SYS_SLIDER 1007
#define IDC_SYS_BACK 1008
#define IDC_SYS_INSTALL 1009
#define IDC_SYS_EXIT 1010
#define IDC_SYS_WIN7 1005
#define IDC_SYS_WIN8 1006
#define IDC_SYS_NOTE 1029
#define IDC_SYS_USB_DRIVER 1022
#define IDC_SYS_USB_DRIVER_X86 1023
#define IDC_SYS_EDIT 1013

// Printer settings page (102)
#define IDC_SET_MODEL 1011
#define IDC_SET_GROUP 1029
#define IDC_SET_MODEL_LABEL 1028
#define IDC_SET_DEFAULT 1012
#define IDC_SET_NAME_LABEL 1030
#define IDC_SET_NAME 1013
#define IDC_SET_PORT 1014
#define IDC_SET_BAUD 1015
#define IDC_SET_DATA_BITS 1016
#define IDC_SET_FLOW 1017
#define IDC_SET_PARITY 1018
#define IDC_SET_STOP_BITS 1019
#define IDC_SET_BACK 1008
#define IDC_SET_NEXT 1009
#define IDC_SET_EXIT 1010
#define IDC_SET_NOTE 1031
#define IDC_SET_DEFAULT_LABEL 1032
// Shown while the test receipt offered after an installation is followed.
#define IDC_SET_PROGRESS 1025

// Port page (139)
#define IDC_PORT_TITLE 1028
#define IDC_PORT_INTRO 1029
#define IDC_PORT_HINT 1030
#define IDC_PORT_HINT_END 1031
#define IDC_PORT_LIST 1021
#define IDC_PORT_SEARCH 1012
#define IDC_PORT_CREATE 1008
#define IDC_PORT_CONFIGURE 1009
#define IDC_PORT_PROGRESS 1025
#define IDC_PORT_BACK 1010
#define IDC_PORT_INSTALL 1022
#define IDC_PORT_CANCEL 1023
#define IDC_PORT_NOTE 1032

// Port types dialog (138)
#define IDC_TYPES_LIST 1021
#define IDC_TYPES_NEW 1008
#define IDC_TYPES_EXIT 1009

// Network printer dialog (142); OK and Cancel are IDOK and IDCANCEL
#define IDC_NET_ADDRESS_LABEL 1033
#define IDC_NET_ADDRESS 1034
#define IDC_NET_FIND 1035
#define IDC_NET_LIST 1036
#define IDC_NET_PROGRESS 1037
#define IDC_NET_STATUS 1038

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
