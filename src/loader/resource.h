/*
** resource.h - ids of the loader's resources: dialog templates, controls, strings, the
** icon and the system-menu command of the About entry. The tables themselves are in
** main_rc.cpp; the application object hands them to the framework when it is built.
*/
#ifndef ZENT_LOADER_RESOURCE_H
#define ZENT_LOADER_RESOURCE_H

#define IDM_ABOUTBOX 0x0010       // system-menu command of "&About main..."
#define IDD_ABOUTBOX 100          // About dialog template
#define IDS_ABOUTBOX 101          // string "&About main..."
#define IDD_MAIN_DIALOG 102       // main dialog template
#define IDR_MAINFRAME 128         // the application icon
#define IDD_STDOUT 143            // Stdout window template

#define IDC_STATIC (-1)           // labels and frames without an id
#define IDC_BUTTON_DOWNLOAD 1002  // Download
#define IDC_COMBO_PORT 1003       // COM-port list
#define IDC_EDIT_TITLE 1005       // software title field
#define IDC_BUTTON_STDOUT 1006    // hidden button that opens the Stdout window
#define IDC_PROGRESS 1007         // progress bar
#define IDC_STATIC_UPPER 1008     // upper status line
#define IDC_STATIC_LOWER 1009     // lower status line
#define IDC_EDIT_VERSION 1010     // software version field
#define IDC_LIST_STDOUT 1066      // list view of the Stdout window

struct MfcResources;
/* The loader's resource tables. */
const MfcResources* main_rc_get(void);

#endif
