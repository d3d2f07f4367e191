// Resource numbers of hotsync.exe's HotSync window and its restore dialog.
#pragma once

#define IDI_HOTSYNC 1
#define IDD_HOTSYNC 200
#define IDD_RESTORE 201
#define IDM_HOTSYNC 210

#define IDC_USER_LABEL 2001
#define IDC_USERS 2002
#define IDC_HANDHELD_LABEL 2003
#define IDC_HANDHELD 2004
#define IDC_BROWSE 2005
#define IDC_SYNC 2006
#define IDC_OUTCOME 2007
#define IDC_LOG_LABEL 2008
#define IDC_LOG 2009

#define IDC_RESTORE_PROMPT 2101
#define IDC_GENERATIONS 2102

#define IDM_RESTORE 2201
#define IDM_RELOAD 2202
#define IDM_QUIT 2203
#define IDM_FILE 2204
