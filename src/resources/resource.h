// Resource ids shared by the program, its resource script, the test
// language libraries and the tests that drive the dialogs.
#pragma once

// String table: the built-in texts, Simplified Chinese (PRC).
#define IDS_PRODUCT_NAME        5101
#define IDS_HELP_SHORTCUT       5102
#define IDS_CONSOLE_MANUAL      5103
#define IDS_UNINSTALL_CAPTION   5104
#define IDS_UNINSTALL_DONE      5105
#define IDS_DELETE_BY_HAND      5106
#define IDS_CONFIRM_UNINSTALL   5107
#define IDS_NO_LIST_FILE        5108
#define IDS_ARCHIVE_TYPE_NAME   5109
#define IDS_ZIP_TYPE_NAME       5110
#define IDS_RECOVERY_TYPE_NAME  5111
#define IDS_HOME_PAGE           5112
#define IDS_SHORTCUT_COMMENT    5113
#define IDS_RESTART_NEEDED      5114

#define IDS_FIRST 5101
#define IDS_LAST  5114
