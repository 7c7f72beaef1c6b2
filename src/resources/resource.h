// Resource ids shared by the program, its resource script, the test
// language libraries and the tests that drive the dialogs.
#pragma once

// String table: the built-in texts, Simplified Chinese (PRC).
#define IDS_PRODUCT_NAME 5101
#define IDS_HELP_SHORTCUT 5102
#define IDS_CONSOLE_MANUAL 5103
#define IDS_UNINSTALL_CAPTION 5104
#define IDS_UNINSTALL_DONE 5105
#define IDS_DELETE_BY_HAND 5106
#define IDS_CONFIRM_UNINSTALL 5107
#define IDS_NO_LIST_FILE 5108
#define IDS_ARCHIVE_TYPE_NAME 5109
#define IDS_ZIP_TYPE_NAME 5110
#define IDS_RECOVERY_TYPE_NAME 5111
#define IDS_HOME_PAGE 5112
#define IDS_SHORTCUT_COMMENT 5113
#define IDS_RESTART_NEEDED 5114

#define IDS_FIRST 5101
#define IDS_LAST 5114

// Dialog templates, by name: "SETUPDLG", "CONTEXTITEMS", "DONEDLG".
#define IDC_HELP_BUTTON 9

// SETUPDLG: the type boxes are 5101 + the row of the archive type table.
#define IDC_TYPE_FIRST 5101
#define IDC_TYPE_LAST 5114
#define IDC_DESKTOP 5115
#define IDC_START_MENU 5116
#define IDC_PROGRAMS 5117
#define IDC_SHELL_EXT 5118
#define IDC_CASCADED_MENU 5119
#define IDC_MENU_ICONS 5120
#define IDC_SELECT_ALL 5121
#define IDC_EXPLANATION 5122
#define IDC_CONTEXT_ITEMS 5123

// CONTEXTITEMS: one box per menu item, 101 to 111.
#define IDC_MENU_ITEM_FIRST 101
#define IDC_MENU_ITEM_LAST 111

// DONEDLG
#define IDC_INSTALL_FOLDER 5101
#define IDC_RUN_KORVIK 5102
#define IDC_READ_HELP 5103
#define IDC_VIEW_LICENSE 5104
#define IDC_ORDER 5105
#define IDC_VISIT_HOME_PAGE 5106
#define IDC_THANKS 5107
#define IDC_HOME_PAGE_NOTE 5109
