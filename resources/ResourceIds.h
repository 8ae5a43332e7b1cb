#pragma once

// Ids of the window's resources and of the controls in its dialog templates; read by the
// resource compiler and by the code.

// Dialog templates: the four pages and the main dialog.
#define IDD_WELCOME 120
#define IDD_MESSAGE 121
#define IDD_PROGRESS 122
#define IDD_SELECT 123
#define IDD_MAIN 127

// Images (type "PNG") and the icon group.
#define IDI_PURGEKIT 104
#define IDP_ERROR 107
#define IDP_FINISHED 109
#define IDP_REBOOT 110

// Controls of the pages (IDOK and IDCANCEL are the pages' buttons).
#define IDC_MESSAGE 1008
#define IDC_ZLIB_NOTICE 1016
#define IDC_LUA_NOTICE 1017
#define IDC_NOTICE_LINK 1019
#define IDC_IMAGE 1022
#define IDC_SPINNER 1023
#define IDC_PRODUCT_LIST 1025
#define IDC_TITLE 1026
#define IDC_RADIO_ALL 1027
#define IDC_RADIO_SELECT 1028
