// Resource numbers of the Windows host: the progress dialog 129 with its
// controls, the credentials question and the HotSync action dialog.
#pragma once

#define IDD_PROGRESS 129
#define IDB_NORVELIA 130
#define IDD_CREDENTIALS 140
#define IDD_SYNC_ACTION 141

#define IDC_STATUS1 1001
#define IDC_BITMAP_PLACE 1002
#define IDC_BAR1 1003
#define IDC_ABANDON 1004
#define IDC_CYCLING_ICON 1005
#define IDC_BAR2 1006
#define IDC_STATUS2 1007
#define IDC_ANIMATION 1008

#define IDC_PROMPT 1101
#define IDC_USER_LABEL 1102
#define IDC_USER 1103
#define IDC_PASSWORD_LABEL 1104
#define IDC_PASSWORD 1105

#define IDC_CONDUIT 1201
#define IDC_ACTION_BOX 1202
#define IDC_ACTION0 1203
#define IDC_ACTION1 1204
#define IDC_ACTION2 1205
#define IDC_ACTION3 1206
#define IDC_MAKE_DEFAULT 1207
