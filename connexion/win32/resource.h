// Resource numbers of NvConnexion.exe: the program's icon and dialog 102.
#pragma once

#define IDR_MAINFRAME 128
#define IDD_NVCONNEXION_DIALOG 102

#define IDC_LOG 1001
#define IDC_EXPLANATION 1002
#define IDC_ICON_FRAME 1003
#define IDC_LINE 1004
#define IDC_PROGRAM_ICON 1005
